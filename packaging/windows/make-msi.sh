#!/usr/bin/env bash
# Makes one installer with wixl, run by the tarvane_add_msi targets from the
# folder of the staged programs. wixl stamps the package with the clock and a
# random package code; here both are fixed, so one set of programs gives one
# installer byte for byte:
#  - the package code is derived from what goes in (programs, icon, sources,
#    codes, version), so a different package always gets a different one;
#  - with SOURCE_DATE_EPOCH set, the files are dated and the package made at
#    that time (faketime), and without it they keep their own dates.
# Signs the installer when a certificate is given (scripts/release/sign.sh).
#   make-msi.sh OUT WXS -D Name=Value...
set -euo pipefail
out=$1 wxs=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -p tarvane-updater.exe tarvane-update.exe tarvane.ico "$work/"

hash=$( { sha256sum tarvane-updater.exe tarvane-update.exe tarvane.ico "$wxs" | cut -d' ' -f1; printf '%s\n' "$@"; } \
        | sha256sum | cut -c1-32)
# A name-based UUID: version 5, RFC 4122 variant.
variant=$(printf '%x' $(( (0x${hash:16:1} & 0x3) | 0x8 )))
code=$(printf '%s-%s-5%s-%s%s-%s' "${hash:0:8}" "${hash:8:4}" "${hash:13:3}" "$variant" "${hash:17:3}" "${hash:20:12}" \
       | tr a-f A-F)

clock=()
if [[ -n ${SOURCE_DATE_EPOCH:-} ]]; then
  export TZ=UTC
  touch -d "@$SOURCE_DATE_EPOCH" "$work"/*
  # -f: the clock stands still there, however long the tools take.
  clock=(faketime -f "$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')")
fi

(cd "$work" && "${clock[@]}" wixl "$@" -o package.msi "$wxs")
# Summary information again, the same but for the package code.
info=$(msiinfo suminfo "$work/package.msi")
field() { sed -n "s/^$1: //p" <<< "$info"; }
"${clock[@]}" msibuild "$work/package.msi" -s "$(field Subject)" "$(field Author)" "$(field Template)" "{$code}"

"$here/../../scripts/release/sign.sh" "$work/package.msi"
mv "$work/package.msi" "$out"
