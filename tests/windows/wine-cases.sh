#!/usr/bin/env bash
# One end-to-end case of the Windows programs under Wine, named by $1. CTest
# runs each (tests/windows/CMakeLists.txt); scripts/windows/test.sh provides
# the Wine prefix, the virtual display and a native tarvane-sim.
# Exit 0 passed, 1 failed, 77 skipped.
set -uo pipefail

case_name=$1
bin=${TARVANE_WIN_BIN:?}
src=${TARVANE_SOURCE_DIR:?}
wine=${TARVANE_WINE:-wine}
work=${TARVANE_CASE_DIR:?}/$case_name
rm -rf "$work" && mkdir -p "$work"

interface_hex=$src/examples/Tarvane_Interface_Board_2048.hex
display_hex=$src/examples/Tarvane_Display_Board_2064.hex
# shellcheck source=tests/windows/wine-lib.sh
source "$(dirname "$0")/wine-lib.sh"

# Wine's virtual mouse and keyboard, both opened, examined and closed.
expect_wine_devices_examined() {
  grep -q '^hid: hid.dll loaded from ' "$work/err.txt" || fail "hid.dll was not loaded"
  local seen
  seen=$(grep -c '^hid: .*: opened, vendor 0x845E product 0x000[0-9]: no match, closed$' "$work/err.txt")
  [[ $seen -ge 2 ]] || fail "expected Wine's two HID devices examined and closed, saw $seen"
}

# Wine installs its virtual HID devices in the background while a new prefix
# settles; wait (at most 20 s) until they are there before meeting them.
wait_for_wine_hid() {
  for _ in $(seq 40); do
    TARVANE_HID_TRACE=1 "$wine" "$bin/tarvane-update.exe" --list > "$work/probe.raw" 2>&1 < /dev/null
    grep -q '^hid: [1-9][0-9]* HID interface(s) present' "$work/probe.raw" && return
    sleep 0.5
  done
}

case $case_name in
tcp-interface | tcp-display)
  # Only the Display board is told to start its new application, exactly once.
  board=${case_name#tcp-}
  start_sim --log "$work/requests.txt"
  if [[ $board == display ]]; then hex=$display_hex starts=1; else hex=$interface_hex starts=0; fi
  update --board "$board" --device "$sim_address" "$(winpath "$hex")"
  expect_status 0
  expect_success_log "${board^}"
  stop_sim
  [[ $(grep -c ' cmd=5 ' "$work/requests.txt") -eq $starts ]] || fail "expected $starts start-application request(s)"
  ;;
tcp-no-device)
  # A port that was just free: the connection is refused at the search.
  start_sim
  stop_sim
  update --board interface --device "$sim_address" "$(winpath "$interface_hex")"
  expect_status 4
  expect_err_line "error: Device not found"
  [[ $(tail -n 1 "$work/out.txt") == "Update started" ]] || fail "the log goes on past \"Update started\""
  ;;
tcp-silent-erase)
  start_sim --silent erase
  update --board interface --device "$sim_address" "$(winpath "$interface_hex")"
  expect_status 1
  expect_out_line "Connected"
  grep -qxF "Flash erased" "$work/out.txt" && fail "an unanswered erase was logged as done"
  tail -n 5 "$work/out.txt" > "$work/tail.txt"
  printf '%s\n' "" ">> No Response from the device!" \
    "a) Verify that the micro${en_dash}B USB cable is plugged in correctly" \
    "b) Remove the USB-C CHARGER cable" "c) Repeat STEP 4 above" > "$work/expected.txt"
  diff "$work/expected.txt" "$work/tail.txt" > "$work/diff.txt" || fail "the log does not end with the no-response lines"
  ;;
verify-only)
  # A fresh board holds nothing; after an update it holds the file. Neither
  # check erases, programs or starts anything.
  start_sim --log "$work/requests.txt"
  update --board display --device "$sim_address" --verify-only "$(winpath "$display_hex")"
  expect_status 1
  expect_out_line ">> The board does not hold this file"
  update --board display --device "$sim_address" "$(winpath "$display_hex")"
  expect_status 0
  update --board display --device "$sim_address" --verify-only --json "$(winpath "$display_hex")"
  expect_status 0
  grep -q '"result":"verified"' "$work/out.txt" || fail "the JSON result does not say verified"
  stop_sim
  [[ $(grep -c ' cmd=2 ' "$work/requests.txt") -eq 1 ]] || fail "a verify-only run erased the board"
  ;;
two-boards)
  # One healthy board and one that never erases, in one command.
  start_sim
  good=$sim_address
  start_sim --silent erase
  silent=$sim_address
  update --board interface --device "$good" --device "$silent" "$(winpath "$interface_hex")"
  expect_status 1
  expect_out_line "[$good] === UPGRADE COMPLETE ==="
  expect_out_line "[$silent] >> No Response from the device!"
  grep -qE "^\[$good\] updated in [0-9]+\.[0-9] s$" "$work/out.txt" || fail "no summary line for $good"
  grep -qE "^\[$silent\] failed \(no response\) after [0-9]+\.[0-9] s$" "$work/out.txt" ||
    fail "no summary line for $silent"
  ;;
tcp-trace)
  # The trace of a Windows update: its header, and reports both ways; its
  # support report: the system as Windows names it, the file's SHA-256.
  start_sim
  update --trace "$(winpath "$work/update.trace")" --report "$(winpath "$work/report.txt")" \
    --board interface --device "$sim_address" "$(winpath "$interface_hex")"
  expect_status 0
  grep -A1 -xF '[System]' "$work/report.txt" | grep -qE '^Windows [0-9]+\.[0-9]+\.[0-9]+ x64 \(64-bit program\)' ||
    fail "the report does not name the Windows system"
  grep -qxF "sha-256: $(sha256sum < "$interface_hex" | cut -d' ' -f1)" "$work/report.txt" ||
    fail "the report gives another SHA-256 of the file"
  tr -d '\r' < "$work/update.trace" > "$work/trace.txt"
  head -n 1 "$work/trace.txt" | grep -qxF '# tarvane-trace 1' || fail "the trace does not start with its format line"
  grep -qxF "# program: tarvane-update $TARVANE_VERSION" "$work/trace.txt" || fail "the trace names no program version"
  hex64='( [0-9a-f]{2}){64}'
  grep -qE "^[0-9]+\.[0-9]{6} >$hex64\$" "$work/trace.txt" || fail "no report to the board in the trace"
  grep -qE "^[0-9]+\.[0-9]{6} <$hex64\$" "$work/trace.txt" || fail "no report from the board in the trace"
  ;;
window-report)
  # The window's test saves the report of a failed update through the log's
  # menu into this folder; replayed, it gives the terminal tool the same log
  # after its two preamble lines, and the same failure.
  [[ -n ${DISPLAY:-} ]] || { echo "no DISPLAY" >&2; exit 77; }
  TARVANE_WINDOW_REPORT_DIR=$(winpath "$work") "$wine" "$bin/tarvane_win32_tests.exe" \
    --gtest_filter='WindowTest.SupportReport*' > "$work/gtest.raw" 2>&1 < /dev/null ||
    { tr -d '\r' < "$work/gtest.raw" > "$work/gtest.txt"; fail "the window's test failed"; }
  [[ -f $work/report.txt ]] || fail "the window saved no report"
  start_sim --replay "$work/report.txt"
  update --board interface --device "$sim_address" "$(winpath "$work/Tarvane_Interface_Board_test.hex")"
  expect_status 1
  # The section's lines, without its heading and the empty line that ends it.
  sed -n '/^\[Log\]$/,/^\[Trace\]$/p' "$work/report.txt" | sed '1d;$d' | sed '$d' > "$work/expected.txt"
  tail -n +3 "$work/out.txt" | diff "$work/expected.txt" - > "$work/diff.txt" ||
    fail "the replay's log differs from the report's"
  ;;
utf8-path)
  # Outside the ANSI code page: only the wide command line keeps this path.
  dir="$work/Pr${en_dash}üfung 固件"
  mkdir -p "$dir" && cp "$interface_hex" "$dir/"
  start_sim
  update --board interface --device "$sim_address" "$(winpath "$dir/Tarvane_Interface_Board_2048.hex")"
  expect_status 0
  expect_out_line "=== UPGRADE COMPLETE ==="
  ;;
slash-path)
  # A path from the root of the current drive (Z: under Wine) starts with "/",
  # as Windows options may; it is still the file.
  start_sim
  update --board display --device "$sim_address" "$display_hex"
  expect_status 0
  expect_success_log Display
  ;;
usb-list)
  wait_for_wine_hid
  TARVANE_HID_TRACE=1 update --list
  expect_status 4
  expect_wine_devices_examined
  expect_err_line "No bootloader found (USB vendor 0x04D8, product 0x003C)."
  ;;
usb-update)
  wait_for_wine_hid
  TARVANE_HID_TRACE=1 update --board interface --device usb "$(winpath "$interface_hex")"
  expect_status 4
  expect_wine_devices_examined
  expect_err_line "error: Device not found"
  ;;
usb-path)
  # usb:PATH opens that one device, and says what it found there.
  wait_for_wine_hid
  path=$(sed -n 's/^hid: \(.*\): opened, vendor 0x845E .*/\1/p' "$work/probe.raw" | head -n 1)
  [[ -n $path ]] || fail "no Wine HID device to name"
  TARVANE_HID_TRACE=1 update --board interface --device "usb:$path" "$(winpath "$interface_hex")"
  expect_status 4
  expect_err_line "error: Device not found"
  expect_err_line "No bootloader at $path."
  [[ $(grep -c ': opened, vendor 0x845E ' "$work/err.txt") -eq 1 ]] || fail "more than the named device was examined"
  ;;
window)
  [[ -n ${DISPLAY:-} ]] || { echo "no DISPLAY" >&2; exit 77; }
  "$wine" "$bin/tarvane-updater.exe" > "$work/window.txt" 2>&1 &
  window_pid=$!
  title=$(window_title)
  find_window "$title" || { kill $window_pid; fail "no window titled \"$title\" appeared"; }
  sleep 1
  import -window root "$work/window.png"
  xwininfo -id "$window_id" > "$work/window-info.txt"
  kill $window_pid 2>/dev/null
  wait $window_pid 2>/dev/null
  [[ $(stat -c %s "$work/window.png") -gt 10000 ]] || fail "the screenshot is empty"
  grep -q 'Map State: IsViewable' "$work/window-info.txt" || fail "the window is not shown"
  echo "screenshot: $work/window.png"
  ;;
window-dpi)
  # The window tests' picture case at 100, 150 and 200 %. The display's
  # resolution is the prefix's LogPixels, read as each process starts; the
  # prefix gets its own back however the case ends.
  [[ -n ${DISPLAY:-} ]] || { echo "no DISPLAY" >&2; exit 77; }
  key='HKCU\Control Panel\Desktop'
  set_dpi() { "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f > /dev/null 2>&1; }
  saved=$("$wine" reg query "$key" /v LogPixels 2> /dev/null | tr -d '\r' | awk '$1 == "LogPixels" { print $3 }')
  [[ -n $saved ]] || fail "no LogPixels in the prefix"
  tests_pid=""
  end_dpi_case() {
    [[ -n $tests_pid ]] && kill "$tests_pid" 2> /dev/null
    set_dpi "$((saved))"
    stop_sim
  }
  trap end_dpi_case EXIT
  trap 'exit 130' INT TERM HUP
  for dpi in 96 144 192; do
    set_dpi "$dpi"
    TARVANE_WINDOW_DPI=$dpi "$wine" "$bin/tarvane_win32_tests.exe" \
      --gtest_filter=WindowTest.PicturesFillTheirFramesAndFollowAScaleChange \
      > "$work/dpi-$dpi.raw" 2>&1 < /dev/null &
    tests_pid=$!
    wait "$tests_pid"
    status=$?
    tests_pid=""
    tr -d '\r' < "$work/dpi-$dpi.raw" > "$work/dpi-$dpi.txt"
    [[ $status -eq 0 ]] || fail "the pictures do not fill their frames at $dpi dpi"
    grep -q '^\[  PASSED  \] 1 test' "$work/dpi-$dpi.txt" || fail "the picture case did not run at $dpi dpi"
    sed -n "s/^\(.*picture.*\)$/$dpi dpi: \1/p" "$work/dpi-$dpi.txt"
  done
  ;;
*)
  fail "unknown case"
  ;;
esac
echo "PASS [$case_name]"
