#!/usr/bin/env bash
# Runs the "all" job five times in a row on one generated rig and checks that every run writes
# the same parameter-file bytes and that the peak memory does not grow (last run within 5 % of
# the first). Slow (several minutes), so it is not part of the regular test run.
# Usage: scripts/repeat_check.sh [rig folder]   (default: a small rig generated in build/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/build.sh" "$build"
rig="${1:-$build/repeat_rig}"
if [ ! -f "$rig/truth.json" ]; then
  "$build/tools/ringcalib-synth" --out "$rig" --seed 11 --frames 120
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
first_rss=""
first_sum=""
for run in 1 2 3 4 5; do
  /usr/bin/time -f "%M" -o "$work/rss" "$build/app/ringcalib" --what all -v "$rig/video" \
    -i "$rig/image" -f "$work/params.json" >"$work/out.$run"
  rss="$(cat "$work/rss")"
  sum="$(sha256sum <"$work/params.json" | cut -d' ' -f1)"
  echo "run $run: peak RSS ${rss} KiB, parameter file sha256 ${sum}"
  if [ -z "$first_rss" ]; then
    first_rss="$rss"
    first_sum="$sum"
  elif [ "$sum" != "$first_sum" ]; then
    echo "FAIL: run $run wrote other bytes than run 1"
    exit 1
  fi
done
if [ $((rss * 100)) -gt $((first_rss * 105)) ]; then
  echo "FAIL: peak memory grew from ${first_rss} KiB to ${rss} KiB"
  exit 1
fi
echo "OK: five identical parameter files; peak memory ${first_rss} KiB -> ${rss} KiB"
