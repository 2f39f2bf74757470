#!/usr/bin/env bash
# Installs the .deb into a clean Debian 12 chroot, as a user's machine would
# get it, and runs what it installed: --version, --inspect and an update of
# the simulated board, the window's libraries, the udev rule's place, then
# removal. The chroot comes from debootstrap once and is kept as a tarball
# under build-package/, so later runs start from the same clean system fast.
# Usage: packaging/check-package.sh [FILE.deb]   (default: the newest in dist/)
set -euo pipefail
cd "$(dirname "$0")/.."

[[ $(id -u) -eq 0 ]] || { echo "check-package: needs root (debootstrap, chroot)" >&2; exit 2; }
deb=${1:-$(ls -t dist/tarvane-updater_*.deb 2>/dev/null | head -n 1)}
[[ -f $deb ]] || { echo "check-package: no .deb; run 'make package' first" >&2; exit 2; }
sample=examples/Tarvane_Display_Board_2064.hex

scripts/deps/install-package-deps.sh --chroot
cache=build-package/chroot-cache
tarball=$cache/debian12-minbase.tar
root=build-package/chroot
mkdir -p "$cache/debs"

if [[ ! -f $tarball ]]; then
  echo "== debootstrap: a minimal Debian 12 (once; later runs reuse $tarball)"
  rm -rf --one-file-system "$cache/bootstrap"
  debootstrap --variant=minbase bookworm "$cache/bootstrap" > "$cache/debootstrap.log" 2>&1 \
    || { tail -n 20 "$cache/debootstrap.log" >&2; echo "check-package: debootstrap failed" >&2; exit 1; }
  tar -C "$cache/bootstrap" -cf "$tarball.part" . && mv "$tarball.part" "$tarball"
  rm -rf --one-file-system "$cache/bootstrap"
fi

cleanup() {
  mountpoint -q "$root/proc" && umount "$root/proc"
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cleanup
mkdir -p "$root"
tar -C "$root" -xf "$tarball"
mount -t proc proc "$root/proc"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# No service may start inside the chroot.
printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d" && chmod 755 "$root/usr/sbin/policy-rc.d"
# Packages fetched by an earlier run are reused rather than downloaded again.
cp "$cache/debs/"*.deb "$root/var/cache/apt/archives/" 2>/dev/null || true
cp "$deb" "$root/tmp/"
cp "$sample" "$root/tmp/sample.hex"

echo "== installing $(basename "$deb") into a clean Debian $(cat "$root/etc/debian_version")"
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
  /bin/sh -c "apt-get update -qq && apt-get install -y -qq --no-install-recommends udev &&
              apt-get install -y -qq --no-install-recommends /tmp/$(basename "$deb")" \
  > "$cache/install.log" 2>&1 || { tail -n 30 "$cache/install.log" >&2; echo "check-package: install failed" >&2; exit 1; }
echo "   udev went in first, so the postinst met a real udevadm with no udev daemon to reach"
echo "   $(grep -c '^Setting up' "$cache/install.log") packages set up, the last: $(grep '^Setting up' "$cache/install.log" | tail -n 1)"
cp "$root/var/cache/apt/archives/"*.deb "$cache/debs/" 2>/dev/null || true

chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root /bin/bash -s <<'INSIDE'
set -uo pipefail
faults=0
fault() { echo "FAULT: $*"; faults=$((faults + 1)); }
run() { echo "\$ $*"; "$@"; }

run dpkg-query -W -f='${Package} ${Version} ${Status}\n' tarvane-updater
[[ $(dpkg-query -W -f='${Status}' tarvane-updater) == "install ok installed" ]] || fault "not installed"

run command -v tarvane-update tarvane-updater tarvane-sim
out=$(run tarvane-update --version) || fault "--version exited $?"
echo "$out"
[[ $out == *"tarvane-update "[0-9]* ]] || fault "--version printed '$out'"

out=$(run tarvane-update --inspect /tmp/sample.hex) || fault "--inspect exited $?"
echo "$out"
[[ $out == *"crc: 0x"* && $out == *"records: "* ]] || fault "--inspect printed no report"

out=$(tarvane-update --board display --device sim /tmp/sample.hex 2>&1) || fault "update exited $?"
echo "\$ tarvane-update --board display --device sim /tmp/sample.hex  # last line:"
echo "${out##*$'\n'}"
[[ $out == *"=== UPGRADE COMPLETE ==="* ]] || fault "the update of the simulated board did not complete: $out"

tarvane-sim --help > /dev/null || fault "tarvane-sim --help exited $?"
for program in tarvane-update tarvane-updater tarvane-sim; do
  missing=$(ldd "/usr/bin/$program" | grep "not found")
  [[ -z $missing ]] || fault "$program lacks libraries: $missing"
done
# The window must get as far as its event loop: still running after 3 s.
QT_QPA_PLATFORM=offscreen timeout 3 tarvane-updater > /tmp/window.log 2>&1
status=$?
echo "\$ QT_QPA_PLATFORM=offscreen timeout 3 tarvane-updater  # exit $status (124: still running)"
[[ $status -eq 124 ]] || { fault "the window exited $status"; cat /tmp/window.log; }

rule=/usr/lib/udev/rules.d/70-tarvane-bootloader.rules
run ls -l "$rule" || fault "no udev rule at $rule"
run ls /usr/share/man/man1/tarvane-update.1.gz /usr/share/man/man1/tarvane-sim.1.gz \
  /usr/share/man/man1/tarvane-updater.1.gz || fault "man pages missing"

echo "\$ apt-get purge tarvane-updater"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tarvane-updater > /tmp/purge.log 2>&1 \
  || { fault "purge failed"; cat /tmp/purge.log; }
[[ ! -e $rule && ! -e /usr/bin/tarvane-update ]] || fault "files left after purge"

exit $((faults > 0))
INSIDE
echo "check-package: $(basename "$deb") installs, runs and purges cleanly in Debian $(cat "$root/etc/debian_version")"
