#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on its corpus.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="$root/build-fuzz"
"$root/scripts/install_deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRINGCALIB_FUZZ=ON -DRINGCALIB_BUILD_TESTS=OFF -DRINGCALIB_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target parameter_file_fuzzer
for target in parameter_file; do
  corpus="$(mktemp -d)"
  cp "$root/fuzz/corpus/$target"/* "$corpus"/
  echo "fuzzing $target for ${seconds}s"
  "$build/fuzz/${target}_fuzzer" "$corpus" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=4096 -print_final_stats=1 2>&1 | tail -n 12
  rm -rf "$corpus"
done
