#!/usr/bin/env bash
# End-to-end latency and CPU use of the real program under Wine, in a sandbox
# of its own. Latency: short bursts go into the virtual microphone and are
# timed on the virtual speaker (bench/latency_probe.py); the same bursts
# played straight into the speaker give the sandbox's own share, which is
# taken off. CPU: the program's user + system time over a streaming
# interval, with no effect and with all seven.
#
#   bench/latency.sh [PROGRAM.exe]
#
# LATENCY_CLICKS (20) bursts, LATENCY_SECONDS (30) per CPU interval.
# Run on demand; not part of scripts/test.sh.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$top/build/win64/voxotrope.exe}
clicks=${LATENCY_CLICKS:-20}
seconds=${LATENCY_SECONDS:-30}
[ -f "$exe" ] || { echo "latency: no $exe (cmake --build build/win64 --target voxotrope)" >&2; exit 1; }
export WINEPREFIX=${VOXOTROPE_BENCH_WINEPREFIX:-$(dirname "$exe")/bench-wineprefix}
. "$top/scripts/sandbox.sh"
. "$top/scripts/uidrive.sh"

root=$(mktemp -d /tmp/voxotrope-latency.XXXXXX)
drain=""
finish() {
  ui_alive && kill "$ui_pid" 2>/dev/null
  [ -n "$drain" ] && kill "$drain" 2>/dev/null
  sandbox_stop
}
trap 'finish; rm -rf "$root"' EXIT
trap 'exit 1' INT TERM
sandbox_start "$root" >/dev/null || exit 1

# The speaker's pipe must be read at all times, or the sound server stalls;
# the probe reads it itself while it runs.
drain_on() { cat "$SANDBOX_FIFO" >/dev/null & drain=$!; }
drain_off() { [ -n "$drain" ] && kill "$drain" 2>/dev/null; wait "$drain" 2>/dev/null; drain=""; }
summary() {  # min, median and max of the numbers on stdin, and the lost ones
  sort -n | awk '/lost/ { lost++; next } { v[n++] = $1 }
    END { if (n) printf "min %d, median %d, max %d ms (%d bursts, %d lost)\n", v[0], v[int(n / 2)], v[n - 1], n, lost
          else print "all lost" }'
}
ticks() { awk '{ print $14 + $15 }' "/proc/$ui_pid/stat"; }
cpu() {  # cpu SECONDS: the program's share of one core while streaming
  local a b
  a=$(ticks)
  sleep "$1"
  b=$(ticks)
  awk -v t=$((b - a)) -v hz="$(getconf CLK_TCK)" -v s="$1" 'BEGIN { printf "%.1f %% of one core\n", 100 * t / hz / s }'
}

baseline=$(python3 "$top/bench/latency_probe.py" "$SANDBOX_FIFO" speaker "$clicks" 0.7 | tee "$root/baseline.txt" | summary)
echo "sandbox alone (paplay into the speaker): $baseline"

drain_on
ui_start "$exe" "$root/program.log" || exit 1
ui_transport  # Start
ui_park
sleep 2
drain_off
python3 "$top/bench/latency_probe.py" "$SANDBOX_FIFO" mic "$clicks" 0.7 >"$root/program.txt"
echo "microphone to speaker through the program: $(summary <"$root/program.txt")"
base=$(sort -n "$root/baseline.txt" | grep -v lost | awk '{ v[n++] = $1 } END { print v[int(n / 2)] }')
echo "the program's share (median less the sandbox's): $(( $(grep -v lost "$root/program.txt" | sort -n | awk '{ v[n++] = $1 } END { print v[int(n / 2)] }') - base )) ms; by design 272 ms (4000 + 1999 samples)"

drain_on
echo "CPU, streaming with no effect: $(cpu "$seconds")"
for effect in "${ui_effects[@]}"; do ui_open "$effect" || exit 1; done
ui_park
echo "CPU, streaming with all seven effects: $(cpu "$seconds")"
ui_close_all
ui_quit
