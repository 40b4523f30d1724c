#!/usr/bin/env bash
# voxotrope-live on a private PipeWire server at 22050 Hz, where nothing
# resamples: speech fed into the microphone comes out of "Voxotrope
# microphone" block for block as voxotrope-render makes it, for two
# settings; SIGINT ends it with 0 and takes its source away; without a
# server it says so and fails; a ramp recorded twice, with a pause between,
# is heard whole each time (the referee, bench/heard_check.py); on a
# terminal, and with a closed reader of its
# answers. Then at 48000 Hz, as desktops run: the graph as pw-dump shows it
# (no media role, no active link from the microphone while nobody records,
# the latency passed on), the delay a recorder measures, another source.
# Usage: live_test.sh VOXOTROPE-LIVE VOXOTROPE-RENDER SPEECH.raw
set -uo pipefail
live=$1 render=$2 speech=$3
top=$(cd "$(dirname "$0")/../../.." && pwd)
. "$top/tools/live/tests/live_common.sh" live-test

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

# Without options it starts with the settings last in force: the runs below
# want none, and the terminal's keys change them.
rm -f "$XDG_STATE_HOME/voxotrope/live.state"
check "on a terminal" python3 "$top/tools/live/tests/live_terminal.py" "$live"
rm -f "$XDG_STATE_HOME/voxotrope/live.state"
{ sleep 1; echo status; echo status; echo quit; } | "$live" 2>/dev/null | true
statuses=("${PIPESTATUS[@]}")
check "a closed reader of its answers: quit still ends it with 0" test "${statuses[1]}" -eq 0

graph() {  # graph EXPECTED: the graph's facts as pw-dump shows them
  local i facts
  for i in $(seq 30); do
    pw-dump >"$work/dump.json"
    facts=$(python3 "$top/tools/live/tests/live_graph.py" "$work/dump.json" 2>&1)
    [ "$facts" = "$1" ] && break
    sleep 0.2
  done
  echo "$facts"
  [ "$facts" = "$1" ]
}

# A ramp played and recorded twice: between the two nothing records the
# source and nothing plays into the microphone, so the capture stops; the
# second recording must not bring back what the chain held from before.
# It ends while the capture runs.
heard_check=$top/bench/heard_check.py
python3 -c 'import sys, wave
w = wave.open(sys.argv[1], "wb"); w.setnchannels(1); w.setsampwidth(2); w.setframerate(22050)
w.writeframes(b"".join((n & 0xFFFF).to_bytes(2, "little") for n in range(22050 * 5)))' "$work/ramp.wav"
"$live" </dev/null >"$work/ramp-live.log" 2>&1 &
pid=$!
pids+=($pid)
wait_for source_listed
for take in 1 2; do
  [ $take -eq 1 ] || check "nothing records: the capture is paused" graph "role=NONE links=mic:paused upstream=0 source=181405896/181405896"
  "${rt[@]}" pw-play --target mic --rate 22050 --channels 1 --format s16 "$work/ramp.wav" &
  player=$!
  "${rt[@]}" pw-record --target voxotrope_live --rate 22050 --channels 1 --format s16 "$work/take$take.wav" &
  recorder=$!
  pids+=($player $recorder)
  sleep 3.5
  if [ $take -eq 2 ]; then
    kill $pid
    wait $pid
    check "SIGTERM while it records ends it with 0" test $? -eq 0
  fi
  kill $recorder $player
  wait $recorder $player 2>/dev/null
  sox "$work/take$take.wav" -t raw "$work/take$take.raw"
  check "recording $take of the ramp: $(python3 "$heard_check" "$work/take$take.raw" 2.5)" \
    python3 "$heard_check" "$work/take$take.raw" 2.5
done

# At 48000 Hz, beside a source with a latency of its own: PipeWire's tunnel
# to the microphone, which reports 50 ms.
sandbox_sound_stop
SANDBOX_SERVER=pipewire SANDBOX_RATE=48000 sandbox_sound_start "$work/sandbox48" || { echo "FAIL: no sandbox"; exit 1; }
cat >"$work/tunnel.conf" <<EOF
context.spa-libs = { audio.convert.* = audioconvert/libspa-audioconvert support.* = support/libspa-support }
context.modules = [
  { name = libpipewire-module-protocol-native } { name = libpipewire-module-client-node }
  { name = libpipewire-module-adapter }
  { name = libpipewire-module-pulse-tunnel args = { tunnel.mode = source pulse.server.address = "$PULSE_SERVER"
      pulse.latency = 50 target.object = "mic.monitor" audio.rate = 48000 audio.channels = 1 audio.position = [ MONO ]
      stream.props = { node.name = tunnel_mic } } }
]
EOF
pipewire -c "$work/tunnel.conf" >"$work/tunnel.log" 2>&1 &
pids+=($!)
check "the tunnel is a source" wait_for eval 'pactl list short sources | grep -q tunnel_mic'
"$live" --source nosuch </dev/null 2>"$work/nosuch.err"
status=$?
check "--source of no source: exit 1 and why ($(cat "$work/nosuch.err"))" \
  test $status -eq 1 -a -n "$(grep "'nosuch'.*tunnel_mic" "$work/nosuch.err")"

mkfifo "$work/commands"
"$live" <"$work/commands" >"$work/live48.log" 2>&1 &
pid=$!
pids+=($pid)
exec 3>"$work/commands"
check "the source appears" wait_for source_listed
block=181405896  # 4000 samples at 22050 Hz, in ns
check "nobody records: no media role, the link from the microphone not active, one block of latency" \
  graph "role=NONE links=mic:paused upstream=0 source=$block/$block"
# One recorder of two channels: the microphone and the source, side by side.
pw-record --target 0 -P '{ node.name = vx_probe }' --rate 48000 --channels 2 --format s16 "$work/probe.wav" &
probe=$!
pids+=($probe)
wait_for pw-link mic:monitor_FL vx_probe:input_FL >/dev/null 2>&1
pw-link voxotrope_live:capture_MONO vx_probe:input_FR
check "a recorder starts: the link is active" graph "role=NONE links=mic:active upstream=0 source=$block/$block"
sox -n -r 48000 -c 2 -b 16 "$work/click.wav" synth 0.02 sine 1000 vol 0.8 pad 0.5 0.5
pw-play --target mic "$work/click.wav"
sleep 0.5
kill $probe
wait $probe 2>/dev/null
sox "$work/probe.wav" -t raw "$work/probe.raw"
delay=$(python3 "$top/tools/live/tests/live_graph.py" delay "$work/probe.raw")
# The published latency is 8707.5 samples at 48000 Hz; PipeWire's two
# resamplers add a little, which it does not report (nor for its loopback).
# A quantum (1024) more would be a cycle held back.
check "the click comes through $delay samples later, the latency within half a quantum" \
  test "$delay" != none -a "${delay#-}" -ge 8707 -a "${delay#-}" -le 9219
echo "source tunnel_mic" >&3
check "'source tunnel_mic': the capture moves, the latency is the tunnel's and a block" \
  graph "role=NONE links=tunnel_mic:paused upstream=50000000 source=$((block + 50000000))/$((block + 50000000))"
echo quit >&3
wait $pid
check "quit ends it with 0" test $? -eq 0
exec 3>&-
echo "$failures failure(s)"
[ $failures -eq 0 ]
