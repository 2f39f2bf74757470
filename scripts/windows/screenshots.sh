#!/usr/bin/env bash
# Screenshots of the Windows dialog under Wine for the README:
# docs/screenshots/windows-start.png, windows-display-board.png,
# windows-notes.png and windows-150.png, the window with the display at 150 %. Builds the 64-bit programs first when they are missing.
# There is no window manager in the virtual display, so clicks go by position,
# computed from the window's size in dialog units.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
out=$root/docs/screenshots

[[ -x build-win64/bin/tarvane-updater.exe ]] || scripts/windows/build.sh --no-zip
# Everything below runs in a Wine session of its own.
# Room for the window at 150 %.
[[ ${1:-} == --in-session ]] || TARVANE_SCREEN=1920x1200 exec scripts/windows/wine-session.sh "$root/build-win64/wine-prefix" "$root/scripts/windows/screenshots.sh" --in-session

# The prefix's resolution, read by each program as it starts; put back at the end.
key='HKCU\Control Panel\Desktop'
set_dpi() { wine reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f > /dev/null 2>&1; }
dpi=$(wine reg query "$key" /v LogPixels | tr -d '\r' | awk '$1 == "LogPixels" { print $3 }')
dpi=$((dpi))
updater=""
trap '[[ -n $updater ]] && kill "$updater" 2>/dev/null; set_dpi "$dpi"' EXIT
start_updater() {
  wine build-win64/bin/tarvane-updater.exe > /dev/null 2>&1 < /dev/null &
  updater=$!
}
start_updater

find_window() { # title regex
  for _ in $(seq 150); do
    id=$(xdotool search --name "$1" 2>/dev/null | head -n 1) && [[ -n $id ]] && { echo "$id"; return; }
    sleep 0.2
  done
  echo "no window \"$1\"" >&2
  return 1
}
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /Width:/{w=$NF} /Height:/{h=$NF} END{print x, y, w, h}'; }
shoot() { # window-id file
  read -r x y w h < <(geometry "$1")
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$2"
  echo "$2"
}

main=$(find_window '^Tarvane Firmware Updater - v[0-9.]*$')
sleep 1
read -r left top width height < <(geometry "$main")
# The main template is 438 x 247 dialog units.
click_units() { # centre of a control: x y w h in dialog units
  local px=$(( left + ($1 * 2 + $3) * width / (2 * 438) ))
  local py=$(( top + ($2 * 2 + $4) * height / (2 * 247) ))
  xdotool mousemove "$px" "$py" click 1
  sleep 1
}

mkdir -p "$out"
shoot "$main" "$out/windows-start.png"
click_units 224 34 56 10 # IDC_DISPLAY_BOARD
shoot "$main" "$out/windows-display-board.png"
click_units 169 97 36 9 # IDC_NOTES
notes=$(find_window '^Notes$')
sleep 1
shoot "$notes" "$out/windows-notes.png"

# 150 % of the prefix's own resolution, where Lato stands for Segoe UI at 96 dpi.
kill "$updater"
wait "$updater" 2> /dev/null || true
sleep 1
set_dpi $((dpi * 3 / 2))
start_updater
main=$(find_window '^Tarvane Firmware Updater - v[0-9.]*$')
sleep 1
read -r left top width height < <(geometry "$main")
click_units 224 34 56 10 # IDC_DISPLAY_BOARD
shoot "$main" "$out/windows-150.png"
