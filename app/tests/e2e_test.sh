#!/usr/bin/env bash
# The real program end to end, on the sandbox of scripts/sandbox.sh: the
# device dialog (OK, Cancel), no dialog with one or two outputs, a missing
# capture device, a ramp through the passthrough chain, the close button, and
# the sound server killed while the program streams.
# Usage: e2e_test.sh PROGRAM.exe DOUBLES.exe PEEK.exe WORK-DIR
set -uo pipefail

program=$1
doubles=$2
peek_exe=$3
work=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/checks.sh"
checks_need_sandbox xdotool pacat python3 wine

rm -rf "$work"
mkdir -p "$work"
peek() { wine "$peek_exe" "$@" 2>/dev/null | tr -d '\r'; }
shows() { peek list | grep -q "^window .* $1 \"$2\""; }
alive() { kill -0 "$program_pid" 2>/dev/null; }
ended() { ! alive; }

start() {  # start EXE [VAR=VALUE]: the program in the background
  env ${2:+"$2"} "${WINELOADER:-wine}" "$1" >"$work/program.log" 2>&1 &
  program_pid=$!
  checks_track $program_pid
}
# finish SECONDS: waits for the program's end; its exit code goes to $code.
finish() {
  if ui_until "$1" ended; then
    wait "$program_pid"
    code=$?
  else
    kill "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
    code="still running"
  fi
}
# The main window's buttons, relative to its place (350, 300).
click() { xdotool mousemove "$1" "$2" click 1 2>/dev/null; sleep 0.3; }
main_button() { peek list | awk '/^window .* Voxotrope "Voxotrope"/ { main = 1; next } /^window/ { main = 0 } main && /child Button/ { print $3; exit }'; }
# Start, pressed until the button reads "Stop"; then the mouse goes away, for
# the program re-anchors on every message.
press_start() {
  for _ in 1 2 3; do
    [ "$(main_button)" = '"Stop"' ] && break
    click 375 340
    sleep 0.5
  done
  xdotool mousemove 700 700 2>/dev/null
}

# What the speaker plays, read from the start: a full pipe with no reader
# stalls the sound server, and every program with it.
cat "$SANDBOX_FIFO" >"$work/speaker.raw" &
checks_track $!

echo "--- the device dialog, then Cancel"
start "$program"
if ui_until 30 shows '#32770' 'Select Device'; then
  peek list >"$work/dialog.txt"
  items=$(grep -c '^  item' "$work/dialog.txt")
  first=$(grep -m1 '^  item' "$work/dialog.txt")
  [ "$items" -eq 4 ] && pass "four outputs listed" || fail "$items outputs listed: $(cat "$work/dialog.txt")"
  # The sandbox's sinks by their descriptions, not by a FIFO's path.
  grep -q '^  item.* "Speakers"$' "$work/dialog.txt" && grep -q '^  item.* "Microphone"$' "$work/dialog.txt" &&
    pass "\"Speakers\" and \"Microphone\" listed" || fail "device names: $(grep '^  item' "$work/dialog.txt")"
  [[ $first == '  item* "Primary Sound Driver"' ]] && pass "the first entry is selected" || fail "first entry: $first"
  peek cancel 'Select Device'
  boxes=0
  while alive; do
    shows '#32770' 'Voxotrope' && boxes=$((boxes + 1)) && peek ok Voxotrope
    sleep 0.1
  done
  finish 1
  [ "$boxes" -eq 0 ] && [ "$code" = 0 ] && pass "Cancel ends the program, no message, code 0" ||
    fail "Cancel: $boxes message box(es), exit $code"
else
  fail "the device dialog did not appear"
  finish 1
fi

for outputs in 1 2; do
  echo "--- $outputs output(s): no dialog"
  start "$doubles" VOXOTROPE_DOUBLE=outputs=$outputs
  dialog=0
  seen_main() { peek list >"$work/windows.txt"; grep -q '#32770 "Select Device"' "$work/windows.txt" && dialog=1; grep -q 'Voxotrope "Voxotrope"' "$work/windows.txt"; }
  if ui_until 30 seen_main && [ $dialog -eq 0 ]; then
    pass "the main window opens on the default output"
  else
    fail "with $outputs output(s): dialog $dialog, windows: $(cat "$work/windows.txt")"
  fi
  click 495 304
  finish 5
  [ "$code" = 0 ] || fail "with $outputs output(s) the close button gave '$code'"
done

echo "--- no capture device"
start "$doubles" VOXOTROPE_DOUBLE=nocapture
ui_until 30 shows '#32770' 'Select Device' && peek ok 'Select Device'
text=""
box_text() { peek list | awk '/^window .* #32770 "Voxotrope"/ { box = 1; next } /^window/ { box = 0 } box && /child Static "[^"]/ { sub(/^  child Static /, ""); print; exit }'; }
got_box() { text=$(box_text); [ -n "$text" ]; }
if ui_until 20 got_box; then
  [ "$text" = '"Error creating DirectSoundCapture object!"' ] && pass "message $text" || fail "message $text"
  peek ok Voxotrope
  again=0
  while alive; do
    got_box && again=$((again + 1)) && peek ok Voxotrope
    sleep 0.1
  done
  finish 1
  [ $again -eq 0 ] && pass "shown once, then the program ends (code $code)" || fail "shown $((again + 1)) times"
else
  fail "no message box: $(peek list)"
  finish 1
fi

echo "--- passthrough and the close button"
# Six seconds of a ramp, judged as heard: every sample whole and in order.
python3 "$here/../../bench/signal.py" ramp | head -c $(( 6 * 44100 )) >"$work/ramp.raw"
start "$program"
ui_until 30 shows '#32770' 'Select Device' && peek ok 'Select Device'
if ui_until 20 shows Voxotrope Voxotrope; then
  press_start
  [ "$(main_button)" = '"Stop"' ] && pass "Start pressed" || fail "Start did not start: $(main_button)"
  sleep 1
  mark=$(( $(stat -c %s "$work/speaker.raw") / 2 * 2 ))  # whole samples
  pacat -d mic --raw --rate=22050 --channels=1 --format=s16le "$work/ramp.raw"
  sleep 1
  tail -c +$((mark + 1)) "$work/speaker.raw" >"$work/played.raw"
  heard=$(python3 "$here/../../bench/heard_check.py" "$work/played.raw" 5)
  [ $? -eq 0 ] && pass "passthrough: $heard" || fail "passthrough: $heard"

  xdotool mousemove 495 304 2>/dev/null
  sleep 0.3
  before=$(date +%s%N)
  xdotool click 1 2>/dev/null
  while alive && [ $(( ($(date +%s%N) - before) / 1000000 )) -lt 3000 ]; do sleep 0.02; done
  took=$(( ($(date +%s%N) - before) / 1000000 ))
  finish 1
  [ "$code" = 0 ] && [ $took -le 1000 ] && pass "close button: ended in $took ms, code 0" ||
    fail "close button: '$code' after $took ms"
else
  fail "the main window did not appear"
  finish 1
fi

echo "--- the sound server killed while streaming"
# A sound server of the program's own, of the sandbox's kind, so that the
# sandbox's stays up; from here on the environment points at it.
. "$here/../../scripts/sandbox.sh"
trap 'checks_cleanup; sandbox_sound_stop' EXIT
own_pulse=""
if sandbox_sound_start "$work/own"; then
  own_pulse=$sandbox_server_pid
  cat "$SANDBOX_FIFO" >/dev/null &
  checks_track $!
else
  fail "no sound server of its own"
fi
start "$program"
ui_until 30 shows '#32770' 'Select Device' && peek ok 'Select Device'
if ui_until 20 shows Voxotrope Voxotrope; then
  press_start
  sleep 2
  # The message box is the window called Voxotrope that is not 150 x 100.
  box_up() {
    local id
    for id in $(xdotool search --onlyvisible --name '^Voxotrope$' 2>/dev/null); do
      xdotool getwindowgeometry "$id" 2>/dev/null | grep -q 'Geometry: 150x100' || return 0
    done
    return 1
  }
  before=$(date +%s%N)
  kill -KILL "$own_pulse"
  wait "$own_pulse" 2>/dev/null  # reaped here, so the shell prints no notice of it
  [ "$SANDBOX_SERVER" = pipewire ] && echo "(its PulseAudio service killed)"
  ui_until 10 box_up
  took=$(( ($(date +%s%N) - before) / 1000000 ))
  text=$(box_text)
  [ "$text" = '"Sound capture has stopped! If your sound device was unplugged or your sound system was shut down please bring it back and restart Voxotrope!"' ] &&
    [ $took -le 2000 ] && pass "message after $took ms" || fail "after $took ms: message $text"
  peek ok Voxotrope
  finish 10
  [ "$code" = 0 ] && pass "then the program ends, code 0" || fail "after the message: '$code'"
else
  fail "the main window did not appear"
  finish 1
fi

echo "$failures failure(s); files in $work"
[ $failures -eq 0 ]
