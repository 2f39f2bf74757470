# Sourced by the Windows test and screenshot scripts from the repository root:
# a private Wine prefix under build-win64, a virtual display, and a persistent
# wineserver, all ended when the sourcing script exits.
# A private Wine prefix; Segoe UI is missing there, so Lato stands in at the
# resolution where its line height is Segoe UI's at 96 dpi.
export WINEPREFIX=${root:-$PWD}/build-win64/wine-prefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=/usr/lib/wine/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)
display=""
xvfb_pid=""
tarvane_wine_cleanup() {
  "$wineserver" -k > /dev/null 2>&1
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
}
trap tarvane_wine_cleanup EXIT

for n in $(seq 91 120); do
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp > /dev/null 2>&1 &
  xvfb_pid=$!
  sleep 1
  if kill -0 "$xvfb_pid" 2>/dev/null; then display=":$n"; break; fi
  xvfb_pid=""
done
[[ -n $display ]] || { echo "FAILED: no virtual display"; return 1; }
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

