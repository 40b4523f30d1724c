#!/usr/bin/env bash
# voxotrope-live, PipeWire's own loopback and the Windows program under Wine
# side by side in one PipeWire sandbox, on the same microphone: what comes
# back of a test signal (lost, played twice), the delay from the microphone
# to each path's output, and each one's CPU use, optionally beside busy
# processes (bench/live_vs_wine.py reads the recording).
#
#   bench/live_vs_wine.sh [PROGRAM.exe]
#
# One recorder (pw-record, four channels) takes the microphone and the three
# outputs in the same graph cycles: "Voxotrope microphone", a pw-loopback
# whose output is a source like it, and the speaker's monitor, where the
# Windows program plays (Start, no effect). The sandbox runs at SANDBOX_RATE
# (22050: bench/signal.py's counter, every sample checked, and each path's
# judged by bench/heard_check.py; 48000: noise, the delay only).
#
# LIVE_SECONDS (600) checked, after 4 s to settle; LIVE_BUSY (4) CPU-bound
# processes beside them; LIVE_WINE_PRIORITY none (default), nice (every
# thread of the Windows program and of wineserver at nice -11, as PipeWire's
# own) or fifo (SCHED_FIFO 10): what the Wine path gets, as root here or
# through RealtimeKit on a desktop; LIVE_OUT (build/live-vs-wine) for the
# recording and the figures; LIVE_PROGRAM the voxotrope-live to run
# (build/native/tools/live/voxotrope-live). Feeder and recorder run at
# SCHED_FIFO 10. Hold the measuring lock around it:
#   flock /tmp/voxotrope-measure.lock bench/live_vs_wine.sh
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath -m "${1:-$top/build/win64/voxotrope.exe}")  # Wine wants absolute paths
live=${LIVE_PROGRAM:-$top/build/native/tools/live/voxotrope-live}
seconds=${LIVE_SECONDS:-600}
busy=${LIVE_BUSY:-4}
priority=${LIVE_WINE_PRIORITY:-none}
out=${LIVE_OUT:-$top/build/live-vs-wine}
settle=4
[ -f "$exe" ] || { echo "live_vs_wine: no $exe (cmake --build build/win64 --target voxotrope)" >&2; exit 1; }
[ -x "$live" ] || { echo "live_vs_wine: no $live (cmake --build build/native --target voxotrope-live)" >&2; exit 1; }
python=python3
python3 -c 'import numpy' 2>/dev/null || python=/usr/bin/python3
mkdir -p "$out"
export WINEPREFIX=${VOXOTROPE_BENCH_WINEPREFIX:-$(dirname "$exe")/bench-wineprefix}
export SANDBOX_SERVER=pipewire SANDBOX_RATE=${SANDBOX_RATE:-22050}
. "$top/scripts/sandbox.sh"
. "$top/scripts/uidrive.sh"

root=$(mktemp -d /tmp/voxotrope-live-vs-wine.XXXXXX)
pids=()
recorder="" wineserver_pid=""
finish() {
  [ -n "$recorder" ] && { kill -INT "$recorder" 2>/dev/null; wait "$recorder" 2>/dev/null; recorder=""; }
  ui_alive && kill "$ui_pid" 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  pids=()
  sandbox_stop
}
trap 'finish; rm -rf "$root"' EXIT
trap 'exit 1' INT TERM

ticks() {  # ticks PID...: user + system time of the processes, in clock ticks
  local pid sum=0 t
  for pid in "$@"; do
    [ -n "$pid" ] || continue
    t=$(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null)
    sum=$((sum + ${t:-0}))
  done
  echo $sum
}

# prioritise PID...: every thread of the processes, as LIVE_WINE_PRIORITY says.
prioritise() {
  local pid task
  for pid in "$@"; do
    for task in /proc/"$pid"/task/*; do
      case $priority in
        nice) renice -n -11 -p "${task##*/}" >/dev/null ;;
        fifo) chrt -f -p 10 "${task##*/}" ;;
      esac
    done
  done
}

# first_port NODE DIRECTION: the node's first port of that direction (-o, -i)
first_port() { pw-link "$2" | grep -m 1 "^$1:"; }

sandbox_start "$root/sandbox" >/dev/null || exit 1
echo "=== $seconds s, PipeWire at $SANDBOX_RATE Hz, $busy busy process(es), Wine's threads: $priority"
signal=ramp
[ "$SANDBOX_RATE" = 22050 ] || signal=noise
$python "$top/bench/signal.py" $signal | chrt -f 10 pacat -d mic --raw --rate=22050 --channels=1 --format=s16le &
pids+=($!)
chrt -f 10 cat "$SANDBOX_FIFO" >/dev/null &
pids+=($!)
"$live" </dev/null >"$out/live.log" 2>&1 &
live_pid=$!
pids+=($live_pid)
pw-loopback -n voxotrope-bench-loopback -c 1 -m '[ MONO ]' \
  --playback-props='media.class=Audio/Source node.name=loopback_mic node.description="Loopback microphone"' \
  >"$out/loopback.log" 2>&1 &
loopback_pid=$!
pids+=($loopback_pid)
ui_launch "$out/wine.log" "" "${WINELOADER:-wine}" "$exe" || exit 1
ui_transport  # Start
ui_park
program=$(ui_process)
# The wineserver of our prefix (Debian runs it as wineserver64).
for pid in $(pgrep -x 'wineserver(64)?'); do
  tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && wineserver_pid=$pid
done
[ "$priority" = none ] || prioritise "$program" "$wineserver_pid"

chrt -f 10 pw-record --target 0 --rate "$SANDBOX_RATE" --channels 4 --channel-map AUX0,AUX1,AUX2,AUX3 \
  --format s16 "$out/recording.wav" &
recorder=$!
for _ in $(seq 50); do first_port pw-record -i >/dev/null && break; sleep 0.1; done
sleep 0.5
# The links by hand, each output on its channel; checked again a moment
# later, for a link made while the recorder still set itself up can go.
linked() { pw-link -l | grep -A 4 -F "pw-record:input_AUX$2" | grep -qF "|<- $1"; }
for attempt in 1 2 3; do
  n=0
  for node in mic voxotrope_live loopback_mic speaker; do
    port=$(first_port $node -o | grep -m 1 monitor || first_port $node -o)
    linked "$port" $n || pw-link "$port" "pw-record:input_AUX$n" 2>/dev/null ||
      { [ $attempt = 3 ] && echo "live_vs_wine: cannot link $node" >&2; }
    n=$((n + 1))
  done
  sleep 1
done
for (( i = 0; i < busy; i++ )); do
  bash -c 'while :; do :; done' &
  pids+=($!)
done
sleep $settle
begin=$(date +%s.%N)
cpu_live=$(ticks $live_pid) cpu_loop=$(ticks $loopback_pid) cpu_wine=$(ticks "$program") cpu_server=$(ticks "$wineserver_pid")
sleep "$seconds"
end=$(date +%s.%N)
share() { awk -v a="$1" -v b="$2" -v hz="$(getconf CLK_TCK)" -v s="$(awk -v a="$begin" -v b="$end" 'BEGIN { print b - a }')" \
  'BEGIN { printf "%.1f", 100 * (b - a) / hz / s }'; }
cpu="CPU (% of one core): voxotrope-live $(share "$cpu_live" "$(ticks $live_pid)"), pw-loopback $(share "$cpu_loop" "$(ticks $loopback_pid)"), Windows program $(share "$cpu_wine" "$(ticks "$program")") + wineserver $(share "$cpu_server" "$(ticks "$wineserver_pid")")"
ui_alive || echo "live_vs_wine: the Windows program died"
kill -0 $live_pid 2>/dev/null || echo "live_vs_wine: voxotrope-live died"
kill -INT "$recorder"; wait "$recorder" 2>/dev/null; recorder=""
{
  # pw-record writes WAVE_FORMAT_EXTENSIBLE, which Python's wave does not read.
  sox "$out/recording.wav" -t wavpcm "$root/recording.wav"
  # From the settling on: the recording can be shorter than the time taken
  # when the graph's driver falls behind.
  $python "$top/bench/live_vs_wine.py" "$root/recording.wav" $((settle + 1))
  # Each path's counter as a listener hears it, by the referee.
  if [ "$SANDBOX_RATE" = 22050 ]; then
    channel=2
    for path in voxotrope-live pw-loopback "Windows program"; do
      sox "$root/recording.wav" -t raw -e signed -b 16 "$root/channel.raw" remix $channel trim $((settle + 1))
      echo "heard, $path: $(python3 "$top/bench/heard_check.py" "$root/channel.raw" $((seconds - 2)))"
      channel=$((channel + 1))
    done
  fi
  echo "$cpu"
} | tee "$out/summary.txt"
finish
