#!/usr/bin/env bash
# A long streaming run of the real program under Wine, in a sandbox of its
# own: a test signal (bench/signal.py) goes into the virtual microphone,
# what the program plays is kept and checked (bench/soak_check.py), and the
# program's memory, file descriptors and threads are sampled every few
# seconds. Once with no effect and a counter (every sample must come back in
# order), once with all seven and two tones (whole blocks, no stale replays,
# no silent block).
#
#   bench/soak.sh [passthrough|effects|both] [PROGRAM.exe]
#
# SOAK_SECONDS (default 600) is the length of each run, SOAK_INTERVAL (5)
# the sampling period, SOAK_OUT the folder for the figures (build/soak),
# SOAK_EFFECTS the panels of the effects run (all seven; keep deeper, the
# check relies on it).
# Run on demand; not part of scripts/test.sh.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
chains=${1:-both}
exe=${2:-$top/build/win64/voxotrope.exe}
seconds=${SOAK_SECONDS:-600}
interval=${SOAK_INTERVAL:-5}
out=${SOAK_OUT:-$top/build/soak}
settle=4  # seconds after Start before the check begins: the clicks re-anchor playback
[ -f "$exe" ] || { echo "soak: no $exe (cmake --build build/win64 --target voxotrope)" >&2; exit 1; }
mkdir -p "$out"
# A prefix of the bench scripts' own: a prefix has one wineserver, which must
# not be shared with a sandbox on another display.
export WINEPREFIX=${VOXOTROPE_BENCH_WINEPREFIX:-$(dirname "$exe")/bench-wineprefix}
. "$top/scripts/sandbox.sh"
. "$top/scripts/uidrive.sh"

root=$(mktemp -d /tmp/voxotrope-soak.XXXXXX)
pids=()
finish() {
  ui_alive && kill "$ui_pid" 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  pids=()
  sandbox_stop
}
trap 'finish; rm -rf "$root"' EXIT
trap 'exit 1' INT TERM

# figures FILE: first, last and largest value of column 2 and 3, and the
# change from the first to the last minute.
figures() {
  awk -v n="$((60 / interval))" 'NR > 1 {
      t[NR] = $1; rss[NR] = $2; fd[NR] = $3; th[NR] = $4; last = NR
      if ($2 > maxrss) maxrss = $2; if ($3 > maxfd) maxfd = $3; if ($4 > maxth) maxth = $4 }
    END {
      if (last < 2) { print "  no samples"; exit }
      k = (last - 1 < n) ? last - 1 : n
      for (i = 2; i < 2 + k; i++) { a += rss[i] } ; for (i = last - k + 1; i <= last; i++) { b += rss[i] }
      printf "  VmRSS kB: first %d, last %d, max %d; mean of the first minute %d, of the last %d (%+d)\n",
        rss[2], rss[last], maxrss, a / k, b / k, b / k - a / k
      printf "  open fds: first %d, last %d, max %d;  threads: first %d, last %d, max %d\n",
        fd[2], fd[last], maxfd, th[2], th[last], maxth
    }' "$1"
}

run() {  # run passthrough|effects
  local chain=$1 log=$out/$1 speaker
  echo "=== $chain: $seconds s"
  sandbox_start "$root/$chain" >/dev/null || return 1
  speaker=$root/$chain/speaker.raw
  local signal=ramp
  [ "$chain" = effects ] && signal=tones
  python3 "$top/bench/signal.py" $signal | pacat -d mic --raw --rate=22050 --channels=1 --format=s16le &
  pids+=($!)
  cat "$SANDBOX_FIFO" >"$speaker" &
  pids+=($!)
  ui_start "$exe" "$log.program.log" || { finish; return 1; }
  ui_transport  # Start, before any panel can cover the button
  if [ "$chain" = effects ]; then
    local effect
    for effect in ${SOAK_EFFECTS:-${ui_effects[*]}}; do ui_open "$effect" || { finish; return 1; }; done
  fi
  ui_shot "$log.png"
  ui_park
  sleep $settle
  local mark begin now
  mark=$(stat -c %s "$speaker")
  begin=$(date +%s)
  echo "seconds vmrss_kb fds threads speaker_bytes" >"$log.samples"
  while :; do
    now=$(( $(date +%s) - begin ))
    ui_alive || { echo "soak: the program died after $now s" | tee -a "$log.summary"; break; }
    echo "$now $(awk '/^VmRSS/ { print $2 }' /proc/$ui_pid/status) $(ls /proc/$ui_pid/fd | wc -l)" \
         "$(awk '/^Threads/ { print $2 }' /proc/$ui_pid/status) $(stat -c %s "$speaker")" >>"$log.samples"
    [ $now -ge "$seconds" ] && break
    sleep "$interval"
  done
  local end
  end=$(stat -c %s "$speaker")
  tail -c +$(( mark / 2 * 2 + 1 )) "$speaker" | head -c $(( (end - mark) / 2 * 2 )) >"$log.raw"
  {
    python3 "$top/bench/soak_check.py" "$chain" "$log.raw"
    figures "$log.samples"
  } | tee "$log.summary"
  cp "$root/$chain/pulse.log" "$log.pulse.log" 2>/dev/null
  ui_alive && { ui_close_all; ui_transport; ui_quit || echo "soak: the program did not end at X" | tee -a "$log.summary"; }
  finish
  grep -q "no fault seen" "$log.summary"
}

status=0
case $chains in
  passthrough|effects) run "$chains" || status=1 ;;
  both) run passthrough || status=1; run effects || status=1 ;;
  *) echo "usage: soak.sh [passthrough|effects|both] [PROGRAM.exe]" >&2; exit 2 ;;
esac
echo "figures in $out"
exit $status
