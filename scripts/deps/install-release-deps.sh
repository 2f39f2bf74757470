#!/usr/bin/env bash
# Installs what `make release` and `make check-reproducible` need beyond the
# builds themselves, only when something is missing.
set -euo pipefail

packages=(
  git zip unzip              # the clones of the check, the zips
  osslsigncode openssl       # Authenticode signatures; the test's throwaway certificate
  diffoscope-minimal         # names what differs between two builds
  faketime                   # pins the clock of tools that read it
)

source "$(dirname "$0")/apt-install-missing.sh"
apt_install_missing "${packages[@]}"
