#!/usr/bin/env bash
# Cross-compiles both Windows builds with mingw-w64 (warnings as errors) and
# packs them into dist/: tarvane-updater-windows-x86.zip and -x64.zip, each
# holding tarvane-updater.exe (the window) and tarvane-update.exe (the
# terminal tool), and the installers tarvane-updater-VERSION-x86.msi and
# -x64.msi. --msi packs only the installers, --no-zip nothing.
#   scripts/windows/build.sh [--msi | --no-zip]
set -euo pipefail
cd "$(dirname "$0")/../.."

scripts/deps/install-windows-deps.sh

# -O2 as the native build; the programs are stripped as they are packed.
BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
JOBS=${JOBS:-2}

build() { # build-dir toolchain cmake-options...
  cmake -S . -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/$2" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" \
    -DTARVANE_WARNINGS_AS_ERRORS=ON -DTARVANE_WITH_QT=OFF -DTARVANE_BUILD_BENCH=OFF "${@:3}" > /dev/null
  cmake --build "$1" -j "$JOBS" --target all tarvane_msi
}

# No 32-bit program runs here, so that build leaves its tests out; a release
# (WINDOWS_TESTS=OFF) leaves out those of the 64-bit one too.
build build-win32 toolchain-mingw-i686.cmake -DBUILD_TESTING=OFF
build build-win64 toolchain-mingw-x86_64.cmake -DBUILD_TESTING="${WINDOWS_TESTS:-ON}" ${TARVANE_NATIVE_SIM:+-DTARVANE_NATIVE_SIM="$TARVANE_NATIVE_SIM"}

[[ ${1:-} == --no-zip ]] && exit 0
mkdir -p dist
for triple in x86:build-win32 x64:build-win64; do
  IFS=: read -r arch dir <<< "$triple"
  # The build stripped the programs for its installer; the zip takes the same.
  packed=$dir/packaging/windows
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
  cp "$packed/tarvane-updater-$version-$arch.msi" dist/
  echo "dist/tarvane-updater-$version-$arch.msi"
  [[ ${1:-} == --msi ]] && continue
  zipfile="dist/tarvane-updater-windows-$arch.zip"
  rm -f "$zipfile"
  # Entries in a fixed order, without owners or extra times, dated
  # SOURCE_DATE_EPOCH where it is set: the same programs give the same zip.
  work=$(mktemp -d)
  cp "$packed/programs/tarvane-updater.exe" "$packed/programs/tarvane-update.exe" "$work/"
  chmod 755 "$work"/*.exe
  [[ -n ${SOURCE_DATE_EPOCH:-} ]] && touch -d "@$SOURCE_DATE_EPOCH" "$work"/*.exe
  TZ=UTC zip -q -X -j "$zipfile" "$work/tarvane-updater.exe" "$work/tarvane-update.exe"
  rm -rf "$work"
  echo "$zipfile"
done
