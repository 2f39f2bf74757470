#!/usr/bin/env bash
# `make test-usb`: whole updates through Linux's own USB HID stack. Boots
# Debian's stock kernel under qemu (software emulation, no KVM needed) with a
# small initramfs: busybox, the USB modules, and this build's programs at the
# same paths as here. Inside, tarvane_usbvm_tests plugs simulated boards in as
# USB gadgets on a dummy host controller and drives tarvane-update through
# hidapi and /dev/hidrawN. Prints one line per scenario and a summary.
#
# Everything it fetches stays in $BUILD/usb-vm: the kernel package is
# downloaded and unpacked there, never installed.
set -euo pipefail
cd "$(dirname "$0")/.."
root_dir=$(pwd)
build=${BUILD:-build}
bin="$root_dir/$build/bin"
work="$root_dir/$build/usb-vm"
filter=${USB_TEST_FILTER:-*}
timeout_s=${USB_TEST_TIMEOUT:-900}
mkdir -p "$work"
started=$(date +%s)

scripts/install-usb-deps.sh

for program in tarvane-update tarvane-sim tarvane_usbvm_tests; do
  [[ -x "$bin/$program" ]] || { echo "test-usb: $bin/$program is missing; build first (make build)" >&2; exit 1; }
done

# --- the kernel: the package linux-image-amd64 depends on, unpacked once ---
package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
[[ -n "$package" ]] || { echo "test-usb: apt knows no linux-image-amd64" >&2; exit 1; }
kernel="$work/$package"
if [[ ! -f "$kernel/ready" ]]; then
  echo "test-usb: fetching $package"
  rm -rf "$kernel" && mkdir -p "$kernel/deb"
  (cd "$kernel/deb" && apt-get download "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  deb=$(ls "$kernel"/deb/*.deb 2>/dev/null | head -1)
  [[ -n "$deb" ]] || { echo "test-usb: could not download $package" >&2; exit 1; }
  dpkg-deb -x "$deb" "$kernel/tree"
  # The uncompressed ELF kernel boots through qemu's PVH entry, seconds
  # faster than the compressed image under emulation.
  vmlinuz=$(ls "$kernel"/tree/boot/vmlinuz-*)
  offset=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$vmlinuz" | head -1 | cut -d: -f1)
  tail -c +$((offset + 1)) "$vmlinuz" | xz -dc > "$kernel/vmlinux" 2>/dev/null || true
  file_type=$(head -c 4 "$kernel/vmlinux" | od -An -c | tr -d ' ')
  [[ "$file_type" == '177ELF' ]] || { echo "test-usb: no ELF kernel inside $vmlinuz" >&2; exit 1; }
  mkdir -p "$kernel/modules"
  for module in usb-common usbcore hid hid-generic usbhid udc-core dummy_hcd configfs libcomposite usb_f_hid; do
    found=$(find "$kernel/tree/lib/modules" -name "$module.ko" | head -1)
    [[ -n "$found" ]] || { echo "test-usb: $package has no $module.ko" >&2; exit 1; }
    cp "$found" "$kernel/modules/"
  done
  rm -rf "$kernel/tree" "$kernel/deb"
  touch "$kernel/ready"
fi

# --- the guest's root: busybox, modules, our programs and their libraries ---
guest="$work/root"
rm -rf "$guest"
mkdir -p "$guest"/{bin,dev,proc,sys,tmp,etc,modules}
cp /bin/busybox "$guest/bin/busybox"
cp scripts/usb-vm/init "$guest/init"
cp "$kernel"/modules/*.ko "$guest/modules/"
# An unprivileged user, for the scenario of a board the user may not open.
printf 'root:x:0:0:root:/tmp:/bin/sh\ntester:x:1000:1000:tester:/tmp:/bin/sh\n' > "$guest/etc/passwd"
printf 'root:x:0:\ntester:x:1000:\n' > "$guest/etc/group"

copy_same_path() {
  mkdir -p "$guest$(dirname "$1")"
  cp -L "$1" "$guest$1"
  # Our programs carry debug information the guest never reads.
  [[ "$1" != "$bin"/* ]] || strip --strip-debug "$guest$1"
}
copy_with_libraries() {
  copy_same_path "$1"
  for library in $(ldd "$1" | awk '/=> \// { print $3 } /^\t\/lib/ { print $1 }'); do
    [[ -e "$guest$library" ]] || copy_same_path "$library"
  done
}
for program in tarvane-update tarvane-sim tarvane_usbvm_tests; do copy_with_libraries "$bin/$program"; done
# The window's flow test, offscreen, with the font the window uses.
qt_plugin=$(find /usr/lib -path '*/qt6/plugins/platforms/libqoffscreen.so' 2>/dev/null | head -1)
if [[ -x "$bin/tarvane_qt_flow_tests" && -n "$qt_plugin" ]]; then
  copy_with_libraries "$bin/tarvane_qt_flow_tests"
  copy_with_libraries "$qt_plugin"
  for path in /etc/fonts /usr/share/fonts/truetype/open-sans; do
    [[ -d "$path" ]] && mkdir -p "$guest$(dirname "$path")" && cp -rL "$path" "$guest$path"
  done
fi
for sample in "$root_dir"/examples/*.hex; do copy_same_path "$sample"; done
printf '%q --gtest_color=no --gtest_filter=%q\n' "$bin/tarvane_usbvm_tests" "KernelUsb.$filter" > "$guest/etc/tarvane-usb-run"
(cd "$guest" && find . | busybox cpio -o -H newc 2>/dev/null) > "$work/initramfs.cpio"

# --- boot, run, judge ---
console="$work/console.log"
echo "test-usb: booting $package under qemu ($(du -m "$work/initramfs.cpio" | cut -f1) MB initramfs)"
set +e
timeout "$timeout_s" qemu-system-x86_64 -accel tcg -cpu max -smp 2 -m 1024 \
  -nographic -no-reboot -nodefaults -serial stdio \
  -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
  -kernel "$kernel/vmlinux" -initrd "$work/initramfs.cpio" \
  -append "console=ttyS0 quiet panic=-1" < /dev/null > "$console" 2>&1
qemu_status=$?
set -e
tr -d '\r' < "$console" > "$console.txt"

guest_status=$(sed -n 's/^tarvane-usb: exit \([0-9]*\)$/\1/p' "$console.txt" | tail -1)
passed=0
failed=0
while IFS= read -r line; do
  case "$line" in
    "[       OK ] "*)
      passed=$((passed + 1))
      printf 'PASS  %s\n' "${line#\[       OK \] }" ;;
    "[  FAILED  ] "*" ms)")
      failed=$((failed + 1))
      printf 'FAIL  %s\n' "${line#\[  FAILED  \] }" ;;
    "[ figure ] "*)
      printf '      %s\n' "${line#\[ figure \] }" ;;
  esac
done < "$console.txt"

elapsed=$(( $(date +%s) - started ))
# qemu's debug-exit status is (guest status << 1) | 1; its own failures are 1 too,
# so the guest's own line must agree.
if [[ "$guest_status" == 0 && $qemu_status -eq 1 && $failed -eq 0 && $passed -gt 0 ]]; then
  echo "test-usb: $passed scenarios passed through the kernel's USB HID stack in ${elapsed} s"
  exit 0
fi
echo "test-usb: FAILED: $passed passed, $failed failed, guest status '${guest_status:-none}', qemu status $qemu_status after ${elapsed} s" >&2
echo "test-usb: the guest's console follows ($console)" >&2
grep -v '^\s*$' "$console.txt" | tail -80 >&2
exit 1
