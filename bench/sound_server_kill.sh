#!/usr/bin/env bash
# Kills the sound server under the streaming program, or with KILL_WHAT=output
# takes its output device away alone (the speaker is suspended: the output
# stops while capture goes on, as when a headset is unplugged), and reports
# what the program does: how long until its message box appears (and a screenshot),
# then whether it ends and with which exit code; or, if no message comes,
# whether it still answers the mouse; whether Wine reports a crash. In a
# sandbox of its own.
#
#   bench/sound_server_kill.sh [PROGRAM.exe]     (KILL_SIGNAL, default KILL)
#
# Prints the observations and writes screenshots to KILL_OUT (build/kill).
# Exits 1 unless the message came within two seconds and the program then
# ended with code 0.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath -m "${1:-$top/build/win64/voxotrope.exe}")  # Wine wants absolute paths
signal=${KILL_SIGNAL:-KILL}
what=${KILL_WHAT:-server}
out=${KILL_OUT:-$top/build/kill}
[ -f "$exe" ] || { echo "kill: no $exe" >&2; exit 1; }
mkdir -p "$out"
export WINEPREFIX=${VOXOTROPE_BENCH_WINEPREFIX:-$(dirname "$exe")/bench-wineprefix}
. "$top/scripts/sandbox.sh"
. "$top/scripts/uidrive.sh"
root=$(mktemp -d /tmp/voxotrope-kill.XXXXXX)
pids=()
finish() {
  ui_stop
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

if [ "$what" = output ]; then
  echo "suspending the speaker, the program's output device"
  killed=$(date +%s%N)
  pactl suspend-sink speaker 1
else
  echo "killing the sound server (pid $pulse) with SIG$signal"
  killed=$(date +%s%N)
  kill -"$signal" "$pulse"
  wait "$pulse" 2>/dev/null  # reaped here, so the shell prints no notice of it
fi
verdict=0

# The message box: a window of the program's that is not 150 x 100.
box=""
box_up() { box=$(ui_windows | awk '!($4 == 150 && $5 == 100) && $4 > 120 && $5 > 60 { print $1; exit }'); [ -n "$box" ]; }
if ui_until 10 box_up; then
  took=$(( ($(date +%s%N) - killed) / 1000000 ))
  echo "message box \"$(xdotool getwindowname "$box" 2>/dev/null)\" after $took ms"
  [ "$took" -le 2000 ] || { echo "SLOW: more than two seconds"; verdict=1; }
  ui_shot "$out/after.png"
  xdotool windowfocus "$box" 2>/dev/null; xdotool key Return 2>/dev/null
  ended() { ! ui_alive; }
  if ui_until 10 ended; then
    wait "$ui_pid"
    code=$?
    echo "the program ended, exit code $code"
    [ "$code" -eq 0 ] || verdict=1
  else
    echo "HANG: the program did not end after the message"
    verdict=1
  fi
else
  echo "SILENT: no message within 10 s"
  verdict=1
  ui_shot "$out/after.png"
  if ui_alive; then
    # Does it answer? The FX menu must open and close.
    if menu=$(ui_fx_menu); then
      echo "it answers the mouse: the FX menu opened"
      xdotool key Escape 2>/dev/null
      sleep 0.3
    else
      echo "HANG: the FX menu does not open"
    fi
    ui_close_all
    ui_transport  # Stop
    ui_quit && echo "it ended at X" || echo "HANG: it did not end at X"
  fi
fi
if grep -qi "unhandled\|page fault\|exception" "$out/program.log"; then
  echo "CRASH: Wine reports: $(grep -i -m1 'unhandled\|page fault\|exception' "$out/program.log")"
  verdict=1
fi
echo "screenshots in $out"
exit $verdict
