#!/usr/bin/env bash
# Times voxotrope-render against sox on the same one-hour file (22050 Hz mono
# 16-bit, from bench/make-inputs.sh): the Volume effect at gain 20 (2.5 times)
# against "sox vol 2.5", and Reverse against "sox reverse". Each command runs
# RUNS times (default 5); the median wall-clock time is printed. The input
# stays in the page cache after the first run, so this compares the programs'
# own work, not the disk. sox's warnings (clipping, dither) are not shown.
# Usage: bench/render-vs-sox.sh [RENDERER] [INPUT-FOLDER]
#   RENDERER      default build/native/tools/render/voxotrope-render
#   INPUT-FOLDER  default build/bench-inputs (made if hour.wav is missing)
set -euo pipefail
cd "$(dirname "$0")/.."
render=${1:-build/native/tools/render/voxotrope-render}
inputs=${2:-build/bench-inputs}
runs=${RUNS:-5}
[ -f "$inputs/hour.wav" ] || bench/make-inputs.sh "$inputs"
in=$inputs/hour.wav
out=$(mktemp -d "$inputs/render-vs-sox.XXXXXX")
trap 'rm -rf "$out"' EXIT

median() {  # median of the numbers on stdin
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

timed() {  # timed NAME COMMAND...: runs it $runs times, prints the median in seconds
  local name=$1
  shift
  local times=()
  for ((i = 0; i < runs; i++)); do
    rm -f "$out/out.wav"
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>"$out/stderr" || { cat "$out/stderr" >&2; exit 1; }
    end=$(date +%s%N)
    times+=("$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')")
  done
  printf '%-36s median %6.3f s   (runs: %s)\n' "$name" "$(printf '%s\n' "${times[@]}" | median)" "${times[*]}"
}

echo "input: $in ($(soxi -D "$in") s), $runs runs each"
timed "voxotrope-render --fx volume --volume 20" "$render" --fx volume --volume 20 "$in" "$out/out.wav"
timed "sox vol 2.5" sox "$in" "$out/out.wav" vol 2.5
timed "voxotrope-render --fx reverse" "$render" --fx reverse "$in" "$out/out.wav"
timed "sox reverse" sox "$in" "$out/out.wav" reverse
