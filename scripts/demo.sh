#!/usr/bin/env bash
# Installs what is missing, builds, generates the synthetic sample rig (once per version of the
# generator's sources; it is cached in sample_rig/), runs the whole calibration on it and compares
# the result with the rig's truth.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
rig="$root/sample_rig"
"$root/scripts/build.sh" "$build"

# A rig made by other generator sources than these is made again.
generator="$(cd "$root/tools" && sha256sum -- *.h *.cc | sha256sum | cut -c1-12)"
if [ ! -f "$rig/truth.json" ] || [ "$(cat "$rig/generator" 2>/dev/null)" != "$generator" ]; then
  echo "Generating the sample rig (six 3200x2400 checkerboard videos and six 4000x3000 stills)..."
  partial="$rig.partial"
  rm -rf "$partial"
  "$build/tools/ringcalib-synth" --out "$partial" --seed 7
  echo "$generator" > "$partial/generator"
  rm -rf "$rig"
  mv "$partial" "$rig"
fi

status=0
"$build/app/ringcalib" --what all -v "$rig/video" -i "$rig/image" -f "$rig/params.json" || status=$?
if [ "$status" -ne 0 ]; then
  echo "ringcalib ended with status $status"
  exit "$status"
fi
echo
"$build/tools/ringcalib-compare" --truth "$rig/truth.json" --params "$rig/params.json"
