#!/usr/bin/env bash
# Takes the README's pictures of the updater window: runs it under a virtual
# X server against the simulated board, clicks through a Display board
# update and saves PNGs to docs/screenshots/ (or the folder given).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/docs/screenshots}
build=${BUILD:-$root/build}

source "$root/scripts/deps/apt-install-missing.sh"
apt_install_missing xvfb xauth fonts-open-sans

make -C "$root" --no-print-directory build BUILD="$build"
mkdir -p "$out"
# No window manager runs under Xvfb, so the program clicks and grabs itself.
TARVANE_DEVICE=sim QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" \
  "$build/bin/tarvane-updater-screenshots" "$out" "$root/examples/Tarvane_Display_Board_2064.hex"
