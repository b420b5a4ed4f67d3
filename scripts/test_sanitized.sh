#!/usr/bin/env bash
# Builds the project with clang, AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# every fast test and one run on the generated rig under them; any report fails the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build-asan}"
"$root/scripts/configure_sanitized.sh" "$build"
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp"
cd "$build"
ctest --output-on-failure -j "$(nproc)" -LE rig
ctest --output-on-failure -R '^rig_missing_video$'
