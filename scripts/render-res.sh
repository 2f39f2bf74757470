#!/usr/bin/env bash
# Renders the SVG drawings in res/ to the bitmaps and the icon that are committed
# beside them. Only needed after a drawing changes: the build uses the committed files.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian's own python3, because python3-pil installs into it and not into any other.
python=/usr/bin/python3
packages=(librsvg2-bin python3-pil fonts-dejavu-core fontconfig)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A missing family would be replaced silently and shift every label.
for face in "DejaVu Sans" "DejaVu Sans:bold"; do
  if ! fc-match -f '%{family}\n' "$face" | grep -qx 'DejaVu Sans'; then
    echo "render-res: font '$face' not found" >&2
    exit 1
  fi
done

exec "$python" "$root/scripts/render-res.py" "$root/res"
