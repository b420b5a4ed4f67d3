#!/usr/bin/env bash
# Configures a build folder with the given cmake arguments. A new folder gets Ninja: it
# compiles any module's sources as soon as it can, where Make builds the libraries one after
# the other and leaves a core idle while a module of one batch compiles (a tenth of a clean
# build on two cores). A folder configured before keeps its generator.
# Usage: scripts/configure.sh <build dir> [cmake args...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"
shift
generator=()
if [ ! -f "$build/CMakeCache.txt" ]; then
  generator=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${generator[@]}" "$@" >/dev/null
