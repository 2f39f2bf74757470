#!/usr/bin/env bash
# Installs what `make package` and scripts/check-package.sh need beyond the
# build itself, only when something is missing.
set -euo pipefail

packages=(
  dpkg-dev file     # dpkg-shlibdeps computes the package's dependencies
  help2man          # the man pages, made from --help
  lintian           # judges the .deb against Debian policy
)
[[ "${1:-}" == "--chroot" ]] && packages+=(debootstrap)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
