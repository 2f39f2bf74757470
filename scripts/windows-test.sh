#!/usr/bin/env bash
# `make test-windows`: builds both Windows programs, checks the 32-bit build's
# files (this kernel cannot run 32-bit programs), then runs the 64-bit build's
# tests under Wine: the core's unit tests, the window's tests, and the
# programs end to end against a native tarvane-sim, Wine's own HID devices
# and a virtual display.
#   NATIVE_BUILD=build scripts/windows-test.sh
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)

"scripts/install-windows-deps.sh" || exit 1

# The native simulator the Windows terminal tool talks to over tcp:.
native=${NATIVE_BUILD:-build}
[[ -f $native/CMakeCache.txt ]] || cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null || exit 1
cmake --build "$native" --target tarvane-sim -j "${JOBS:-2}" > /dev/null || exit 1
export TARVANE_NATIVE_SIM=$root/$native/bin/tarvane-sim

scripts/windows-build.sh --no-zip || exit 1

passed=0
failed=0
check() { # description command...
  if "${@:2}"; then passed=$((passed + 1)); echo "ok: $1"; else failed=$((failed + 1)); echo "FAILED: $1"; fi
}
# Only DLLs every Windows has: no compiler runtime may be left to ship.
system_dlls_only() {
  local dlls
  dlls=$(i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  [[ -n $dlls ]] || return 1
  for dll in $dlls; do
    case $dll in
    kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | ole32.dll | shell32.dll | setupapi.dll | ws2_32.dll | \
      msvcrt.dll | advapi32.dll | version.dll | comdlg32.dll) ;;
    *) echo "  $1 imports $dll" >&2; return 1 ;;
    esac
  done
}
is_pe32() { file "$1" | grep -q "PE32 executable ($2) Intel 80386"; }
check "32-bit tarvane-updater.exe is a PE32 i386 GUI program" is_pe32 build-win32/bin/tarvane-updater.exe GUI
check "32-bit tarvane-update.exe is a PE32 i386 console program" is_pe32 build-win32/bin/tarvane-update.exe console
check "32-bit tarvane-updater.exe imports only system DLLs" system_dlls_only build-win32/bin/tarvane-updater.exe
check "32-bit tarvane-update.exe imports only system DLLs" system_dlls_only build-win32/bin/tarvane-update.exe
check "32-bit manifest asks for the x86 common controls" \
  grep -q 'processorArchitecture="x86"' build-win32/app/win32/tarvane.manifest

# A private Wine prefix; Segoe UI is missing there, so Lato stands in at the
# resolution where its line height is Segoe UI's at 96 dpi.
export WINEPREFIX=$root/build-win64/wine-prefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=/usr/lib/wine/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)
display=""
xvfb_pid=""
cleanup() {
  "$wineserver" -k > /dev/null 2>&1
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

for n in $(seq 91 120); do
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp > /dev/null 2>&1 &
  xvfb_pid=$!
  sleep 1
  if kill -0 "$xvfb_pid" 2>/dev/null; then display=":$n"; break; fi
  xvfb_pid=""
done
[[ -n $display ]] || { echo "FAILED: no virtual display"; exit 1; }
export DISPLAY=$display

# A persistent server keeps each test's start short. It and the services the
# boot starts must not hold ctest's pipe, so they start here, on /dev/null.
"$wineserver" -p > /dev/null 2>&1
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  wine wineboot -i > /dev/null 2>&1 < /dev/null
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Segoe UI' /d Lato /f > /dev/null 2>&1 < /dev/null
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 104 /f > /dev/null 2>&1 < /dev/null
  # The first boot goes on installing devices in the background; a second
  # one starts from a settled prefix.
  "$wineserver" -k > /dev/null 2>&1
  "$wineserver" -p > /dev/null 2>&1
fi
wine wineboot > /dev/null 2>&1 < /dev/null

ctest --test-dir build-win64 --output-on-failure -j 2 < /dev/null
ctest_status=$?

echo
echo "32-bit checks: $passed passed, $failed failed"
echo "test-windows took $(( $(date +%s) - started )) s"
[[ $ctest_status -eq 0 && $failed -eq 0 ]]
