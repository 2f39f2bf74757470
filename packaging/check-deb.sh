#!/usr/bin/env bash
# The cheap checks of a built .deb: its control fields, what it installs and
# where, and lintian's verdict. Fails on a missing file or a lintian error;
# lintian's warnings and notes are shown.
# Usage: packaging/check-deb.sh FILE.deb
set -euo pipefail
deb=$1
faults=0
fault() { echo "package check: $*" >&2; faults=$((faults + 1)); }

field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == tarvane-updater ]] || fault "Package is '$(field Package)'"
# dpkg-shlibdeps ran when the libraries the programs link are named.
for lib in libc6 libstdc++6 libhidapi-hidraw0 libqt6widgets6 qt6-qpa-plugins; do
  [[ $(field Depends) == *"$lib"* ]] || fault "Depends lacks $lib: $(field Depends)"
done
for script in postinst postrm; do
  dpkg-deb --info "$deb" "$script" > /dev/null 2>&1 || fault "no $script"
done

# One line per entry: mode, owner/group, path.
contents=$(dpkg-deb --contents "$deb" | awk '{ print $1, $2, $6 }')
expect() {
  grep -qx -- "$1 root/root ./$2" <<< "$contents" || fault "missing or wrong: $1 /$2"
}
for program in tarvane-update tarvane-updater tarvane-sim; do
  expect -rwxr-xr-x "usr/bin/$program"
  expect -rw-r--r-- "usr/share/man/man1/$program.1.gz"
done
expect -rw-r--r-- usr/lib/udev/rules.d/70-tarvane-bootloader.rules
expect -rw-r--r-- usr/share/applications/tarvane-updater.desktop
expect -rw-r--r-- usr/share/icons/hicolor/256x256/apps/tarvane-updater.png
expect -rw-r--r-- usr/share/icons/hicolor/scalable/apps/tarvane-updater.svg
expect -rw-r--r-- usr/share/doc/tarvane-updater/copyright
expect -rw-r--r-- usr/share/doc/tarvane-updater/changelog.gz
# Everything under /usr, and nothing in /usr/local, which is the administrator's.
stray=$(awk '$3 !~ "^\\./(usr/.*)?$" || $3 ~ "^\\./usr/local/" { print $3 }' <<< "$contents")
[[ -z $stray ]] || fault "outside /usr: $stray"

# Fail on errors, show the rest; --tag-display-limit 0 keeps every instance.
echo "lintian $(lintian --version | awk '{ print $2 }') on $deb:"
# lintian advises against root, and needs no more than to read the file.
lintian=(lintian)
path=$(realpath "$deb")
if [[ $(id -u) -eq 0 ]] && command -v runuser > /dev/null && runuser -u nobody -- test -r "$path"; then
  lintian=(runuser -u nobody -- lintian)
fi
if ! "${lintian[@]}" --fail-on error --display-info --tag-display-limit 0 "$path"; then
  fault "lintian reports errors"
fi

if ((faults > 0)); then
  echo "package check: $faults fault(s) in $deb" >&2
  exit 1
fi
echo "package check: $deb is sound"
