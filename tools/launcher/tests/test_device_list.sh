#!/usr/bin/env bash
# The real program started by the installed launcher with --virtual-mic, in
# the sandbox: its device dialog lists "Voxotrope output" (chosen by typing
# its first letter), and a tone fed into the sandbox microphone comes out of
# "Voxotrope microphone". When the program ends both devices go.
# Needs the sandbox of scripts/sandbox.sh; skips without it.
# Usage: test_device_list.sh PROGRAM.exe WORK-DIR
set -uo pipefail
set -m
top=$(cd "$(dirname "$0")/../../.." && pwd)
exe=$1
work=$2
skip=77
if [ -z "${DISPLAY:-}" ] || [ -z "${SANDBOX_FIFO:-}" ] || ! pactl info >/dev/null 2>&1; then
  echo "no sandbox: skipped"
  exit $skip
fi
. "$top/scripts/uidrive.sh"
wine_available || { echo "no wine: skipped"; exit $skip; }
for tool in xdotool sox paplay parec import; do
  command -v $tool >/dev/null || { echo "no $tool: skipped"; exit $skip; }
done

rm -rf "$work"
mkdir -p "$work"
failures=0
check() {
  local text=$1
  shift
  if "$@"; then echo "ok: $text"; else echo "FAIL: $text"; failures=$((failures + 1)); fi
}
pids=()
cleanup() {
  ui_stop
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
}
trap cleanup EXIT

"$top/scripts/install.sh" install "$work/prefix" "$exe" >/dev/null
export VOXOTROPE_WINEPREFIX=$WINEPREFIX  # the sandbox's, made already

sox -n -r 22050 -c 1 -b 16 "$work/tone.wav" synth 60 sine 441 vol 0.5
paplay -d mic "$work/tone.wav" &
pids+=($!)

if ! UI_DIALOG_SHOT=$work/dialog.png ui_launch "$work/launcher.log" V "$work/prefix/bin/voxotrope" --virtual-mic; then
  echo "FAIL: the program did not come up: $(cat "$work/launcher.log")"
  exit 1
fi
check "the main window is up" test -n "$ui_main"
ui_transport  # Start
ui_park
sleep 1
# A short latency: PipeWire would otherwise hand over seconds at once.
parec -d voxotrope_microphone --rate=22050 --channels=1 --format=s16le --latency-msec=50 >"$work/heard.raw" &
recorder=$!
sleep 2
kill $recorder
wait $recorder 2>/dev/null
# Rising crossings of +-2000 per second, over the last second heard.
frequency=$(tail -c 44100 "$work/heard.raw" | od -An -v -td2 -w2 | awk '
  { n++; if (state <= 0 && $1 > 2000) { rises++; state = 1 } else if (state >= 0 && $1 < -2000) state = -1 }
  END { if (n > 11025) printf "%d\n", rises * 22050 / n; else print 0 }')
check "\"Voxotrope microphone\" gives the tone played through \"Voxotrope output\" (${frequency} Hz)" \
  test "$frequency" -ge 400 -a "$frequency" -le 500
ui_shot "$work/running.png"
ui_quit
check "the program ends at X" test $? -eq 0
gone() { ! pactl list short modules | grep -q voxotrope_; }
check "both devices go with it" ui_until 5 gone

echo "$failures failure(s)"
[ $failures -eq 0 ]
