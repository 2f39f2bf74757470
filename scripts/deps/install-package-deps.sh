#!/usr/bin/env bash
# Installs what `make package` and packaging/check-package.sh need beyond the
# build itself, only when something is missing.
set -euo pipefail

packages=(
  dpkg-dev file     # dpkg-shlibdeps computes the package's dependencies
  help2man          # the man pages, made from --help
  lintian           # judges the .deb against Debian policy
)
[[ "${1:-}" == "--chroot" ]] && packages+=(debootstrap)

source "$(dirname "$0")/apt-install-missing.sh"
apt_install_missing "${packages[@]}"
