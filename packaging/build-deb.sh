#!/usr/bin/env bash
# `make package`: a Release build in build-package/, the .deb made by cpack,
# copied to dist/ and checked there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-package
jobs=${JOBS:-2}

scripts/deps/install-deps.sh
scripts/deps/install-package-deps.sh

# Debian's hardening flags (fortified calls, stack protector, read-only
# relocations bound at load): lintian looks for them in the binaries.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF -DTARVANE_BUILD_BENCH=OFF -DTARVANE_FUZZ=OFF \
  -DTARVANE_WITH_QT=ON -DTARVANE_MANPAGES=ON -DCMAKE_STRIP="$PWD/packaging/strip.sh" \
  "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" > /dev/null
cmake --build "$build" -j "$jobs"

rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB > cpack.log) || { cat "$build/cpack.log"; exit 1; }
debs=("$build"/*.deb)
mkdir -p dist
cp "${debs[0]}" dist/
deb=dist/$(basename "${debs[0]}")
echo "built $deb"
packaging/check-deb.sh "$deb"
