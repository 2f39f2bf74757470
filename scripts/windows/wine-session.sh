#!/usr/bin/env bash
# Runs a command in a Wine session of its own: the prefix PREFIX (made by
# wine-prefix.sh when needed), a persistent server and a virtual display.
# The command gets WINEPREFIX, DISPLAY and wine-prefix.sh's settings in its
# environment. The server, every Wine process of the prefix and the display
# end with the command, or when this script is interrupted. The display is
# 1280x900 unless TARVANE_SCREEN gives another size (WIDTHxHEIGHT).
#   wine-session.sh PREFIX COMMAND [ARG...]
set -uo pipefail
here=$(dirname "$0")
export WINEPREFIX=$1
shift
# shellcheck disable=SC2046 # one word a setting
export $("$here/wine-prefix.sh" env)

# Ends the session also when the caller is killed without passing it on.
( while kill -0 "$PPID" 2> /dev/null; do sleep 2; done; kill -TERM $$ ) &
watchdog=$!
xvfb=""
command=""
end_session() {
  kill "$watchdog" 2> /dev/null
  [[ -n $command ]] && kill "$command" 2> /dev/null
  /usr/lib/wine/wineserver -k > /dev/null 2>&1
  [[ -n $xvfb ]] && kill "$xvfb" 2> /dev/null
}
trap end_session EXIT
trap 'exit 130' INT TERM HUP

for n in $(seq 91 120); do
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  Xvfb ":$n" -screen 0 "${TARVANE_SCREEN:-1280x900}x24" -nolisten tcp > /dev/null 2>&1 &
  xvfb=$!
  sleep 1
  if kill -0 "$xvfb" 2> /dev/null; then export DISPLAY=":$n"; break; fi
  xvfb=""
done
[[ -n $xvfb ]] || { echo "FAILED: no virtual display"; exit 1; }

"$here/wine-prefix.sh" make wine "$WINEPREFIX" || exit 1
"$here/wine-prefix.sh" start wine "$WINEPREFIX"
# In the background, so that a signal is taken at once, not after it.
"$@" &
command=$!
wait "$command"
