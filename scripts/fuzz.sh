#!/usr/bin/env bash
# Builds the libFuzzer targets in the sanitizer build (shared with scripts/test_sanitized.sh)
# and runs each for a bounded time on its corpus.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="${BUILD_DIR:-$root/build-asan}"
"$root/scripts/configure_sanitized.sh" "$build"
cmake --build "$build" -j "$(nproc)" --target parameter_file_fuzzer
for target in parameter_file; do
  corpus="$(mktemp -d)"
  cp "$root/fuzz/corpus/$target"/* "$corpus"/
  echo "fuzzing $target for ${seconds}s"
  "$build/fuzz/${target}_fuzzer" "$corpus" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=4096 -print_final_stats=1 2>&1 | tail -n 12
  rm -rf "$corpus"
done
