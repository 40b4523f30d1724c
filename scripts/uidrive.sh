# Sourced by the demo, the launcher tests and the bench scripts: drives the
# real program with xdotool on whatever display DISPLAY names. Coordinates
# are relative to a window's own corner, so the helpers work on a bare X
# server and under a window manager alike.
#
#   ui_start EXE LOG [KEYS]  starts the program (ui_pid, its own process),
#                            answers the device dialog with KEYS then Return
#                            (default: Return only, which takes the first
#                            entry), waits for the main window (ui_main)
#   ui_launch LOG KEYS CMD.. the same through another command, a program
#                            and not a shell function
#                            (UI_DIALOG_SHOT=FILE: a screenshot of the dialog)
#   ui_open EFFECT           opens a panel from the FX menu (ui_panel[EFFECT])
#   ui_close EFFECT          presses its X
#   ui_move EFFECT X Y       drags its panel to X, Y on the screen
#   ui_slider EFFECT FROM TO moves the Pitch or Volume thumb to a new value
#   ui_transport             presses Start/Stop
#   ui_shot FILE             the program's windows, cropped from the screen
#   ui_quit                  presses the main window's X, waits for the end
#   ui_stop                  ends what ui_start or ui_launch started, if it
#                            still runs (TERM, KILL after 5 s); false if not
#   ui_process               the pid of the program's own process

. "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

ui_effects=(pitch volume triangle am reverse crazy deeper)
declare -A ui_panel=()
ui_pid=""
ui_main=""

# ui_until SECONDS COMMAND...: retries COMMAND every 0.2 s; false once SECONDS
# have passed, however long each try takes.
ui_until() {
  local deadline=$(( $(date +%s%N) / 1000000 + $1 * 1000 ))
  shift
  while :; do
    "$@" && return 0
    [ $(( $(date +%s%N) / 1000000 )) -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# Visible windows, one line each: id x y width height.
ui_windows() {
  local id WINDOW X Y WIDTH HEIGHT SCREEN
  for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
    WIDTH=0 HEIGHT=0 X=0 Y=0
    eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)"
    [ "$WIDTH" -lt 1000 ] && [ "$HEIGHT" -lt 700 ] && echo "$id $X $Y $WIDTH $HEIGHT"
  done
}

# ui_pid runs the program itself, or a command (a launcher) that runs it as a
# child: the process whose command line names an .exe.
ui_process() {
  local pid
  for pid in "$ui_pid" $(pgrep -P "$ui_pid" 2>/dev/null); do
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q '\.exe\>' && { echo "$pid"; return 0; }
  done
  echo "$ui_pid"
}

ui_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
ui_alive() { [ -n "$ui_pid" ] && kill -0 "$ui_pid" 2>/dev/null; }

# ui_click ID X Y: a left click at X, Y inside window ID.
ui_click() {
  xdotool mousemove --window "$1" "$2" "$3" 2>/dev/null
  sleep 0.1
  xdotool click 1 2>/dev/null
  sleep 0.3
}

# Parks the pointer in the screen's corner, away from every window, so that
# no mouse message re-anchors the program's playback position.
ui_park() { xdotool mousemove 1 1 2>/dev/null; sleep 0.1; }

# The loader itself and not the `wine` function, which `&` would run in a
# subshell whose end leaves the program running.
ui_start() { ui_launch "$2" "${3:-}" "${WINELOADER:-$(type -P wine)}" "$1"; }

# ui_launch LOG KEYS COMMAND...: as ui_start, with any command that ends up
# running the program (the installed launcher, say).
ui_launch() {
  local log=$1 keys=$2 dialog=""
  shift 2
  [ "$(type -t "$1")" = function ] && { echo "ui: $1 is a shell function, not a program" >&2; return 1; }
  "$@" >"$log" 2>&1 &
  ui_pid=$!
  # The dialog appears only when more than two outputs are listed.
  local found=""
  ui_found() {
    dialog=$(ui_named "Select Device")
    ui_main=$(ui_named Voxotrope)
    [ -n "$dialog" ] || [ -n "$ui_main" ]
  }
  ui_until 60 ui_found || { echo "ui: neither the device dialog nor the main window appeared" >&2; return 1; }
  if [ -n "$dialog" ]; then
    sleep 0.5
    if [ -n "$keys" ]; then
      # Focus the list with a click into it, then type. (40, 40) lies in
      # the list whether or not the window's caption is part of it.
      ui_click "$dialog" 40 40
      xdotool type --delay 150 "$keys" 2>/dev/null
      sleep 0.3
    fi
    [ -n "${UI_DIALOG_SHOT:-}" ] && ui_shot "$UI_DIALOG_SHOT"
    # OK is the default button. The dialog gets the focus and the key comes
    # through the keyboard: a key sent straight to a window stays held down
    # for Wine, and repeats into the next program.
    local attempt
    for attempt in 1 2 3; do
      xdotool windowfocus "$dialog" 2>/dev/null; xdotool key Return 2>/dev/null
      found=$(ui_until 5 sh -c 'xdotool search --onlyvisible --name "^Voxotrope\$" >/dev/null 2>&1' && echo y)
      [ -n "$found" ] && break
      xdotool windowfocus "$dialog" 2>/dev/null
    done
    [ -n "$found" ] || { echo "ui: no main window after the device dialog" >&2; return 1; }
    ui_main=$(ui_named Voxotrope)
  fi
  sleep 0.5
}

# New visible windows of the given size, against a list taken before.
ui_new_window() {  # BEFORE WIDTH HEIGHT (0 = any size)
  ui_windows | awk -v w="$2" -v h="$3" '
    NR == FNR { old[$1] = 1; next }
    !($1 in old) && (w == 0 || $4 == w) && (h == 0 || $5 == h) { print $1; exit }' <(echo "$1") -
}

ui_fx_menu() {  # prints the id of the popup menu window
  local before menu=""
  before=$(ui_windows)
  ui_click "$ui_main" 125 40
  ui_found_menu() { menu=$(ui_new_window "$before" 0 0); [ -n "$menu" ]; }
  ui_until 5 ui_found_menu || return 1
  echo "$menu"
}

ui_index() {  # the effect's place in the FX menu, from 0
  local i
  for i in "${!ui_effects[@]}"; do [ "${ui_effects[$i]}" = "$1" ] && { echo "$i"; return 0; }; done
  return 1
}

ui_open() {
  local effect=$1 index menu before panel="" HEIGHT=0 WIDTH X Y WINDOW SCREEN
  index=$(ui_index "$effect") || { echo "ui: no effect '$effect'" >&2; return 1; }
  [ -n "${ui_panel[$effect]:-}" ] && return 0
  menu=$(ui_fx_menu) || { echo "ui: the FX menu did not open" >&2; return 1; }
  eval "$(xdotool getwindowgeometry --shell "$menu")"
  before=$(ui_windows)
  # Seven items of equal height inside a two-pixel frame.
  ui_click "$menu" 20 $(( 2 + (HEIGHT - 4) * (2 * index + 1) / 14 ))
  ui_found_panel() { panel=$(ui_new_window "$before" 150 100); [ -n "$panel" ]; }
  ui_until 5 ui_found_panel || { echo "ui: the $effect panel did not open" >&2; return 1; }
  ui_panel[$effect]=$panel
  sleep 0.3
}

ui_close() {
  local panel=${ui_panel[$1]:-}
  [ -n "$panel" ] || return 0
  ui_click "$panel" 145 5
  unset "ui_panel[$1]"
}

# The first move after the press on a panel's background takes the grab
# offset, from then on the panel follows the cursor at that offset; the drag
# ends at the first move after the release.
ui_move() {
  local panel=${ui_panel[$1]:-} WINDOW X Y WIDTH HEIGHT SCREEN i
  [ -n "$panel" ] || return 1
  eval "$(xdotool getwindowgeometry --shell "$panel" 2>/dev/null)"
  local x0=$(( X + 81 )) y0=$(( Y + 20 )) x1=$(( $2 + 81 )) y1=$(( $3 + 20 ))
  xdotool mousemove $(( x0 - 1 )) "$y0" 2>/dev/null; sleep 0.05
  xdotool mousedown 1 2>/dev/null; sleep 0.1
  for i in $(seq 0 10); do
    xdotool mousemove $(( x0 + (x1 - x0) * i / 10 )) $(( y0 + (y1 - y0) * i / 10 )) 2>/dev/null
    sleep 0.05
  done
  xdotool mouseup 1 2>/dev/null; sleep 0.1
  xdotool mousemove $(( x1 + 1 )) "$y1" 2>/dev/null; sleep 0.2
}

ui_close_all() {
  local effect
  for effect in "${!ui_panel[@]}"; do ui_close "$effect"; done
}

# ui_slider EFFECT FROM TO: the thumb of a slider whose value is FROM is
# grabbed inside and dragged so that the release gives TO. Pitch: thumb top
# 18 (value - 1), a release at t gives (t + 1) / 18 + 1. Volume: thumb top
# value - 8 in a new panel, a release at t gives t + 9.
ui_slider() {
  local effect=$1 from=$2 to=$3 panel top target y
  panel=${ui_panel[$effect]:-}
  [ -n "$panel" ] || return 1
  case $effect in
    pitch) top=$(( (from - 1) * 18 )); target=$(( (to - 1) * 18 )) ;;
    volume) top=$(( from - 8 )); target=$(( to - 9 )) ;;
    *) return 1 ;;
  esac
  # The slider stands at (20, 35) in the panel; grab 4 rows into the thumb.
  y=$(( 35 + top + 4 ))
  xdotool mousemove --window "$panel" 25 "$y" 2>/dev/null; sleep 0.1
  xdotool mousedown 1 2>/dev/null; sleep 0.1
  xdotool mousemove --window "$panel" 25 $(( y + 1 )) 2>/dev/null; sleep 0.1   # grabs
  # Row by row from there to the release row, which may be the grab row
  # itself (the value stays): the direction counts from where the pointer
  # is, and seq walks a finite range.
  local at=$(( y + 1 )) end=$(( 35 + target + 5 )) step=1 row
  [ "$end" -lt "$at" ] && step=-1
  for row in $(seq $(( at + step )) $step "$end"); do
    xdotool mousemove --window "$panel" 25 "$row" 2>/dev/null
    sleep 0.02
  done
  sleep 0.1
  xdotool mouseup 1 2>/dev/null
  sleep 0.3
}

ui_transport() { ui_click "$ui_main" 25 40; }

# ui_shot FILE: the screen cropped to the box around the program's windows.
ui_shot() {
  local file=$1 box
  sleep 0.5
  box=$(ui_windows | awk '
    { l = $2; t = $3; r = $2 + $4; b = $3 + $5
      if (NR == 1 || l < L) L = l; if (NR == 1 || t < T) T = t
      if (NR == 1 || r > R) R = r; if (NR == 1 || b > B) B = b }
    END { if (NR) { L -= 10; T -= 10; if (L < 0) L = 0; if (T < 0) T = 0
                    printf "%dx%d+%d+%d\n", R - L + 10, B - T + 10, L, T } }')
  if [ -n "$box" ]; then
    import -window root -crop "$box" +repage "$file" 2>/dev/null
  else
    import -window root "$file" 2>/dev/null
  fi
}

ui_quit() {
  [ -n "$ui_main" ] && ui_alive && ui_click "$ui_main" 145 5
  ui_ended() { ! ui_alive; }
  ui_until 15 ui_ended || return 1
  wait "$ui_pid" 2>/dev/null
}

ui_stop() {
  ui_alive || return 1
  local pid=$ui_pid
  kill -TERM "$pid" 2>/dev/null
  kill -CONT "$pid" 2>/dev/null  # a stopped process takes TERM only once it runs
  ui_gone() { ! kill -0 "$pid" 2>/dev/null; }
  ui_until 5 ui_gone || kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 0
}
