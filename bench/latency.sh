#!/usr/bin/env bash
# End-to-end latency of the real program under Wine, split into the design's
# share and the platform's, and its CPU use; in a sandbox of its own (the
# sandbox's variables choose the sound server and devices).
#
#   bench/latency.sh [PROGRAM.exe]
#
# Clicks are timed where they enter the sound server (a pipe source that the
# probe writes on the clock) and where they leave it (the speaker's pipe),
# by bench/latency_probe.py; nothing of the probe's own start-up or
# buffering lies in between. Before each click the pointer crosses the main
# window, so the program re-anchors its write position: each click is timed
# at the design's point, 4000 + 1999 samples (272.1 ms) plus the platform.
# voxotrope-soundprobe (built beside the program's tests) times the
# platform's two halves through rings like the program's: from the last
# sample of a half entering to the capture signal, and from a write 1999
# samples beyond the output's write cursor to the sound leaving, less those
# 1999 samples. Their sum with the design's share should give the total.
#
# LATENCY_RUNS (9) program runs (each start sets its own phase between
# Wine's capture and playback periods: nine give a median that holds within
# a few ms), LATENCY_CLICKS (20) clicks per run and
# probe, LATENCY_SECONDS (30) per CPU interval (0: no CPU figures),
# LATENCY_ANCHOR=0 leaves the program untouched while it is timed,
# LATENCY_OUT (build/latency) keeps every click's figure,
# LATENCY_PREFIX_SETUP a command run before the runs (a registry setting of
# the prefix to try), LATENCY_ENV VAR=VALUE words for the probes and the
# program (an environment setting to try).
# Run on demand; not part of scripts/test.sh.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath -m "${1:-$top/build/win64/voxotrope.exe}")  # Wine wants absolute paths
runs=${LATENCY_RUNS:-9}
clicks=${LATENCY_CLICKS:-20}
seconds=${LATENCY_SECONDS:-30}
spacing=0.7
probe=$(dirname "$exe")/tools/soundprobe/voxotrope-soundprobe.exe
[ -f "$probe" ] || probe=$top/build/win64/tools/soundprobe/voxotrope-soundprobe.exe
[ -f "$exe" ] || { echo "latency: no $exe (cmake --build build/win64 --target voxotrope)" >&2; exit 1; }
export WINEPREFIX=${VOXOTROPE_BENCH_WINEPREFIX:-$(dirname "$exe")/bench-wineprefix}
. "$top/scripts/sandbox.sh"
. "$top/scripts/uidrive.sh"

out=${LATENCY_OUT:-$top/build/latency}
mkdir -p "$out"
root=$(mktemp -d /tmp/voxotrope-latency.XXXXXX)
drain="" silence=""
finish() {
  ui_stop
  [ -n "$drain" ] && kill "$drain" "$silence" 2>/dev/null
  sandbox_stop
}
trap 'finish; cp "$root"/*.txt "$out"/ 2>/dev/null; rm -rf "$root"' EXIT
trap 'exit 1' INT TERM
sandbox_start "$root" >/dev/null || exit 1
echo "${SANDBOX_SERVER} with devices at ${SANDBOX_RATE} Hz, ${SANDBOX_CHANNELS} channel(s)"
[ -n "${LATENCY_PREFIX_SETUP:-}" ] && { echo "prefix: $LATENCY_PREFIX_SETUP"; eval "$LATENCY_PREFIX_SETUP"; }

# The virtual microphone: a pipe source at the devices' rate, fed by the probe.
feed=$root/feed.fifo
pactl load-module module-pipe-source source_name=feed file="$feed" rate="$SANDBOX_RATE" \
  channels="$SANDBOX_CHANNELS" format=s16le >/dev/null || exit 1
pactl set-default-source feed
probe_run() {  # probe_run MODE [options] [-- COMMAND...]: the probe's lines
  /usr/bin/env python3 "$top/bench/latency_probe.py" "$1" "$feed" "$SANDBOX_FIFO" "$SANDBOX_RATE" \
    "$SANDBOX_CHANNELS" "$clicks" "$spacing" "${@:2}"
}
summary() { sed -n 's/^summary: //p'; }

if [ -f "$probe" ]; then
  # shellcheck disable=SC2086
  probe_run capture --captured "$root/captured.raw" -- env ${LATENCY_ENV:-} "${WINELOADER:-wine}" "$probe" capture \
    $(( clicks * 7 / 10 + 4 )) "Z:${root//\//\\}\\captured.raw" >"$root/capture.txt"
  echo "platform, capture side (last sample of a half in, to the signal): $(summary <"$root/capture.txt")"
  # shellcheck disable=SC2086
  probe_run playback -- env ${LATENCY_ENV:-} "${WINELOADER:-wine}" "$probe" playback "$clicks" 700 >"$root/playback.txt"
  echo "platform, playback side (write to out, less the 1999-sample lead): $(summary <"$root/playback.txt")"
else
  echo "no $probe: the platform's share is not split"
fi

cpu() {  # cpu SECONDS: the program's share of one core while streaming
  local pid a b
  pid=$(ui_process)
  a=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  sleep "$1"
  b=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  awk -v t=$((b - a)) -v hz="$(getconf CLK_TCK)" -v s="$1" 'BEGIN { printf "%.1f %% of one core\n", 100 * t / hz / s }'
}

medians=()
for (( run = 1; run <= runs; run++ )); do
  rm -f "$root/go"
  anchor=(--before "xdotool mousemove --window \$(cat $root/main) 60 60 mousemove 1 1")
  [ "${LATENCY_ANCHOR:-1}" = 0 ] && anchor=()
  probe_run program --go "$root/go" "${anchor[@]}" >"$root/program$run.txt" &
  measuring=$!
  # shellcheck disable=SC2086
  ui_launch "$root/program$run.log" "" env ${LATENCY_ENV:-} "${WINELOADER:-wine}" "$exe" || exit 1
  echo "$ui_main" >"$root/main"
  ui_transport  # Start
  ui_park
  sleep 2
  touch "$root/go"
  wait "$measuring"
  line=$(summary <"$root/program$run.txt")
  echo "run $run, microphone to speaker through the program: $line"
  medians+=("$(sed -n 's/.*median=\([0-9.]*\).*/\1/p' <<<"$line")")
  if [ "$run" -eq "$runs" ] && [ "$seconds" -gt 0 ]; then
    cat "$SANDBOX_FIFO" >/dev/null &
    drain=$!
    # Silence into the microphone, in 5-ms pieces on the clock: with the
    # probe gone PulseAudio's pipe source delivers nothing, and the program
    # rightly reports that capture has stopped.
    /usr/bin/env python3 -c $'import os, sys, time\nfd = os.open(sys.argv[1], os.O_WRONLY)\npiece, t = bytes(int(sys.argv[2])), time.monotonic()\nwhile True:\n    os.write(fd, piece)\n    t += 0.005\n    time.sleep(max(0, t - time.monotonic()))' \
      "$feed" $(( SANDBOX_RATE / 200 * SANDBOX_CHANNELS * 2 )) &
    silence=$!
    echo "CPU, streaming with no effect: $(cpu "$seconds")"
    for effect in "${ui_effects[@]}"; do ui_open "$effect" || exit 1; done
    ui_park
    echo "CPU, streaming with all seven effects: $(cpu "$seconds")"
    ui_close_all
  fi
  ui_quit || kill "$ui_pid" 2>/dev/null
  [ -n "$drain" ] && { kill "$drain" "$silence" 2>/dev/null; wait "$drain" "$silence" 2>/dev/null; drain=""; }
done

printf '%s\n' "${medians[@]}" | sort -n | awk -v design="$(awk 'BEGIN { printf "%.1f", 5999000 / 22050 }')" \
  -v capture="$(summary <"$root/capture.txt" 2>/dev/null | sed -n 's/.*median=\([0-9.]*\).*/\1/p')" \
  -v playback="$(summary <"$root/playback.txt" 2>/dev/null | sed -n 's/.*median=\([0-9.]*\).*/\1/p')" '
  NF { v[n++] = $1 }
  END {
    if (!n) { print "no run was timed"; exit 1 }
    printf "total over %d runs (medians): min %.1f, median %.1f, max %.1f ms\n", n, v[0], v[int(n / 2)], v[n - 1]
    printf "design: %.1f ms (4000 + 1999 samples)", design
    if (capture != "" && playback != "")
      printf "; platform: capture %.1f + playback %.1f ms; left over %.1f ms\n", capture, playback, v[int(n / 2)] - design - capture - playback
    else
      printf "; platform: %.1f ms\n", v[int(n / 2)] - design
  }'
