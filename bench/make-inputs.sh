#!/usr/bin/env bash
# Makes the benchmark inputs, none of which is kept in the repository:
#   speech.wav  about half a minute of synthetic speech (espeak-ng), converted
#               with sox to mono 22050 Hz 16-bit
#   speech.raw  the same samples, raw little-endian, for voxotrope-bench
#   hour.wav    that speech repeated to exactly one hour, for render-vs-sox.sh
# Usage: bench/make-inputs.sh [FOLDER]   (default: build/bench-inputs)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/bench-inputs}
mkdir -p "$out"

text="Good evening. This is the voice box speaking, slowly and then quickly. \
It takes what you say, cuts it into small blocks, and sends each block through \
up to seven effects: pitch, volume, triangle, amplitude modulation, reverse, \
crazy and deeper. Pitch makes the voice higher, deeper makes it lower, and \
reverse plays every little piece backwards. Numbers now: one, two, three, \
four, five, six, seven, eight, nine, ten. Some long vowels: aaah, oooh, eeee. \
Some hissing sounds: sss, shhh, fff. And some short words with stops in \
between: pat, cat, top, kit, bag, dog. Thank you for listening."

espeak-ng -s 150 -w "$out/espeak.wav" "$text"
sox "$out/espeak.wav" -r 22050 -c 1 -b 16 -e signed-integer "$out/speech.wav"
sox "$out/speech.wav" -t raw -L "$out/speech.raw"
rm "$out/espeak.wav"

# One hour = 79380000 samples; repeat enough times, then cut.
seconds=$(soxi -D "$out/speech.wav")
repeats=$(awk -v s="$seconds" 'BEGIN { print int(3600 / s) + 1 }')
sox "$out/speech.wav" "$out/hour.wav" repeat "$repeats" trim 0 79380000s

soxi "$out/speech.wav" | grep -E 'Duration'
soxi "$out/hour.wav" | grep -E 'Duration'
