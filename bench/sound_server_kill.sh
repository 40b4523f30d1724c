#!/usr/bin/env bash
# Kills the sound server under the streaming program and reports what the
# program does: a message box (its size and a screenshot), an end and its
# exit code, or going on; whether it still answers the mouse; whether Wine
# reports a crash. In a sandbox of its own.
#
#   bench/sound_server_kill.sh [PROGRAM.exe]     (KILL_SIGNAL, default KILL)
#
# Prints the observations and writes screenshots to KILL_OUT (build/kill).
# Exits 1 if the program crashed or stopped answering.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$top/build/win64/voxotrope.exe}
signal=${KILL_SIGNAL:-KILL}
out=${KILL_OUT:-$top/build/kill}
[ -f "$exe" ] || { echo "kill: no $exe" >&2; exit 1; }
mkdir -p "$out"
export WINEPREFIX=${VOXOTROPE_BENCH_WINEPREFIX:-$(dirname "$exe")/bench-wineprefix}
. "$top/scripts/sandbox.sh"
. "$top/scripts/uidrive.sh"
root=$(mktemp -d /tmp/voxotrope-kill.XXXXXX)
pids=()
finish() {
  ui_alive && kill "$ui_pid" 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  sandbox_stop
  rm -rf "$root"
}
trap finish EXIT
trap 'exit 1' INT TERM

sandbox_start "$root" >/dev/null || exit 1
pulse=$sandbox_server_pid
sox -n -r 22050 -c 1 -b 16 "$root/tone.wav" synth 60 sine 441 vol 0.5
paplay -d mic "$root/tone.wav" &
pids+=($!)
cat "$SANDBOX_FIFO" >"$root/speaker.raw" &
pids+=($!)
ui_start "$exe" "$out/program.log" || exit 1
ui_transport
ui_open pitch
ui_park
sleep 3
before=$(stat -c %s "$root/speaker.raw")
[ "$before" -gt 44100 ] && echo "streaming: $before bytes played before the kill" ||
  echo "streaming: only $before bytes before the kill"
ui_shot "$out/before.png"

echo "killing the sound server (pid $pulse) with SIG$signal"
kill -"$signal" "$pulse"
sleep 5
verdict=0

# What is on the screen now: the program's windows by size, and any box.
ui_windows >"$root/windows"
echo "windows 5 s after the kill (id x y width height):"
sed 's/^/  /' "$root/windows"
ui_shot "$out/after.png"
box=$(awk '!($4 == 150 && $5 == 100) && $4 > 120 && $5 > 60 { print $1; exit }' "$root/windows")
if [ -n "$box" ]; then
  echo "a further window appeared: \"$(xdotool getwindowname "$box" 2>/dev/null)\", $(awk -v id="$box" '$1 == id { print $4 "x" $5 }' "$root/windows")"
  xdotool windowfocus "$box" 2>/dev/null; xdotool key Return 2>/dev/null
  sleep 2
fi
if grep -qi "unhandled\|page fault\|exception" "$out/program.log"; then
  echo "CRASH: Wine reports: $(grep -i -m1 'unhandled\|page fault\|exception' "$out/program.log")"
  verdict=1
fi
if ui_alive; then
  echo "the program still runs"
  # Does it answer? The FX menu must open and close.
  if menu=$(ui_fx_menu); then
    echo "it answers the mouse: the FX menu opened"
    xdotool key Escape 2>/dev/null
    sleep 0.3
  else
    echo "HANG: the FX menu does not open"
    verdict=1
  fi
  ui_close_all
  ui_transport  # Stop
  if ui_quit; then
    echo "it ended at X with exit code $?"
  else
    echo "HANG: it did not end at X"
    verdict=1
  fi
else
  wait "$ui_pid"
  echo "the program ended by itself, exit code $?"
fi
echo "screenshots in $out"
exit $verdict
