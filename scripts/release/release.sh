#!/usr/bin/env bash
# `make release`: every artefact of this commit in dist/ (the .deb, the two
# Windows zips, the two installers) and SHA256SUMS over them. Dated by the
# commit (SOURCE_DATE_EPOCH), so a build of the same commit elsewhere gives
# the same bytes. With TARVANE_SIGN_P12 and TARVANE_SIGN_PASSWORD set, the
# Windows programs and installers are signed (scripts/release/sign.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."

scripts/deps/install-release-deps.sh
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
umask 022

rm -rf dist
JOBS=${JOBS:-2} packaging/build-deb.sh
# Staged again each time, so a certificate given now signs what is packed.
for dir in build-win32 build-win64; do
  rm -rf "$dir/packaging/windows/programs" "$dir"/packaging/windows/*.msi
done
JOBS=${JOBS:-2} WINDOWS_TESTS=OFF scripts/windows/build.sh

(cd dist && sha256sum -- *.deb *.zip *.msi > SHA256SUMS)
echo "dist/SHA256SUMS"
