#!/usr/bin/env bash
# A long streaming run of the real program under Wine, in a sandbox of its
# own: a test signal (bench/signal.py) goes into the virtual microphone,
# what the program plays is kept and checked (bench/soak_check.py), and the
# program's memory, file descriptors, threads and CPU time are sampled every
# few seconds. Once with no effect, once with all seven effects.
#
#   bench/soak.sh [passthrough|effects|both] [PROGRAM.exe]
#
# The sandbox's variables choose the sound server and the devices
# (scripts/sandbox.sh: SANDBOX_SERVER=pulseaudio|pipewire,
# SANDBOX_RATE=22050|48000). On 22050 Hz devices nothing resamples and the
# checks are exact: with no effect a counter (every sample must come back, in
# order), with all seven two tones (whole blocks, no stale replays, no silent
# block). Where the server converts, both runs use noise whose every stretch
# is unique, and the check finds each piece of what came back in it.
#
# SOAK_SECONDS (default 600) is the length of each run, SOAK_INTERVAL (5)
# the sampling period, SOAK_OUT the folder for the figures (build/soak),
# SOAK_EFFECTS the panels of the effects run (all seven; keep deeper, the
# exact check relies on it), SOAK_BUSY the number of CPU-bound processes
# that run beside the program (0), SOAK_ENV VAR=VALUE words for the program
# (an environment setting to try), SOAK_LAUNCHER=1 starts the program
# through the launcher (tools/launcher/voxotrope.sh, real-time priority for
# its threads), SOAK_HANDS a person's hands on the
# program all through the run: `mouse` moves the pointer to and fro across
# the main window's top strip every 30 ms, `slider` opens the Volume panel
# and drags its thumb up and down without letting go (the value is written
# only at the release, so the sound stays unchanged), `menu` opens the FX
# menu, reads it for a second and closes it with Escape every three
# seconds, `dialog` holds the AM panel's open-file dialog open for ten
# seconds in the middle of the run (for the effects run: AM is on while its
# panel is open, and no ramp passes it whole). The program gets
# VOXOTROPE_TRACE naming OUT/CHAIN.trace (a traced build writes its block steps there); with
# SOAK_TRACE_SUMMARY set to a command, that command is run on the file and
# its one line of output joins the figures.
# The line "figures: key=value ..." of OUT/CHAIN.summary is for
# bench/soak_matrix.sh. Run on demand; scripts/test.sh runs a 60 s
# passthrough (audio/tests/streaming_test.sh).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
chains=${1:-both}
exe=$(realpath -m "${2:-$top/build/win64/voxotrope.exe}")  # Wine wants absolute paths
seconds=${SOAK_SECONDS:-600}
interval=${SOAK_INTERVAL:-5}
out=${SOAK_OUT:-$top/build/soak}
busy=${SOAK_BUSY:-0}
settle=4  # seconds after Start before the check begins: the clicks re-anchor playback
# The analysis of resampled sound needs numpy (python3-numpy).
python=python3
python3 -c 'import numpy' 2>/dev/null || python=/usr/bin/python3
[ -f "$exe" ] || { echo "soak: no $exe (cmake --build build/win64 --target voxotrope)" >&2; exit 1; }
mkdir -p "$out"
# A prefix of the bench scripts' own: a prefix has one wineserver, which must
# not be shared with a sandbox on another display.
export WINEPREFIX=${VOXOTROPE_BENCH_WINEPREFIX:-$(dirname "$exe")/bench-wineprefix}
. "$top/scripts/sandbox.sh"
. "$top/scripts/uidrive.sh"

# The feeder and the reader at real-time priority where that is allowed: on
# a busy machine they must not be what starves (a slow reader holds the
# speaker's clock back).
rt=()
chrt -f 10 true 2>/dev/null && rt=(chrt -f 10)
root=$(mktemp -d /tmp/voxotrope-soak.XXXXXX)
pids=()
finish() {
  ui_stop
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

# ticks PID: user + system time of a process, in clock ticks.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null; }

# The pointer to and fro across the main window's top strip, motion only.
# One xdotool a sweep: a process started every 30 ms would load the machine.
hands_mouse() {
  local x sweep=()
  for (( x = 10; x <= 140; x += 10 )); do sweep+=(mousemove --window "$ui_main" "$x" 5 sleep 0.03); done
  for (( x = 140; x >= 10; x -= 10 )); do sweep+=(mousemove --window "$ui_main" "$x" 5 sleep 0.03); done
  while :; do xdotool "${sweep[@]}" 2>/dev/null; done
}

# The FX menu opened at its button, read for a second, closed with Escape;
# every three seconds.
hands_menu() {
  while :; do
    xdotool mousemove --window "$ui_main" 125 40 click 1 sleep 1 key Escape mousemove 1 1 sleep 2 2>/dev/null
  done
}

# The AM panel's open-file dialog, held open for ten seconds, then cancelled.
hands_dialog() {
  local panel=${ui_panel[am]}
  sleep $(( seconds / 2 - 5 ))
  xdotool mousemove --window "$panel" 40 50 click 1 mousemove 1 1 sleep 10 2>/dev/null
  xdotool key Escape 2>/dev/null
  exec sleep infinity  # ended with the run
}

# The Volume thumb grabbed and dragged 30 rows down and up again, row by
# row, never released.
hands_slider() {
  local panel=${ui_panel[volume]} y=39 row sweep=()
  for (( row = y + 1; row <= y + 30; row++ )); do sweep+=(mousemove --window "$panel" 25 "$row" sleep 0.02); done
  for (( row = y + 30; row >= y; row-- )); do sweep+=(mousemove --window "$panel" 25 "$row" sleep 0.02); done
  xdotool mousemove --window "$panel" 25 $y sleep 0.1 mousedown 1 sleep 0.1 2>/dev/null
  while :; do xdotool "${sweep[@]}" 2>/dev/null; done
}

run() {  # run passthrough|effects
  local chain=$1 log=$out/$1 speaker
  echo "=== $chain: $seconds s, ${SANDBOX_SERVER:-pulseaudio} at ${SANDBOX_RATE:-22050} Hz, $busy busy process(es)"
  sandbox_start "$root/$chain" >/dev/null || return 1
  speaker=$root/$chain/speaker.raw
  local signal mode
  if [ "$SANDBOX_RATE" = 22050 ]; then
    signal=ramp mode=$chain
    [ "$chain" = effects ] && signal=tones
  else
    signal=noise mode=noise
    [ "$chain" = effects ] && mode=noise-effects
  fi
  "${rt[@]}" $python "$top/bench/signal.py" $signal |
    "${rt[@]}" pacat -d mic --raw --rate=22050 --channels=1 --format=s16le &
  pids+=($!)
  # The speaker's pipe enlarged to 1 MiB: PipeWire drops what does not fit
  # while the reader waits for the CPU.
  "${rt[@]}" $python -c $'import fcntl, os, sys\nfd = os.open(sys.argv[1], os.O_RDONLY)\nfcntl.fcntl(fd, 1031, 1 << 20)\nout = open(sys.argv[2], "wb", 0)\nwhile True:\n    out.write(os.read(fd, 1 << 16))' \
    "$SANDBOX_FIFO" "$speaker" &
  pids+=($!)
  rm -f "$log.trace"
  # The program itself, or through the launcher (SOAK_LAUNCHER=1), which
  # asks real-time priority for its threads and its wineserver's.
  local start=("${WINELOADER:-wine}" "$exe")
  if [ "${SOAK_LAUNCHER:-0}" = 1 ]; then
    sed -e "s|^exe=.*|exe='$exe'|" "$top/tools/launcher/voxotrope.sh" >"$root/voxotrope"
    start=(env VOXOTROPE_WINEPREFIX="$WINEPREFIX" VOXOTROPE_WINE="${WINELOADER:-wine}" bash "$root/voxotrope")
  fi
  # shellcheck disable=SC2086
  ui_launch "$log.program.log" "" env VOXOTROPE_TRACE="$log.trace" ${SOAK_ENV:-} "${start[@]}" ||
    { finish; return 1; }
  ui_transport  # Start, before any panel can cover the button
  if [ "$chain" = effects ]; then
    local effect
    for effect in ${SOAK_EFFECTS:-${ui_effects[*]}}; do ui_open "$effect" || { finish; return 1; }; done
  fi
  [ "${SOAK_HANDS:-}" = slider ] && { ui_open volume || { finish; return 1; }; }
  [ "${SOAK_HANDS:-}" = dialog ] && { ui_open am || { finish; return 1; }; }
  ui_shot "$log.png"
  ui_park
  local i
  for (( i = 0; i < busy; i++ )); do
    bash -c 'while :; do :; done' &
    pids+=($!)
  done
  sleep $settle
  case ${SOAK_HANDS:-} in
    mouse) hands_mouse & pids+=($!) ;;
    slider) hands_slider & pids+=($!) ;;
    menu) hands_menu & pids+=($!) ;;
    dialog) hands_dialog & pids+=($!) ;;
  esac
  # What the hands showed, once: the menu read, the dialog held open.
  if [ -n "${SOAK_HANDS:-}" ]; then
    local shot_at=0.2
    [ "$SOAK_HANDS" = dialog ] && shot_at=$(( seconds / 2 - 2 ))
    (sleep "$shot_at"; ui_shot "$log.hands.png") &
  fi
  local mark begin now cpu_begin program
  program=$(ui_process)
  mark=$(stat -c %s "$speaker")
  begin=$(date +%s)
  cpu_begin=$(ticks "$program")
  echo "seconds vmrss_kb fds threads speaker_bytes" >"$log.samples"
  while :; do
    now=$(( $(date +%s) - begin ))
    ui_alive || { echo "soak: the program died after $now s" | tee -a "$log.summary"; break; }
    echo "$now $(awk '/^VmRSS/ { print $2 }' /proc/$program/status) $(ls /proc/$program/fd | wc -l)" \
         "$(awk '/^Threads/ { print $2 }' /proc/$program/status) $(stat -c %s "$speaker")" >>"$log.samples"
    [ $now -ge "$seconds" ] && break
    sleep "$interval"
  done
  [ -n "${SOAK_HANDS:-}" ] && { kill "${pids[-1]}" 2>/dev/null; wait "${pids[-1]}" 2>/dev/null; xdotool mouseup 1 2>/dev/null; }
  local end cpu frame=$(( 2 * SANDBOX_CHANNELS ))
  end=$(stat -c %s "$speaker")
  cpu=$(awk -v a="$cpu_begin" -v b="$(ticks "$program")" -v hz="$(getconf CLK_TCK)" -v s="$now" \
    'BEGIN { if (b == "" || s <= 0) print "?"; else printf "%.1f", 100 * (b - a) / hz / s }')
  tail -c +$(( mark / frame * frame + 1 )) "$speaker" | head -c $(( (end - mark) / frame * frame )) >"$log.raw"
  {
    $python "$top/bench/soak_check.py" "$mode" "$log.raw" "$SANDBOX_RATE" "$SANDBOX_CHANNELS" |
      sed "s/^figures: .*/& cpu=$cpu/"
    # The ramp as a listener hears it, by the referee, which forgives nothing.
    [ "$mode" = passthrough ] &&
      echo "heard: $(python3 "$top/bench/heard_check.py" "$log.raw" "$now" "${SOAK_HEARD_PERCENT:-2}")"
    figures "$log.samples"
    echo "  CPU: $cpu % of one core"
    if [ -s "$log.trace" ] && [ -n "${SOAK_TRACE_SUMMARY:-}" ]; then
      echo "trace: $($SOAK_TRACE_SUMMARY "$log.trace" | head -n 1)"
      # What of the sound lost the program's own anchorings, corrections and
      # dropped halves account for; the rest is the platform's.
      echo "trace $($python "$top/bench/trace_report.py" --share "$log.trace" "$begin" "$now")"
    fi
  } | tee "$log.summary"
  cp "$root/$chain/pulse.log" "$log.pulse.log" 2>/dev/null
  ui_alive && { ui_close_all; ui_transport; ui_quit || echo "soak: the program did not end at X" | tee -a "$log.summary"; }
  finish
  grep -q "no fault seen" "$log.summary" &&
    { [ "$mode" != passthrough ] || grep -q "^heard: .*as heard: fine" "$log.summary"; }
}

status=0
case $chains in
  passthrough|effects) run "$chains" || status=1 ;;
  both) run passthrough || status=1; run effects || status=1 ;;
  *) echo "usage: soak.sh [passthrough|effects|both] [PROGRAM.exe]" >&2; exit 2 ;;
esac
echo "figures in $out"
exit $status
