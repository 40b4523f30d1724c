#!/usr/bin/env bash
# The skinned windows of the real program under the real mouse: the FX menu,
# a panel dragged by its background, the Pitch thumb dragged (its new value
# heard in the sound), the slider's tooltip, and the about window's "OK".
# Needs the sandbox of scripts/sandbox.sh (DISPLAY, SANDBOX_FIFO, the
# PulseAudio devices "mic" and "speaker"); skips without it.
# Usage: mouse_test.sh PROGRAM.exe WORK-DIR
set -uo pipefail

program=$1
work=$2
. "$(dirname "$0")/../../scripts/checks.sh"
checks_need_sandbox xdotool sox paplay import wine

rm -rf "$work"
mkdir -p "$work"

shot() { import -window root "$work/$1.png" 2>/dev/null; }

# The first visible window of the given size (prints "id x y w h").
sized() { ui_windows | awk -v w="$1" -v h="$2" '$4 == w && $5 == h { print; exit }'; }
has_sized() { [ -n "$(sized "$1" "$2")" ]; }
no_sized() { [ -z "$(sized "$1" "$2")" ]; }
at() { ui_windows | awk -v x="$1" -v y="$2" -v w="$3" -v h="$4" '$2 == x && $3 == y && $4 == w && $5 == h { print; exit }'; }
has_at() { [ -n "$(at "$@")" ]; }
no_at() { [ -z "$(at "$@")" ]; }

# Pointer actions, with a pause so that the program sees every step.
move() { xdotool mousemove "$1" "$2" 2>/dev/null; sleep 0.05; }
press() { xdotool mousedown 1 2>/dev/null; sleep 0.1; }
lift() { xdotool mouseup 1 2>/dev/null; sleep 0.1; }
click() { move "$1" "$2"; xdotool click 1 2>/dev/null; sleep 0.3; }
# glide X0 Y0 X1 Y1: moves in ten steps.
glide() {
  local i
  for i in $(seq 1 10); do
    move $(( $1 + ($3 - $1) * i / 10 )) $(( $2 + ($4 - $2) * i / 10 ))
  done
}

# The frequency of what the program plays, from 0.8 s on (when what it played
# before has passed) for 1.2 s: rising crossings of +-2000 per second.
speaker=$work/speaker.raw
frequency() {
  local mark
  sleep 0.8
  mark=$(stat -c %s "$speaker")
  sleep 1.2
  tail -c +$((mark + 1)) "$speaker" | head -c 44100 >"$work/slice.raw"
  od -An -v -td2 -w2 "$work/slice.raw" | awk '
    { n++; if (state <= 0 && $1 > 2000) { rises++; state = 1 } else if (state >= 0 && $1 < -2000) state = -1 }
    END { if (n > 2205) printf "%d\n", rises * 22050 / n }'
}
# near F LOW HIGH: F lies within LOW..HIGH.
near() { [ -n "$1" ] && [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }

# A steady 441 Hz tone (50 samples a cycle) into the capture device, and a
# reader for the speaker, so that what is read is always fresh.
sox -n -r 22050 -c 1 -b 16 "$work/tone.wav" synth 120 sine 441 vol 0.5
paplay -d mic "$work/tone.wav" &
checks_track $!
cat "$SANDBOX_FIFO" >"$speaker" &
checks_track $!

wine "$program" >"$work/program.log" 2>&1 &
program_pid=$!
checks_track $program_pid

# The output device dialog comes first; OK is its default button.
dialog=""
found_dialog() { dialog=$(ui_named "Select Device"); [ -n "$dialog" ]; }
ui_until 40 found_dialog || { fail "the device dialog did not appear"; exit 1; }
xdotool windowfocus "$dialog" 2>/dev/null; xdotool key Return 2>/dev/null
ui_until 20 has_at 350 300 150 100 || { fail "the main window did not appear"; exit 1; }
pass "main window at (350, 300)"
shot main

# FX menu: it opens at the cursor; its first item is "Pitch...".
before=$(ui_windows)
click 475 340
menu=""
find_menu() { menu=$(ui_windows | awk '$4 < 150 && $5 > 100 && $5 < 200 { print; exit }'); [ -n "$menu" ]; }
ui_until 5 find_menu || { fail "the FX menu did not open"; exit 1; }
read -r _ menu_x menu_y _ _ <<<"$menu"
pass "FX menu open at ($menu_x, $menu_y)"
shot menu
click $((menu_x + 30)) $((menu_y + 11))
panel=""
find_panel() { panel=$(ui_windows | awk '$4 == 150 && $5 == 100 && !($2 == 350 && $3 == 300) { print; exit }'); [ -n "$panel" ]; }
ui_until 5 find_panel || { fail "choosing Pitch... opened no panel"; exit 1; }
read -r panel_id px py _ _ <<<"$panel"
pass "Pitch panel opened at ($px, $py)"
shot pitch-panel

# Tooltip: resting on the slider shows a small tip; it goes when the cursor leaves.
move $((px + 24)) $((py + 70))
move $((px + 25)) $((py + 70))
tip=""
find_tip() { tip=$(ui_windows | awk '$5 < 40 { print; exit }'); [ -n "$tip" ]; }
if ui_until 5 find_tip; then
  read -r _ tx ty tw th <<<"$tip"
  pass "tooltip ${tw}x${th} at ($tx, $ty) over the slider"
  shot tooltip
  move $((px + 80)) $((py + 20))
  gone_tip() { ! find_tip; }
  ui_until 5 gone_tip && pass "tooltip gone off the slider" || fail "the tooltip stayed"
else
  fail "no tooltip over the slider"
fi

# Drag the panel by its background, up and to the left, away from the main
# window. The first move after the press takes the grab offset, (81, 20);
# from then on the panel follows the cursor at that offset.
move $((px + 80)) $((py + 20))
press
move $((px + 81)) $((py + 20))
glide $((px + 81)) $((py + 20)) $((px - 19)) $((py - 100))
lift
move $((px - 18)) $((py - 100))  # the drag ends at the first move after the release
nx=$((px - 100)) ny=$((py - 120))
if ui_until 3 has_at $nx $ny 150 100; then
  pass "panel dragged from ($px, $py) to ($nx, $ny)"
else
  fail "panel not at ($nx, $ny) after the drag: $(ui_windows | tr '\n' ';')"
fi
px=$nx py=$ny
move $((px + 80)) $((py + 25))
shot dragged

# Pitch through the sound: value 2 at start doubles the tone's frequency.
click 375 340  # Start
sleep 1.5
f2=$(frequency)
# The tone is 441 Hz; what comes back runs a few per cent fast, so the
# ranges are wide, and they do not overlap for the values 1, 2 and 3.
near "$f2" 800 1000 && pass "Pitch 2 plays ${f2} Hz" || fail "Pitch 2 plays '${f2}' Hz, not about 882"

# Drag the thumb (rows 18..26 of the slider at (20, 35)) far above the track.
# The value changes at the release only.
sx=$((px + 25)) sy=$((py + 35 + 22))
move $sx $sy
press
move $sx $((sy - 1))  # grabs
glide $sx $((sy - 1)) $sx $((sy - 60))
shot thumb-dragging
fd=$(frequency)
near "$fd" 800 1000 && pass "while dragging still ${fd} Hz" || fail "while dragging '${fd}' Hz, not about 882"
lift
f1=$(frequency)
near "$f1" 400 500 && pass "released at the top: Pitch 1 plays ${f1} Hz" || fail "after the release '${f1}' Hz, not about 441"
shot thumb-top

# And down to the bottom: Pitch 3.
move $sx $((py + 35 + 4))  # the thumb now stands at -1: rows 0..7
press
move $sx $((py + 35 + 5))
glide $sx $((py + 35 + 5)) $sx $((py + 35 + 100))
lift
f3=$(frequency)
near "$f3" 1200 1500 && pass "released at the bottom: Pitch 3 plays ${f3} Hz" || fail "at the bottom '${f3}' Hz, not about 1323"
shot thumb-bottom
click 375 340  # Stop

# About: the main window makes way for the about window until "OK".
click 425 370
if ui_until 5 has_at 300 250 250 187 && ui_until 3 no_at 350 300 150 100; then
  pass "about window shown, main window hidden"
  shot about
  click 312 262
  ui_until 5 no_at 300 250 250 187 && ui_until 5 has_at 350 300 150 100 &&
    pass "OK closed the about window and brought the main window back" ||
    fail "after OK: $(ui_windows | tr '\n' ';')"
else
  fail "About did not swap the windows: $(ui_windows | tr '\n' ';')"
fi

# The "X" ends the program and the panel goes with it.
click 495 304
ended() { ! kill -0 "$program_pid" 2>/dev/null; }
if ui_until 15 ended; then
  wait "$program_pid"
  code=$?
  [ $code -eq 0 ] && pass "program ended with code 0" || fail "program ended with code $code"
else
  fail "the program did not end after X"
fi
no_sized 150 100 || fail "a panel stayed on screen"

echo "$failures failure(s); screenshots in $work"
[ $failures -eq 0 ]
