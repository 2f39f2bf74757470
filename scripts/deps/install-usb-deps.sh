#!/usr/bin/env bash
# Installs what `make test-usb` needs on the host, only when something is
# missing: qemu to boot the guest, busybox for its shell and cpio, xz to
# unpack the kernel. The guest's kernel is downloaded, never installed.
set -euo pipefail

packages=(
  qemu-system-x86     # boots the guest under software emulation (TCG)
  busybox-static      # the guest's whole userland, and cpio to pack it
  xz-utils            # the kernel image is XZ-compressed
)

source "$(dirname "$0")/apt-install-missing.sh"
apt_install_missing "${packages[@]}"
