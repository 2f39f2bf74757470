#!/usr/bin/env bash
# `make release`: every artefact of this commit in dist/ (the .deb, the two
# Windows zips, the two installers) and SHA256SUMS over them. Dated by the
# commit (SOURCE_DATE_EPOCH), so a build of the same commit elsewhere gives
# the same bytes. With TARVANE_SIGN_P12 and TARVANE_SIGN_PASSWORD set, the
# Windows programs and installers are signed (scripts/release/sign.sh).
#   scripts/release/release.sh [OUT]      (default dist)
set -euo pipefail
cd "$(dirname "$0")/../.."

scripts/deps/install-release-deps.sh
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
umask 022

out=${1:-dist}
rm -rf "$out"
# The pieces pack into dist/ and say what they made; a release elsewhere
# takes those from there.
made=$(mktemp)
trap 'rm -f "$made"' EXIT
JOBS=${JOBS:-2} packaging/build-deb.sh | tee -a "$made"
# Staged again each time, so a certificate given now signs what is packed.
for dir in build-win32 build-win64; do
  rm -rf "$dir/packaging/windows/programs" "$dir"/packaging/windows/*.msi
done
JOBS=${JOBS:-2} WINDOWS_TESTS=OFF scripts/windows/build.sh | tee -a "$made"

mkdir -p "$out"
for file in $(grep -o 'dist/[^ ]*\.\(deb\|zip\|msi\)$' "$made"); do
  [[ $file -ef $out/$(basename "$file") ]] || mv "$file" "$out/"
done
(cd "$out" && sha256sum -- *.deb *.zip *.msi > SHA256SUMS)
echo "$out/SHA256SUMS"
