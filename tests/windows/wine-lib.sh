# shellcheck shell=bash disable=SC2034,SC2154  # the sourcing script sets and reads the shared names
# Sourced by the Windows end-to-end scripts: what they share to run the
# programs under Wine against a native tarvane-sim. The sourcing script sets
# case_name, work (its own empty folder), wine and bin (the folder of the
# programs run).
en_dash=$'\xe2\x80\x93'

fail() {
  echo "FAIL [$case_name]: $*" >&2
  for f in "$work"/*.txt; do [[ -f $f ]] && { echo "--- $(basename "$f")"; cat "$f"; }; done >&2
  exit 1
}

# A Unix path as the Windows programs see it (Wine maps / to drive Z:).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

sim_pids=()
stop_sim() {
  for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  sim_pids=()
}
trap stop_sim EXIT

# Starts a native simulator on a free loopback port (each call one more);
# sets sim_address to the newest.
start_sim() {
  [[ -x ${TARVANE_NATIVE_SIM:-} ]] || { echo "no native tarvane-sim (TARVANE_NATIVE_SIM)" >&2; exit 77; }
  local out=$work/sim${sim_pids[0]:+-${#sim_pids[@]}}.txt
  "$TARVANE_NATIVE_SIM" --listen 127.0.0.1:0 "$@" > "$out" 2>&1 &
  sim_pids+=($!)
  for _ in $(seq 50); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
    [[ -n $port ]] && { sim_address=tcp:127.0.0.1:$port; return; }
    sleep 0.1
  done
  fail "tarvane-sim did not start"
}

# Runs tarvane-update.exe; its output lands in out.txt/err.txt (CR LF undone).
update() {
  "$wine" "$bin/tarvane-update.exe" "$@" > "$work/out.raw" 2> "$work/err.raw"
  status=$?
  tr -d '\r' < "$work/out.raw" > "$work/out.txt"
  tr -d '\r' < "$work/err.raw" > "$work/err.txt"
}

expect_status() { [[ $status -eq $1 ]] || fail "exit status $status, expected $1"; }
expect_out_line() { grep -qxF -- "$1" "$work/out.txt" || fail "no line \"$1\" on standard output"; }
expect_err_line() { grep -qxF -- "$1" "$work/err.txt" || fail "no line \"$1\" on standard error"; }

success_tail() {
  cat <<EOF
Update started
Connecting...
Connected
Flash erased
Programming flash...
Programming complete
Verification successful
=== UPGRADE COMPLETE ===
a) Remove the USB-C CHARGER and micro${en_dash}B USB cables
b) Slide the switch S4 to OFF and then to ON
c) Push the POWER button to power up the Tarvane
EOF
}

expect_success_log() {
  { echo "$1 board selected"; echo "HEX file selected"; success_tail; } > "$work/expected.txt"
  diff "$work/expected.txt" "$work/out.txt" > "$work/diff.txt" || fail "log differs from a successful update"
}

# The window's caption, with the project's version as MAJOR.MINOR.
window_title() { local version=${TARVANE_VERSION:?}; echo "Tarvane Firmware Updater - v.${version%.*}"; }

# Waits up to 30 s for a window titled $1 in the virtual display, of a
# program of this Wine prefix (tests of other prefixes share the display);
# sets window_id.
find_window() {
  local id pid
  for _ in $(seq 150); do
    for id in $(xdotool search --name "^${1//./\\.}\$" 2>/dev/null); do
      pid=$(xdotool getwindowpid "$id" 2>/dev/null) || continue
      tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
        { window_id=$id; return 0; }
    done
    sleep 0.2
  done
  return 1
}
