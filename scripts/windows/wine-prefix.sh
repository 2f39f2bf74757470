#!/bin/sh
# The one way Wine is set up here, for the Windows tests and screenshots, the
# installer's test and the kernel USB test alike:
#   wine-prefix.sh env                the settings every Wine program here runs
#                                     with, NAME=VALUE a line: export $(wine-prefix.sh env)
#   wine-prefix.sh id                 a short name of those settings and prefix.reg,
#                                     for prefixes kept in a cache
#   wine-prefix.sh make WINE PREFIX   makes PREFIX with the loader WINE, with the
#                                     registry of prefix.reg; again when either changed
#   wine-prefix.sh start WINE PREFIX  starts a session: a persistent server, the prefix booted
# Plain sh: the kernel USB test's guest runs it in its 32-bit tree too.
set -eu

# No debug output, no offer to install .NET or the browser engine, and no
# menu entries made on this machine.
settings() {
  echo WINEDEBUG=-all
  echo 'WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d'
}
# shellcheck disable=SC2046 # one word a setting
export $(settings)
here=$(cd "$(dirname "$0")" && pwd)
id() { settings | cat - "$here/prefix.reg" | cksum | cut -d' ' -f1; }
wineserver=/usr/lib/wine/wineserver
[ -x $wineserver ] || wineserver=$(command -v wineserver)

case $1 in
env) settings ;;
id) id ;;
make)
  wine=$2
  export WINEPREFIX="$3"
  stamp=$WINEPREFIX/tarvane-settings
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(id)" ] && exit 0
  started=$(date +%s)
  # A server left by an interrupted boot would hold the prefix.
  trap '"$wineserver" -k > /dev/null 2>&1 || true' EXIT
  trap 'exit 130' INT TERM HUP
  "$wineserver" -k > /dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
  timeout --foreground 600 "$wine" wineboot -i < /dev/null > /dev/null 2>&1
  timeout --foreground 120 "$wine" regedit /S "Z:$(echo "$here/prefix.reg" | tr / '\\')" < /dev/null > /dev/null 2>&1
  # The registry reaches its files only as the server ends, on its own once
  # only Wine's own services are left; the next boot starts settled.
  timeout --foreground 300 "$wineserver" -w
  # (No grep: the 32-bit tree has none.)
  case $(cat "$WINEPREFIX/system.reg" 2> /dev/null) in
  *'"Enable SDL"=dword:00000000'*) ;;
  *) echo "wine-prefix: no prefix was made in $WINEPREFIX" >&2; exit 1 ;;
  esac
  id > "$stamp"
  echo "wine-prefix: made $WINEPREFIX in $(($(date +%s) - started)) s" >&2
  ;;
start)
  export WINEPREFIX="$3"
  # It and the services the boot starts must not hold the caller's output.
  "$wineserver" -p < /dev/null > /dev/null 2>&1
  timeout --foreground 300 "$2" wineboot < /dev/null > /dev/null 2>&1
  ;;
*) echo "usage: wine-prefix.sh env | id | make WINE PREFIX | start WINE PREFIX" >&2; exit 2 ;;
esac
