#!/usr/bin/env bash
# Random mouse input over all of the program's windows for two minutes
# (MOUSE_SECONDS): moves, clicks, right clicks and drags, some with Shift,
# anywhere on the main window (but its X), the panels, the FX menu and the
# about window, while a tone streams through. Checks all along that the
# program lives, that no Wine crash is reported, and that the window set is
# consistent: one main window or the about window, at most seven panels.
# At the end it closes every panel and opens each effect's panel from the FX
# menu once more: a panel that does not open means its effect flag outlived
# its panel; with all panels closed the tone must come back unchanged.
#
#   bench/random_mouse.sh [PROGRAM.exe]    (MOUSE_SEED for a repeatable run)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath -m "${1:-$top/build/win64/voxotrope.exe}")  # Wine wants absolute paths
seconds=${MOUSE_SECONDS:-120}
out=${MOUSE_OUT:-$top/build/random-mouse}
RANDOM=${MOUSE_SEED:-$$}
[ -f "$exe" ] || { echo "mouse: no $exe" >&2; exit 1; }
mkdir -p "$out"
export WINEPREFIX=${VOXOTROPE_BENCH_WINEPREFIX:-$(dirname "$exe")/bench-wineprefix}
. "$top/scripts/sandbox.sh"
. "$top/scripts/uidrive.sh"
root=$(mktemp -d /tmp/voxotrope-mouse.XXXXXX)
pids=()
finish() {
  xdotool keyup shift 2>/dev/null; xdotool mouseup 1 2>/dev/null
  ui_stop
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  sandbox_stop
  rm -rf "$root"
}
trap finish EXIT
trap 'exit 1' INT TERM
failures=0
recent=()  # the last actions, shown with a failure
fail() {
  echo "FAIL: $*"
  [ ${#recent[@]} -gt 0 ] && printf '  after: %s\n' "${recent[@]}"
  failures=$((failures + 1))
  ui_shot "$out/failure-$failures.png"
}
note() { recent+=("$*"); [ ${#recent[@]} -gt 6 ] && recent=("${recent[@]:1}"); }

sandbox_start "$root" >/dev/null || exit 1
sox -n -r 22050 -c 1 -b 16 "$root/tone.wav" synth $((seconds + 120)) sine 441 vol 0.5
paplay -d mic "$root/tone.wav" &
pids+=($!)
cat "$SANDBOX_FIFO" >"$root/speaker.raw" &
pids+=($!)
ui_start "$exe" "$out/program.log" || exit 1
ui_transport

screen_w=1024 screen_h=768
# The program's windows that take part, "id x y w h kind".
targets() {
  ui_windows | awk -v main="$ui_main" '
    $1 == main { print $0, "main"; next }
    $4 == 150 && $5 == 100 { print $0, "panel"; next }
    $4 == 250 && $5 == 187 { print $0, "about"; next }
    $4 < 150 && $5 > 100 && $5 < 200 { print $0, "menu" }'
}
# Consistency of the window set.
consistent() {
  local list panels mains abouts
  list=$(targets)
  panels=$(grep -c ' panel$' <<<"$list")
  mains=$(grep -c ' main$' <<<"$list")
  abouts=$(grep -c ' about$' <<<"$list")
  [ "$panels" -le 7 ] && [ $((mains + abouts)) -eq 1 ] && { echo "$panels"; return 0; }
  echo "$panels panels, main $mains, about $abouts"
  return 1
}
# The X server may show a window change a little after the program made it:
# a set is wrong only if it stays wrong for two seconds.
settled() {
  local state
  for _ in 1 2 3 4; do
    state=$(consistent) && { most=$(( ${state:-0} > most ? ${state:-0} : most )); return 0; }
    sleep 0.5
  done
  fail "$state"
}
# Modal dialogs a click may bring up (the AM panel's open-file dialog, a
# message box): closed with Escape so that the run goes on.
dismiss_dialogs() {
  local id
  for id in $(ui_windows | awk '$4 > 250 || $5 > 187 { print $1 }'); do
    [ "$id" = "$ui_main" ] && continue
    echo "  dialog \"$(xdotool getwindowname "$id" 2>/dev/null)\" closed"
    xdotool windowfocus "$id" 2>/dev/null; xdotool key Escape 2>/dev/null
    sleep 0.5
  done
}

actions=0 drags=0 clicks=0 checks=0 most=0
begin=$(date +%s)
while [ $(( $(date +%s) - begin )) -lt "$seconds" ]; do
  ui_alive || { fail "the program died after $(( $(date +%s) - begin )) s"; break; }
  mapfile -t list < <(targets)
  [ ${#list[@]} -gt 0 ] || { sleep 0.5; dismiss_dialogs; continue; }
  read -r id x y w h kind <<<"${list[RANDOM % ${#list[@]}]}"
  px=$((RANDOM % w)) py=$((RANDOM % h))
  # The main window's X would end the run.
  [ "$kind" = main ] && [ $px -ge 138 ] && [ $py -le 11 ] && continue
  xdotool mousemove $((x + px)) $((y + py)) 2>/dev/null
  action=$((RANDOM % 10))
  note "$(date +%T) $kind ($x, $y) at +$px+$py: $(case $action in 0|1|2|3) echo click;; 4) echo right;; 5|6|7) echo drag;; *) echo move;; esac)"
  case $action in
    0|1|2|3) xdotool click 1 2>/dev/null; clicks=$((clicks + 1)) ;;
    4) xdotool click 3 2>/dev/null ;;
    5|6|7)  # a drag that keeps the window on the screen
      local_shift=$((RANDOM % 4 == 0))
      [ $local_shift -eq 1 ] && xdotool keydown shift 2>/dev/null
      dx=$(( RANDOM % 161 - 80 )) dy=$(( RANDOM % 121 - 60 ))
      [ $((x + dx)) -lt 0 ] && dx=$(( -x )); [ $((x + w + dx)) -gt $screen_w ] && dx=$(( screen_w - w - x ))
      [ $((y + dy)) -lt 0 ] && dy=$(( -y )); [ $((y + h + dy)) -gt $screen_h ] && dy=$(( screen_h - h - y ))
      xdotool mousedown 1 2>/dev/null
      for i in 1 2 3 4 5; do
        xdotool mousemove $((x + px + dx * i / 5)) $((y + py + dy * i / 5)) 2>/dev/null
        sleep 0.02
      done
      xdotool mouseup 1 2>/dev/null
      [ $local_shift -eq 1 ] && xdotool keyup shift 2>/dev/null
      xdotool mousemove_relative 1 0 2>/dev/null  # the drag ends at the next move
      drags=$((drags + 1)) ;;
    *) ;;  # a move only
  esac
  actions=$((actions + 1))
  sleep 0.05
  dismiss_dialogs
  if [ $((actions % 10)) -eq 0 ]; then
    settled
    checks=$((checks + 1))
  fi
  if grep -qi "unhandled\|page fault" "$out/program.log"; then
    fail "Wine reports a crash: $(grep -i -m1 'unhandled\|page fault' "$out/program.log")"
    break
  fi
done
echo "random input: $actions actions ($clicks left clicks, $drags drags) in $seconds s, $checks consistency checks, at most $most panels open at once"
ui_shot "$out/after-random.png"

if ui_alive; then
  # Back to a known state: the menu closed, the main window shown.
  for _ in 1 2 3; do
    xdotool key Escape 2>/dev/null; sleep 0.3
    about=$(targets | awk '$6 == "about" { print $1; exit }')
    [ -z "$about" ] && break
    xdotool mousemove --window "$about" 100 100 2>/dev/null; sleep 0.2  # ends a drag elsewhere
    ui_click "$about" 12 12
    sleep 0.7
  done
  # A click may go to a window that still holds the mouse capture from a
  # drag; a move without a button ends any drag, and the X is tried again.
  for _ in 1 2 3; do
    for id in $(targets | awk '$6 == "panel" { print $1 }'); do
      xdotool mousemove --window "$id" 140 20 2>/dev/null; sleep 0.1
      xdotool mousemove --window "$id" 141 20 2>/dev/null; sleep 0.1
      ui_click "$id" 145 5
    done
    sleep 0.5
  done
  left=$(targets | grep -c ' panel$')
  [ "$left" -eq 0 ] || fail "$left panels did not close at their X"
  ui_panel=()
  # Each panel opens again: no flag stayed set without its panel.
  for effect in "${ui_effects[@]}"; do
    if ui_open "$effect" 2>/dev/null || { xdotool key Escape; sleep 0.5; ui_open "$effect"; }; then
      ui_close "$effect"
    else
      fail "the $effect panel no longer opens"
    fi
  done
  # All closed: the tone passes unchanged (441 Hz, the input's level).
  # The random clicks may have left the sound stopped: then Start.
  listen() {
    ui_park
    sleep 1.5
    mark=$(stat -c %s "$root/speaker.raw")
    sleep 1.5
    tail -c +$((mark + 1)) "$root/speaker.raw" | head -c 44100 >"$out/closed.raw"
    read -r frequency peak < <(od -An -v -td2 -w2 "$out/closed.raw" | awk '
      { n++; v = $1 < 0 ? -$1 : $1; if (v > peak) peak = v
        if (state <= 0 && $1 > 2000) { rises++; state = 1 } else if (state >= 0 && $1 < -2000) state = -1 }
      END { printf "%d %d\n", n ? rises * 22050 / n : 0, peak }')
  }
  listen
  [ "$peak" -lt 1000 ] && { echo "the sound was stopped: Start"; ui_transport; listen; }
  echo "with every panel closed: ${frequency} Hz, peak ${peak}"
  passes() { [ "$frequency" -ge 420 ] && [ "$frequency" -le 470 ] && [ "$peak" -ge 15000 ] && [ "$peak" -le 17500 ]; }
  # Sound that repeats exactly after the ring's 8000 samples is the ring
  # playing on its own: no block is processed any more.
  looping() {
    od -An -v -td2 -w2 "$out/closed.raw" | awk '{ s[NR] = $1 } END {
      for (i = 1; i + 8000 <= NR; i++) if (s[i] != s[i + 8000]) exit 1 }'
  }
  if ! passes; then
    fail "the tone does not pass unchanged"
    looping && echo "  the output repeats every 8000 samples: the playback ring plays on, no block is processed"
    ui_transport; ui_transport  # Stop, Start
    listen
    echo "  after Stop and Start: ${frequency} Hz, peak ${peak}$(passes && echo ", the tone passes again")"
  fi
  ui_transport
  ui_quit || fail "the program did not end at X"
else
  fail "the program is gone"
fi
echo "$failures failure(s); screenshots and the program's output in $out"
[ $failures -eq 0 ]
