#!/usr/bin/env bash
# Installs what the Windows builds and their tests under Wine need, only when
# something is missing. Never any i386 package: this kernel cannot run 32-bit
# programs, and 32-bit Wine breaks the 64-bit one until it is purged again.
set -euo pipefail

packages=(
  cmake ninja-build make file zip
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix   # the -posix flavour has std::thread
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64     # windres and objdump for both targets
  googletest libcli11-dev                               # gtest sources, the terminal tool's options
  wine wine64                                           # runs the x86_64 programs and tests
  xvfb xauth xdotool x11-utils x11-apps imagemagick     # the window in a virtual display, its screenshots
  fonts-lato                                            # stands in for Segoe UI, which Wine lacks
)

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
