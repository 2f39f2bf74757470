#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS with the
# committed seeds: fuzz/run.sh SECONDS SCRATCH_DIR
# New inputs go to SCRATCH_DIR/<target> (the committed corpus is only read),
# a finding to SCRATCH_DIR/findings/. Stops with status 1 at the first finding.
set -euo pipefail
seconds=$1
scratch=$2
build=${FUZZ_BUILD:-build-fuzz}
cd "$(dirname "$0")/.."

targets=(hex frames board picture-fit)
echo "fuzz: building $build with clang, then ${seconds} s for each of ${targets[*]}"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARVANE_FUZZ=ON -DBUILD_TESTING=OFF -DTARVANE_BUILD_BENCH=OFF -DTARVANE_WITH_QT=OFF --log-level=WARNING > /dev/null
cmake --build "$build" -j "${JOBS:-2}" --target fuzzers

mkdir -p "$scratch/findings"
for target in "${targets[@]}"; do
  mkdir -p "$scratch/$target"
  log="$scratch/$target.log"
  # -timeout catches a hang; a leak, a sanitizer report or a broken invariant ends the run.
  if ! "$build/bin/tarvane-fuzz-$target" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
      -artifact_prefix="$scratch/findings/$target-" "$scratch/$target" "fuzz/corpus/$target" > "$log" 2>&1; then
    grep -v '^0x' "$log" | tail -n 40 >&2
    echo "fuzz: $target found a fault; the input is in $scratch/findings/, the log in $log" >&2
    echo "fuzz: 0 passed, 1 failed"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz: $target ran $runs inputs in ${seconds} s without a finding"
done
echo "fuzz: ${#targets[@]} passed, 0 failed"
