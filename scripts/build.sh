#!/usr/bin/env bash
# Installs what is missing and builds the project (Release) into build/.
# Usage: scripts/build.sh [build-dir] [extra cmake args...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
shift || true
"$root/scripts/install_deps.sh"
"$root/scripts/configure.sh" "$build" -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build" -j "$(nproc)"
