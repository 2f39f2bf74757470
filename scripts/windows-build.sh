#!/usr/bin/env bash
# Cross-compiles both Windows builds with mingw-w64 (warnings as errors) and
# packs dist/tarvane-updater-windows-x86.zip and -x64.zip, each holding
# tarvane-updater.exe (the window) and tarvane-update.exe (the terminal tool).
#   scripts/windows-build.sh [--no-zip]
set -euo pipefail
cd "$(dirname "$0")/.."

"scripts/install-windows-deps.sh"

# -O2 as the native build; the programs are stripped as they are packed.
BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
JOBS=${JOBS:-2}

build() { # build-dir toolchain cmake-options...
  cmake -S . -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/$2" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" \
    -DTARVANE_WARNINGS_AS_ERRORS=ON -DTARVANE_WITH_QT=OFF -DTARVANE_BUILD_BENCH=OFF "${@:3}" > /dev/null
  cmake --build "$1" -j "$JOBS"
}

# No 32-bit program runs here, so that build leaves its tests out.
build build-win32 toolchain-mingw-i686.cmake -DBUILD_TESTING=OFF
build build-win64 toolchain-mingw-x86_64.cmake ${TARVANE_NATIVE_SIM:+-DTARVANE_NATIVE_SIM="$TARVANE_NATIVE_SIM"}

[[ ${1:-} == --no-zip ]] && exit 0
mkdir -p dist
for triple in x86:build-win32:i686 x64:build-win64:x86_64; do
  IFS=: read -r arch dir cpu <<< "$triple"
  stage="$dir/dist"
  rm -rf "$stage" && mkdir -p "$stage"
  for exe in tarvane-updater.exe tarvane-update.exe; do
    "$cpu-w64-mingw32-strip" -o "$stage/$exe" "$dir/bin/$exe"
  done
  zipfile="dist/tarvane-updater-windows-$arch.zip"
  rm -f "$zipfile"
  zip -q -j "$zipfile" "$stage/tarvane-updater.exe" "$stage/tarvane-update.exe"
  echo "$zipfile"
done
