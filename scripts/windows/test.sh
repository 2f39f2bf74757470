#!/usr/bin/env bash
# `make test-windows`: builds both Windows programs, checks the 32-bit build's
# files and installer (this kernel cannot run 32-bit programs), then runs the
# 64-bit build's tests under Wine: the core's unit tests, the window's tests,
# the programs end to end against a native tarvane-sim, Wine's own HID devices
# and a virtual display, and the 64-bit installer.
#   NATIVE_BUILD=build scripts/windows/test.sh
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
started=$(date +%s)

scripts/deps/install-windows-deps.sh || exit 1

# The native simulator the Windows terminal tool talks to over tcp:.
native=${NATIVE_BUILD:-build}
[[ -f $native/CMakeCache.txt ]] || cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null || exit 1
cmake --build "$native" --target tarvane-sim -j "${JOBS:-2}" > /dev/null || exit 1
export TARVANE_NATIVE_SIM=$root/$native/bin/tarvane-sim

scripts/windows/build.sh --no-zip || exit 1

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
    kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | ole32.dll | shell32.dll | setupapi.dll | ws2_32.dll | winmm.dll | \
      msvcrt.dll | advapi32.dll | version.dll | comdlg32.dll | oleacc.dll | oleaut32.dll) ;;
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
check "32-bit MSI puts the 32-bit programs into the 32-bit Program Files" tests/windows/msi-tables.sh build-win32

echo "32-bit build: $failed of $((passed + failed)) checks failed"

# CTest's summary stays the last thing printed.
scripts/windows/wine-session.sh "$root/build-win64/wine-prefix" bash -c \
  'echo "Windows builds and Wine ready after $(( $(date +%s) - $1 )) s"
   exec ctest --test-dir build-win64 --output-on-failure -j 2 < /dev/null' - "$started"
ctest_status=$?
[[ $ctest_status -eq 0 && $failed -eq 0 ]]
