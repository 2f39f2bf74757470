#!/usr/bin/env bash
# Renders the SVG drawings in res/ to the bitmaps and the icon that are committed
# beside them. Only needed after a drawing changes: the build uses the committed files.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

source "$root/scripts/deps/apt-install-missing.sh"
apt_install_missing librsvg2-bin python3-pil fonts-dejavu-core fontconfig
# Debian's own python3, because python3-pil installs into it and not into any other.
python=/usr/bin/python3

# A missing family would be replaced silently and shift every label.
for face in "DejaVu Sans" "DejaVu Sans:bold"; do
  if ! fc-match -f '%{family}\n' "$face" | grep -qx 'DejaVu Sans'; then
    echo "render-res: font '$face' not found" >&2
    exit 1
  fi
done

exec "$python" "$root/scripts/assets/render-res.py" "$root/res"
