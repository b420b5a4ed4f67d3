#!/usr/bin/env bash
# Configures the clang build with AddressSanitizer and UndefinedBehaviorSanitizer (and the
# libFuzzer targets) that the sanitized test run and the fuzzing run share.
# Usage: scripts/configure_sanitized.sh <build dir>
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install_deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRINGCALIB_SANITIZE=ON -DRINGCALIB_BUILD_BENCH=OFF >/dev/null
