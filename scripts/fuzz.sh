#!/usr/bin/env bash
# Builds the libFuzzer targets in the sanitizer build (shared with scripts/test_sanitized.sh)
# and runs each for a bounded time on its corpus, one fuzzing process per core sharing the
# corpus (libFuzzer's -jobs), so that N seconds on two cores fuzz about as many inputs as 2N
# seconds on one. Inputs that fail are written to the current folder.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="${BUILD_DIR:-$root/build-asan}"
here="$(pwd)"
workers="$(nproc)"
"$root/scripts/configure_sanitized.sh" "$build"
cmake --build "$build" -j "$workers" --target fuzzers
for target in parameter_file; do
  corpus="$(mktemp -d)"
  logs="$(mktemp -d)"  # the processes' logs, fuzz-<n>.log
  cp "$root/fuzz/corpus/$target"/* "$corpus"/
  echo "fuzzing $target for ${seconds}s in $workers processes"
  status=0
  (cd "$logs" && "$build/fuzz/${target}_fuzzer" "$corpus" -jobs="$workers" -workers="$workers" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$here/" >/dev/null 2>&1) || status=$?
  for log in "$logs"/fuzz-*.log; do tail -n 12 "$log"; done
  rm -rf "$corpus" "$logs"
  [ "$status" -eq 0 ] || exit "$status"
done
