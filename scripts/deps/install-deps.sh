#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, only when one is missing,
# so `make test` works on a fresh machine and costs nothing on a prepared one.
# `install-deps.sh tool` installs only what the terminal tool needs.
set -euo pipefail

# What the terminal tool and its demonstration need (`make run`).
tool_packages=(
  cmake ninja-build g++ make pkg-config
  libcli11-dev                           # option parsing of the terminal tool
  nlohmann-json3-dev                     # the terminal tool's --json output, and its tests
  libhidapi-dev                          # the USB back-end (hidraw), found through pkg-config
)
# What the window, the tests and the fuzz run add (everything else).
more_packages=(
  libgtest-dev libgmock-dev googletest   # unit and end-to-end tests
  srecord                                # srec_cat: independent reference for HEX images and CRCs
  qt6-base-dev qt6-qpa-plugins           # the window, tarvane-updater, and its offscreen tests
  fonts-open-sans                        # the window's font where its own is missing; the layout tests measure it
  xvfb dbus-daemon at-spi2-core python3-pyatspi  # the window read through the screen readers' interface
  clang libclang-rt-14-dev               # libFuzzer and its sanitizers: make fuzz, and the fuzz run in make test
)

source "$(dirname "$0")/apt-install-missing.sh"
if [[ ${1:-} == tool ]]; then
  apt_install_missing "${tool_packages[@]}"
else
  apt_install_missing "${tool_packages[@]}" "${more_packages[@]}"
fi
