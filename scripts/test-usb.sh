#!/usr/bin/env bash
# `make test-usb`: whole updates through Linux's own USB HID stack. Boots
# Debian's stock kernel under qemu (software emulation, no KVM needed) with a
# small initramfs: busybox and the modules. The guest runs on this machine's
# own root, shared read-only under a RAM layer, so this build's programs and
# their libraries are at the same paths as here. Inside, tarvane_usbvm_tests plugs simulated boards in as
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
timeout_s=${USB_TEST_TIMEOUT:-1800}
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
# The USB stack and the gadget framework, then what the guest needs to run
# on the host's root: virtio's shared folders and an overlay.
modules=(usb-common usbcore hid hid-generic usbhid udc-core dummy_hcd configfs libcomposite usb_f_hid
  virtio_pci 9pnet_virtio 9p overlay)
if [[ ! -f "$kernel/ready-9p" ]]; then
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
  loaded=" "
  # Each module after what it depends on (its depends= field), each once;
  # names differ from file names only by - against _.
  add_module() {
    local name=${1//-/_} file dep
    [[ $loaded == *" $name "* ]] && return 0
    file=$(find "$kernel/tree/lib/modules" \( -name "$name.ko" -o -name "${name//_/-}.ko" \) | head -1)
    if [[ -z $file ]]; then
      grep -qE "/(${name}|${name//_/-})\.ko$" "$kernel"/tree/lib/modules/*/modules.builtin && return 0
      echo "test-usb: $package has no $name.ko" >&2
      return 1
    fi
    for dep in $(strings -a "$file" | sed -n 's/^depends=//p' | tr ',' ' '); do add_module "$dep" || return 1; done
    cp "$file" "$kernel/modules/"
    basename "$file" .ko >> "$kernel/modules/order"
    loaded+="$name "
  }
  for module in "${modules[@]}"; do add_module "$module" || exit 1; done
  rm -rf "$kernel/tree" "$kernel/deb"
  touch "$kernel/ready-9p"
fi

# --- the guest's initramfs: busybox and the modules; it runs the host's root ---
guest="$work/root"
rm -rf "$guest"
mkdir -p "$guest"/{bin,dev,proc,sys,modules}
cp /bin/busybox "$guest/bin/busybox"
cp scripts/usb-vm/init "$guest/init"
cp "$kernel"/modules/* "$guest/modules/"
(cd "$guest" && find . | busybox cpio -o -H newc 2>/dev/null) > "$work/initramfs.cpio"

# What the guest runs, from the host's root at the same paths. Results the
# host reads back go to $results, the guest's one writable share.
results="$work/results"
rm -rf "$results" && mkdir -p "$results"
# The Linux tool's and the window's scenarios first; then, in a Wine session
# started for them alone, the Windows programs' (unless TARVANE_USB_WINDOWS=no).
tests=$(printf '%q --gtest_color=no' "$bin/tarvane_usbvm_tests")
[[ -n ${USB_TEST_REPEAT:-} ]] && tests+=" --gtest_repeat=$USB_TEST_REPEAT"
# USB_TEST_FILTER names scenarios, ':' between them; each run takes its own.
IFS=: read -ra patterns <<< "$filter"
tests_named() { # form, each @ in it standing for one scenario pattern
  local pattern joined=""
  for pattern in "${patterns[@]}"; do joined+="${joined:+:}${1//@/$pattern}"; done
  printf '%q' "$joined"
}
{
  echo '#!/bin/sh'
  printf "%s --gtest_filter=%s'-WineWindow.*'\nstatus=\$?\n" "$tests" "$(tests_named '*.@')"
} > "$work/run.sh"
if [[ ${TARVANE_USB_WINDOWS:-yes} != no ]]; then
  cache=${TARVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvane}
  source scripts/usb-vm/wine.sh
  {
    cat "$work/wine-setup.sh"
    printf '%s --gtest_filter=%s || status=1\n' "$tests" "$(tests_named 'Tools/EachTool.@/Windows_x64:WineWindow.@')"
    if [[ $windows32 != no ]]; then
      cat "$work/wine32-setup.sh"
      printf '%s --gtest_filter=%s || status=1\n' "$tests" "$(tests_named 'Tools/EachTool.@/Windows_x86')"
    fi
  } >> "$work/run.sh"
fi
echo 'exit $status' >> "$work/run.sh"

# --- boot, run, judge ---
console="$work/console.log"
echo "test-usb: booting $package under qemu ($(du -k "$work/initramfs.cpio" | cut -f1) KB initramfs, the host's root shared)"
set +e
# -smap off: with it, every Wine process in the guest dies under TCG.
timeout "$timeout_s" qemu-system-x86_64 -accel tcg -cpu max,-smap -smp 2 -m 3072 \
  -nographic -no-reboot -nodefaults -serial stdio \
  -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
  -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
  -fsdev local,id=results,path="$results",security_model=none,multidevs=remap \
  -device virtio-9p-pci,fsdev=results,mount_tag=results \
  -kernel "$kernel/vmlinux" -initrd "$work/initramfs.cpio" \
  -append "console=ttyS0 quiet panic=-1 tarvane_run=$work/run.sh tarvane_results=$results" \
  < /dev/null > "$console" 2>&1
qemu_status=$?
set -e
tr -d '\r' < "$console" > "$console.txt"
# A 32-bit Wine prefix made by this run: kept, its copies of Wine's own files
# as links into the tree, which shrinks it from about 590 MB to a few.
if [[ -f $results/prefix32.tar && -n ${prefix32:-} ]]; then
  rm -rf "$results/prefix" && mkdir -p "$results/prefix" && tar -C "$results/prefix" -xf "$results/prefix32.tar"
  while IFS= read -r -d '' file; do
    original="$tree/usr/lib/i386-linux-gnu/wine/i386-windows/$(basename "$file")"
    [[ -f $original ]] && cmp -s "$file" "$original" && ln -sf "${original#"$tree"}" "$file"
  done < <(find "$results/prefix" -type f -name '*.*' -print0)
  tar -C "$results/prefix" -cf "$prefix32" prefix32 && rm -rf "$results/prefix" "$results/prefix32.tar"
  echo "test-usb: kept the 32-bit Wine prefix ($(du -k "$prefix32" | cut -f1) KB)"
fi

guest_status=$(sed -n 's/^tarvane-usb: exit \([0-9]*\)$/\1/p' "$console.txt" | tail -1)
passed=0
failed=0
# "Tools/EachTool.Name/Windows_x64 (9 ms)", "WineWindow.Name (9 ms)" and
# "KernelUsb.Name (9 ms)" read "Windows x64: Name (9 ms)" (twice) and
# "Linux: Name (9 ms)".
scenario() {
  local name=${1%% (*} time=${1##* (}
  name=${name%%, where GetParam()*}
  if [[ $name == */*.*/* ]]; then
    local tool=${name##*/}
    name=${name#*.}
    printf '%s: %s (%s\n' "${tool//_/ }" "${name%/*}" "$time"
  elif [[ $name == WineWindow.* ]]; then
    printf 'Windows x64: %s (%s\n' "${name#*.}" "$time"
  else
    printf 'Linux: %s (%s\n' "${name#*.}" "$time"
  fi
}
while IFS= read -r line; do
  case "$line" in
    "[       OK ] "*)
      passed=$((passed + 1))
      printf 'PASS  %s' "$(scenario "${line#\[       OK \] }")"; echo ;;
    "[  FAILED  ] "*" ms)")
      failed=$((failed + 1))
      printf 'FAIL  %s' "$(scenario "${line#\[  FAILED  \] }")"; echo ;;
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
