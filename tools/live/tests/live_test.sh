#!/usr/bin/env bash
# voxotrope-live on a private PipeWire server at 22050 Hz, where nothing
# resamples: speech fed into the microphone comes out of "Voxotrope
# microphone" block for block as voxotrope-render makes it, for two
# settings; SIGINT ends it with 0 and takes its source away; without a
# server it says so and fails.
# Usage: live_test.sh VOXOTROPE-LIVE VOXOTROPE-RENDER SPEECH.raw
set -uo pipefail
live=$1 render=$2 speech=$3
top=$(cd "$(dirname "$0")/../../.." && pwd)
for tool in pipewire pipewire-pulse wireplumber dbus-daemon pactl pw-play pw-record sox; do
  command -v "$tool" >/dev/null || { echo "no $tool: skipped"; exit 77; }
done
[ -f "$speech" ] || { echo "no speech samples: skipped"; exit 77; }
work=$(mktemp -d /tmp/voxotrope-live-test.XXXXXX)
# Voices and saved settings of the test's own, never the user's.
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
. "$top/scripts/sandbox.sh"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; sandbox_sound_stop; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
failures=0
check() {  # check TEXT COMMAND...
  local text=$1
  shift
  if "$@"; then echo "ok: $text"; else echo "FAIL: $text"; failures=$((failures + 1)); fi
}
# The recorder at real-time priority where that is allowed, so that a busy
# machine does not drop what it should compare.
rt=()
chrt -f 10 true 2>/dev/null && rt=(chrt -f 10)

mkdir -p "$work/none"
XDG_RUNTIME_DIR=$work/none "$live" 2>"$work/none.err" </dev/null
status=$?
check "no server: exit 1 and one line" \
  test $status -eq 1 -a "$(wc -l <"$work/none.err")" -eq 1 -a -n "$(grep 'no sound server' "$work/none.err")"

SANDBOX_SERVER=pipewire SANDBOX_RATE=22050 sandbox_sound_start "$work/sandbox" || { echo "FAIL: no sandbox"; exit 1; }
# Four seconds of speech between half a second of silence before and after:
# the player may drop a little at either end, and that must not be speech.
{ head -c 22050 /dev/zero; head -c $((22050 * 2 * 4)) "$speech"; head -c 22050 /dev/zero; } >"$work/speech.raw"
sox -t raw -r 22050 -c 1 -b 16 -e signed-integer -L "$work/speech.raw" "$work/speech.wav"
# The AM carrier turns once in 400 samples (the last of its 401 is never
# read), ten times a block: the program's blocks start in the same phase as
# the renderer's, however many blocks of silence it ran before the speech.
python3 -c 'import math, sys, wave
w = wave.open(sys.argv[1], "wb"); w.setnchannels(1); w.setsampwidth(2); w.setframerate(22050)
w.writeframes(b"".join(round(20000 * math.sin(math.pi * n / 50)).to_bytes(2, "little", signed=True) for n in range(401)))' \
  "$work/carrier.wav"

source_listed() { pactl list short sources | grep -q voxotrope_live; }
wait_for() {  # wait_for COMMAND...: up to 5 s
  local i
  for i in $(seq 50); do "$@" && return 0; sleep 0.1; done
  return 1
}

# One run of a setting: the program, a recorder on its source and one on the
# microphone, the speech played in; then the comparison (live_compare.py).
run_setting() {  # run_setting N OPTIONS...
  local n=$1 pid recorder fed status
  shift
  "$live" "$@" </dev/null >"$work/live$n.log" 2>&1 &
  pid=$!
  pids+=($pid)
  check "$*: the source appears" wait_for source_listed
  # PipeWire's own clients, whose data threads run at real-time priority.
  "${rt[@]}" pw-record --target voxotrope_live --rate 22050 --channels 1 --format s16 "$work/rec$n.wav" &
  recorder=$!
  "${rt[@]}" pw-record --target mic --rate 22050 --channels 1 --format s16 "$work/fed$n.wav" &
  fed=$!
  pids+=($recorder $fed)
  sleep 0.5
  "${rt[@]}" pw-play --target mic --rate 22050 --channels 1 --format s16 "$work/speech.wav"
  sleep 1  # the last block and the graph's periods
  kill $recorder $fed
  wait $recorder $fed 2>/dev/null
  sox "$work/rec$n.wav" -t raw "$work/rec$n.raw"
  sox "$work/fed$n.wav" -t raw "$work/fed$n.raw"
  python3 "$top/tools/live/tests/live_compare.py" "$render" "$work/speech.raw" "$work/fed$n.raw" "$work/rec$n.raw" \
    "$work" "$@" >"$work/compare$n.log"
  status=$?
  cat "$work/compare$n.log"
  kill -INT $pid
  wait $pid
  check "$*: SIGINT ends it with 0" test $? -eq 0
  check "$*: its source is gone" wait_for eval '! source_listed'
  return $status
}

n=0
for setting in "--fx pitch,volume,reverse --pitch 3 --volume 20" "--fx triangle,am,crazy,deeper --carrier $work/carrier.wav"; do
  n=$((n + 1))
  for attempt in 1 2 3; do
    # shellcheck disable=SC2086
    run_setting $n $setting
    status=$?
    [ $status -eq 3 ] || break
  done
  check "$setting: block for block as the renderer" test $status -eq 0
done
echo "$failures failure(s)"
[ $failures -eq 0 ]
