#!/usr/bin/env bash
# The extrinsic job as users run it, one fresh process per run, against the floor of its
# image-library calls measured the same way (bench/extrinsic_cold_floor.cc): the plain floor
# (the calls as the job makes them one after the other, with fresh buffers) and the lowered
# floor (maps and flow objects reused, two views undistorted and a pair's two flows computed
# at a time). Runs the three in turn, several times, and prints each one's median.
# Usage: bench/extrinsic_cold.sh [runs, default 5] [rig folder]
#   The rig folder needs image/origin_<n>.jpg and truth.json (ringcalib-synth makes both);
#   without one a default rig (4000 x 3000 stills) is generated in build/cold_rig.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
runs="${1:-5}"
rig="${2:-$build/cold_rig}"
synth="$(ls "$build"/tools/ringcalib[-_]synth 2>/dev/null | head -n 1)"
if [ ! -f "$rig/truth.json" ]; then
  "$synth" --out "$rig" --no-video >/dev/null
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/bench/extrinsic_cold_floor" --write-parameters "$rig/truth.json" "$work/truth_params.json"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for run in $(seq "$runs"); do
  cp "$work/truth_params.json" "$work/params.json"
  /usr/bin/time -f "%e %U %S %M" -o "$work/t" "$build/app/ringcalib" -w extrinsic \
    -i "$rig/image" -f "$work/params.json" >/dev/null
  read -r wall user sys rss <"$work/t"
  echo "$wall $user $sys $rss" >>"$work/job"
  for kind in plain lowered; do
    flag=""
    [ "$kind" = lowered ] && flag="--lowered"
    /usr/bin/time -f "%e %U %S %M" -o "$work/t" "$build/bench/extrinsic_cold_floor" \
      "$rig/image" "$work/truth_params.json" $flag >"$work/floor_out"
    read -r wall user sys rss <"$work/t"
    echo "$wall $user $sys $rss $(awk '{ print $2 }' "$work/floor_out")" >>"$work/$kind"
  done
done
column() { awk -v c="$2" '{ print $c }' "$work/$1" | median; }
job=$(column job 1)
printf 'job (whole process):     wall %s s  user %s s  sys %s s  peak RSS %s KiB\n' \
  "$job" "$(column job 2)" "$(column job 3)" "$(column job 4)"
for kind in plain lowered; do
  floor=$(column "$kind" 5)
  printf '%-7s floor (calls):   %s s   (its process: wall %s s  user %s s  sys %s s)   job / floor = %s\n' \
    "$kind" "$floor" "$(column "$kind" 1)" "$(column "$kind" 2)" "$(column "$kind" 3)" \
    "$(awk -v a="$job" -v b="$floor" 'BEGIN { printf "%.2f", a / b }')"
done
