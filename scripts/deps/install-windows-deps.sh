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
  wixl msitools faketime                                # builds the MSIs at a fixed time, reads their tables back
  librsvg2-bin python3-pil fonts-dejavu-core fontconfig # renders the window's pictures at every scale
)

source "$(dirname "$0")/apt-install-missing.sh"
apt_install_missing "${packages[@]}"
