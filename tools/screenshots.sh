#!/usr/bin/env bash
# Takes the screenshots in docs/: runs the built program under Wine on a
# private display and sound server, presses through its windows with
# xdotool and crops each window out of a picture of the screen.
#
#   tools/screenshots.sh [BUILD-DIR]      (default build/win64)
#
# Writes docs/device-dialog.png, main-window.png, fx-menu.png, one
# panel-<effect>.png per effect, about.png, and docs/README-screenshots.md
# showing them. A window that is 97 % one colour has not been drawn
# (a placeholder), so it is reported and left out.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build/win64}" && pwd)
exe=$build/voxotrope.exe
docs=$top/docs
[ -f "$exe" ] || { echo "screenshots: no $exe; build the win64 program first" >&2; exit 1; }
for tool in xdotool import convert; do
  command -v $tool >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
done

export WINEPREFIX=$build/wineprefix
. "$top/scripts/sandbox.sh"
wine_available || { echo "screenshots: Wine is missing" >&2; exit 1; }
work=$(mktemp -d)
program=""
# Wine draws the captions itself for this program only (there is no window
# manager on the private display); the key goes again at the end.
decoration_key='HKCU\Software\Wine\AppDefaults\voxotrope.exe\X11 Driver'
# This Wine does not find its own font folder, and the captions' close box
# is a Marlett glyph: the font is lent to the prefix while the shots are taken.
marlett=/usr/share/wine/fonts/marlett.ttf
lent_font=""
finish() {
  [ -n "$program" ] && kill "$program" 2>/dev/null
  wine reg delete "$decoration_key" /f >/dev/null 2>&1 || true
  [ -n "$lent_font" ] && rm -f "$lent_font"
  sandbox_stop
  rm -rf "$work"
}
trap finish EXIT
sandbox_start "$build/sandbox"
wine reg add "$decoration_key" /v Managed /d N /f >/dev/null 2>&1
fonts=$WINEPREFIX/drive_c/windows/Fonts
if [ -f "$marlett" ] && [ ! -f "$fonts/marlett.ttf" ]; then
  cp "$marlett" "$fonts/" && lent_font=$fonts/marlett.ttf
fi

visible_windows() {
  xdotool search --onlyvisible --name '.*' 2>/dev/null | sort
}

# wait_for_window COMMAND...: polls until COMMAND prints a window id.
wait_for_window() {
  local id
  for _ in $(seq 100); do
    id=$("$@" | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null; }

# new_window BEFORE-LIST: a visible window that is not in the list.
new_window() {
  comm -13 <(echo "$1") <(visible_windows)
}

# geometry ID: "WIDTHxHEIGHT+X+Y" of a window on the screen.
geometry() {
  local WINDOW X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "${WIDTH}x${HEIGHT}+${X}+${Y}"
}

shots=()
# capture ID NAME CAPTION: crops the window out of the screen into docs/NAME.png.
capture() {
  local file=$docs/$2.png
  sleep 0.7  # let the window finish painting
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$(geometry "$1")" +repage "$work/$2.png"
  # The pixel count of the commonest colour, against the window's area.
  local commonest area
  commonest=$(convert "$work/$2.png" -format %c histogram:info:- | sort -rn | awk -F: 'NR == 1 { print $1 + 0 }')
  area=$(convert "$work/$2.png" -format '%[fx:w*h]' info:)
  if [ $((commonest * 100)) -ge $((area * 97)) ]; then
    echo "screenshots: $2 is nearly all one colour (not drawn yet); left out" >&2
    rm -f "$file"
    return
  fi
  mv "$work/$2.png" "$file"
  shots+=("$2|$3")
  echo "screenshots: docs/$2.png"
}

click() {  # click ID X Y: a left click at client-relative X, Y of the window
  xdotool mousemove --window "$1" "$2" "$3" click 1
}

mkdir -p "$docs"
wine "$exe" >"$work/program.log" 2>&1 &
program=$!

dialog=$(wait_for_window named "Select Device") || { echo "screenshots: no device dialog" >&2; exit 1; }
capture "$dialog" device-dialog "The output device dialog at start"
xdotool key Return  # the dialog has the keyboard focus: OK

main=$(wait_for_window named Voxotrope) || { echo "screenshots: no main window" >&2; exit 1; }
capture "$main" main-window "The main window"

# fx_menu: opens the FX menu and prints its window id.
fx_menu() {
  local before
  before=$(visible_windows)
  click "$main" 125 40
  wait_for_window new_window "$before"
}

menu=$(fx_menu) || { echo "screenshots: the FX menu did not open" >&2; exit 1; }
capture "$menu" fx-menu "The FX menu"
xdotool key Escape
sleep 0.3

effects=(Pitch Volume Triangle AM Reverse Crazy Deeper)
for i in "${!effects[@]}"; do
  effect=${effects[$i]}
  menu=$(fx_menu) || { echo "screenshots: the FX menu did not open" >&2; exit 1; }
  eval "$(xdotool getwindowgeometry --shell "$menu" | grep HEIGHT)"
  before=$(visible_windows)
  # Seven items of equal height inside a two-pixel frame.
  click "$menu" 20 $((2 + (HEIGHT - 4) * (2 * i + 1) / 14))
  if panel=$(wait_for_window new_window "$before"); then
    capture "$panel" "panel-${effect,,}" "The $effect panel"
    click "$panel" 145 5  # its X button
    sleep 0.3
  else
    echo "screenshots: the $effect panel did not open" >&2
  fi
done

# The about window bears the main window's title and takes its place.
other_than_main() { named Voxotrope | grep -vx "$main"; }
click "$main" 75 70  # About
if about=$(wait_for_window other_than_main); then
  capture "$about" about "The about window"
  click "$about" 12 12  # OK
else
  echo "screenshots: the about window did not open" >&2
fi
sleep 0.5
if main=$(wait_for_window named Voxotrope); then
  click "$main" 145 5  # X: the program ends
fi
for _ in $(seq 50); do kill -0 "$program" 2>/dev/null || break; sleep 0.2; done
program=""

{
  echo "## Screenshots"
  echo
  echo "Voxotrope under Wine, taken by \`tools/screenshots.sh\`."
  echo
  for shot in "${shots[@]}"; do
    echo "![${shot#*|}](${shot%%|*}.png)"
    echo
  done
} >"$docs/README-screenshots.md"
echo "screenshots: docs/README-screenshots.md"
