#!/usr/bin/env bash
# Every sound-server variant of scripts/sandbox.sh that the bench runs on:
# it comes up with its two devices in their format as the defaults, noise
# played at the program's 22050 Hz mono comes out of the speaker's pipe
# converted and whole (bench/soak_check.py), and stopping it leaves none of
# its processes. Variants whose server is not installed are skipped.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/voxotrope-sandbox-test.XXXXXX)
. "$top/scripts/sandbox.sh"
python=python3
python3 -c 'import numpy' 2>/dev/null || python=/usr/bin/python3
failures=0 ran=0
reader=""
trap '[ -n "$reader" ] && kill "$reader" 2>/dev/null; sandbox_sound_stop; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for server in pulseaudio pipewire; do
  need=(pulseaudio)
  [ "$server" = pipewire ] && need=(pipewire pipewire-pulse wireplumber dbus-daemon)
  for tool in "${need[@]}" pactl pacat; do
    command -v "$tool" >/dev/null || { echo "$server: no $tool, skipped"; continue 2; }
  done
  for rate in 22050 48000; do
    ran=$((ran + 1))
    dir=$work/$server-$rate
    SANDBOX_SERVER=$server SANDBOX_RATE=$rate sandbox_sound_start "$dir" || { fail "$server $rate: no start"; continue; }
    started=("${sandbox_sound_pids[@]}")
    [ "$(pactl get-default-sink)" = speaker ] && [ "$(pactl get-default-source)" = mic.monitor ] ||
      fail "$server $rate: defaults $(pactl get-default-sink) $(pactl get-default-source)"
    format=$(pactl list short sinks | awk '$2 == "speaker" { print $4, $5, $6 }')
    [ "$format" = "s16le ${SANDBOX_CHANNELS}ch ${rate}Hz" ] || fail "$server $rate: speaker is $format"
    cat "$SANDBOX_FIFO" >"$dir/played.raw" &
    reader=$!
    $python "$top/bench/signal.py" noise | head -c $((22050 * 2 * 3)) |
      pacat -d speaker --raw --rate=22050 --channels=1 --format=s16le
    sleep 0.5
    kill "$reader"; wait "$reader" 2>/dev/null; reader=""
    check=$($python "$top/bench/soak_check.py" noise "$dir/played.raw" "$rate" "$SANDBOX_CHANNELS")
    grep -q "^figures: seconds=[23]\..* wrong_pass=0 .*slips=0 unknown=0" <<<"$check" ||
      fail "$server $rate: $check"
    sandbox_sound_stop
    for pid in "${started[@]}"; do
      kill -0 "$pid" 2>/dev/null && fail "$server $rate: process $pid outlived the stop"
    done
    [ $failures -eq 0 ] && echo "ok: $server at $rate Hz"
  done
done
[ $ran -gt 0 ] || { echo "no sound server: skipped"; exit 77; }
echo "$failures failure(s)"
[ $failures -eq 0 ]
