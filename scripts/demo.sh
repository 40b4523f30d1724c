#!/usr/bin/env bash
# Plays a spoken phrase into the program once per effect setting and keeps
# what it plays: per setting a WAV file, its spectrogram and a screenshot,
# and one page, index.html, that shows them side by side. By default on a
# private display and sound server (scripts/sandbox.sh), so it needs neither
# a desktop nor a sound card; --real-session uses the running desktop and its
# sound server instead. Called by `scripts/run.sh --demo`.
#
#   demo.sh [--effects LIST] [--out DIR] [--real-session]
#
# LIST is comma-separated; each setting is "passthrough", "all", or effect
# names joined with "+" (pitch, volume, triangle, am, reverse, crazy,
# deeper), where pitch and volume may carry a value: pitch:3+volume:24.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=${VOXOTROPE_EXE:-$top/build/release/voxotrope.exe}
settings="passthrough,pitch,volume,triangle,am,reverse,crazy,deeper,all"
out=$top/build/demo
real=0
phrase_text="Hello, this is Voxotrope. Listen how my voice changes as I speak."
# The Volume setting of the demo when none is given: 20 eighths, 2.5 times,
# which the phrase (fed 12 dB below full scale) takes without clipping much.
default_volume=20
# Where the panels go: a lone panel right above the main window at (350,
# 300); several in two rows above it, so that none hides another.
declare -A panel_at=([pitch]="110 80" [volume]="270 80" [triangle]="430 80" [am]="590 80"
                     [reverse]="190 190" [crazy]="350 190" [deeper]="510 190")

usage() { sed -n '2,13s/^# \{0,1\}//p' "$0"; }
while [ $# -gt 0 ]; do
  case $1 in
    --effects) settings=${2:?--effects needs a list}; shift 2 ;;
    --effects=*) settings=${1#*=}; shift ;;
    --out) out=${2:?--out needs a folder}; shift 2 ;;
    --out=*) out=${1#*=}; shift ;;
    --real-session) real=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "demo: unknown option '$1'" >&2; usage >&2; exit 2 ;;
  esac
done

# Parses every setting before anything starts, so that a typo costs nothing.
# Each becomes "NAME|pitch volume ..." with values: "pitch=2 volume=20".
declare -a plan=()
for setting in ${settings//,/ }; do
  parts=()
  case $setting in
    passthrough) ;;
    all) parts=(pitch volume triangle am reverse crazy deeper) ;;
    *) IFS=+ read -r -a parts <<<"$setting" ;;
  esac
  fx=""
  for part in "${parts[@]}"; do
    name=${part%%:*} value=""
    [ "$part" != "$name" ] && value=${part#*:}
    case $name in
      pitch) value=${value:-2}
             [[ $value =~ ^[123]$ ]] || { echo "demo: pitch takes 1, 2 or 3, not '$value'" >&2; exit 2; } ;;
      volume) value=${value:-$default_volume}
              [[ $value =~ ^[0-9]+$ ]] && [ "$value" -ge 9 ] && [ "$value" -le 45 ] ||
                { echo "demo: volume takes 9 to 45 (eighths), not '$value'" >&2; exit 2; } ;;
      triangle|am|reverse|crazy|deeper)
        [ -z "$value" ] || { echo "demo: $name takes no value" >&2; exit 2; } ;;
      *) echo "demo: unknown effect '$name' in '$setting'" >&2; exit 2 ;;
    esac
    fx+=" $name=${value:-1}"
  done
  file=${setting//+/-}
  file=${file//:/}
  plan+=("$file|$fx")
done
[ ${#plan[@]} -gt 0 ] || { echo "demo: no setting given" >&2; exit 2; }

[ -f "$exe" ] || { echo "demo: no program at $exe (scripts/run.sh --demo builds it)" >&2; exit 1; }
. "$top/scripts/wine.sh"
wine_available || { echo "demo: Wine is missing (scripts/deps.sh demo installs it)" >&2; exit 1; }
for tool in xdotool import convert espeak-ng sox paplay parec pactl; do
  command -v $tool >/dev/null || { echo "demo: $tool is missing (scripts/deps.sh demo installs it)" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d /tmp/voxotrope-demo.XXXXXX)

. "$top/scripts/sandbox.sh"
. "$top/scripts/uidrive.sh"
pids=()
demo_module=""
old_source=""
finish() {
  set +e
  ui_alive && echo "demo: the program (process $ui_pid) was still running: ended it" >&2 && ui_stop
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  if [ $real -eq 1 ]; then
    [ -n "$old_source" ] && pactl set-default-source "$old_source" 2>/dev/null
    [ -n "$demo_module" ] && pactl unload-module "$demo_module" 2>/dev/null
  else
    sandbox_stop
  fi
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 1' INT TERM HUP

# For the page and the spectrograms' titles: names, and what each effect does.
declare -A effect_title=([pitch]=Pitch [volume]=Volume [triangle]=Triangle [am]=AM
                         [reverse]=Reverse [crazy]=Crazy [deeper]=Deeper)
declare -A effect_about=(
  [pitch]="raises the voice by squeezing its waves"
  [volume]="louder, clipped at full scale"
  [triangle]="reshapes every half-wave into a triangle"
  [am]="multiplies the voice with a buzzing square wave"
  [reverse]="plays each fifth of a second backwards"
  [crazy]="makes every half-wave as loud as it can be"
  [deeper]="one octave down (half of the sound is dropped)")

# label " pitch=3 volume=20 am=1" -> "Pitch 3 + Volume 20 + AM"; "" -> "Passthrough".
label() {
  local item name text=""
  for item in $1; do
    name=${item%%=*}
    text+=" + ${effect_title[$name]}"
    case $name in pitch|volume) text+=" ${item#*=}" ;; esac
  done
  text=${text# + }
  echo "${text:-Passthrough}"
}

# about FX: one sentence on a setting, for the page.
about() {
  local items=($1)
  case ${#items[@]} in
    0) echo "No effect: the voice as captured, about a third of a second later." ;;
    1) local name=${items[0]%%=*} value=${items[0]#*=}
       case $name in
         pitch) echo "${effect_about[pitch]^}: factor $value." ;;
         volume) echo "${effect_about[volume]^}: $value eighths of the level." ;;
         *) echo "${effect_about[$name]^}." ;;
       esac ;;
    7) echo "All seven effects, one after the other in the order of the FX menu." ;;
    *) echo "These effects one after the other, in the order of the FX menu." ;;
  esac
}

# spectrogram NAME TITLE: NAME-spectrogram.png beside NAME.wav in the output
# folder. A title that is one word may not be the name of a sox effect
# ("Reverse"), for sox would take it for the next effect.
spectrogram() {
  sox "$out/$1.wav" -n spectrogram -x 600 -y 200 -t "$2" -c "" -o "$out/$1-spectrogram.png"
}

# page_row NAME TITLE TEXT SCREENSHOT: one setting on the page.
page_row() {
  cat <<HTML
<section>
  <div class="text"><h2>$2</h2><p>$3</p><audio controls preload="metadata" src="$1.wav"></audio></div>
  <a class="shot" href="$4"><img src="$4" alt="the program's windows"></a>
  <div class="spectrogram"><img src="$1-spectrogram.png" alt="spectrogram of $1.wav"></div>
</section>
HTML
}

# index.html in the output folder: per setting its screenshot, spectrogram
# and a player. The links are relative, so the page works from file:// and
# wherever the folder is moved.
write_page() {
  local entry name
  {
    cat <<'HTML'
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Voxotrope demo</title>
<style>
  body { font-family: sans-serif; margin: 1.5em; background: #eceef0; color: #222; }
  section { display: flex; align-items: center; gap: 1.5em; background: #fff;
            padding: 0.8em 1em; margin-bottom: 0.8em; border-radius: 6px; }
  .text { flex: 0 0 18em; }
  h2 { margin: 0 0 0.3em; font-size: 1.15em; }
  p { margin: 0 0 0.6em; }
  audio { width: 100%; }
  .shot { flex: 0 0 220px; text-align: center; }
  .shot img { max-width: 100%; max-height: 240px; vertical-align: middle; }
  .spectrogram { flex: 1 1 0; min-width: 0; max-width: 744px; }
  .spectrogram img { width: 100%; }
</style>
</head>
<body>
<h1>Voxotrope demo</h1>
<p>One spoken phrase played into the program's microphone once per setting,
and what the program played back. Each row: the setting, its recording, the
program's windows, and the spectrogram of the recording (time across,
frequency upwards to 11 kHz, loudness as brightness).</p>
HTML
    page_row input "Input" "The phrase as it was fed in." main-window.png
    for entry in "${plan[@]}"; do
      name=${entry%%|*}
      page_row "$name" "$(label "${entry#*|}")" "$(about "${entry#*|}")" "$name.png"
    done
    echo "</body>"
    echo "</html>"
  } >"$out/index.html"
}

# The phrase, made now: mono, 22050 Hz, 16 bit, 12 dB below full scale.
espeak-ng -w "$work/espeak.wav" "$phrase_text"
sox "$work/espeak.wav" -r 22050 -c 1 -b 16 -e signed-integer "$work/phrase.wav" gain -n -12 pad 0.2 0.2
cp "$work/phrase.wav" "$out/input.wav"
spectrogram input "The phrase as fed in"

if [ $real -eq 1 ]; then
  [ -n "${DISPLAY:-}" ] || { echo "demo: --real-session needs a desktop session (DISPLAY is not set)" >&2; exit 1; }
  pactl info >/dev/null 2>&1 || { echo "demo: --real-session needs a running sound server" >&2; exit 1; }
  export WINEPREFIX=${WINEPREFIX:-$(dirname "$exe")/wineprefix}
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -f "$WINEPREFIX/system.reg" ] || { echo "Creating the Wine prefix $WINEPREFIX (once)"; wineboot -i >/dev/null 2>&1; }
  # The program records the default microphone: for the run, that becomes
  # the monitor of a sink the phrase is played into; the old default comes
  # back at the end. What the program plays is taken from the monitor of
  # the default output, so it is heard as well.
  old_source=$(pactl get-default-source)
  demo_module=$(pactl load-module module-null-sink sink_name=voxotrope_demo_phrase rate=22050 channels=1 \
    sink_properties='device.description="Voxotrope demo phrase"')
  pactl set-default-source voxotrope_demo_phrase.monitor
  feed=voxotrope_demo_phrase
  parec -d @DEFAULT_MONITOR@ --rate=22050 --channels=1 --format=s16le --latency-msec=50 >"$work/speaker.raw" &
  pids+=($!)
else
  export WINEPREFIX=${VOXOTROPE_DEMO_WINEPREFIX:-$(dirname "$exe")/demo-wineprefix}
  [ -f "$WINEPREFIX/system.reg" ] || echo "Creating a Wine prefix for the demo in $WINEPREFIX (once, about a minute)"
  sandbox_start "$work/sandbox" >/dev/null
  feed=mic
  cat "$SANDBOX_FIFO" >"$work/speaker.raw" &
  pids+=($!)
fi

echo "Starting the program"
ui_start "$exe" "$work/program.log"
ui_shot "$out/main-window.png"
if menu=$(ui_fx_menu); then
  ui_shot "$out/fx-menu.png"
  xdotool key Escape 2>/dev/null
  sleep 0.3
fi
ui_transport  # Start
pitch=2 volume=8

for entry in "${plan[@]}"; do
  name=${entry%%|*}
  ui_close_all
  items=(${entry#*|})
  for item in "${items[@]}"; do
    effect=${item%%=*} value=${item#*=}
    ui_open "$effect"
    if [ ${#items[@]} -eq 1 ]; then ui_move "$effect" 350 190; else ui_move "$effect" ${panel_at[$effect]}; fi
    case $effect in
      pitch) [ "$value" -ne $pitch ] && ui_slider pitch $pitch "$value" && pitch=$value ;;
      volume) ui_slider volume $volume "$value"; volume=$value ;;
    esac
  done
  ui_park  # also hides the slider's tooltip
  ui_shot "$out/$name.png"
  sleep 0.6  # what was played before the setting changed has passed
  mark=$(stat -c %s "$work/speaker.raw")
  # A sound server that stalls would hold paplay for ever.
  timeout 60 paplay -d "$feed" "$work/phrase.wav" || { echo "demo: the phrase could not be played" >&2; exit 1; }
  sleep 0.7  # about 0.3 s through the program, the rest through the servers
  end=$(stat -c %s "$work/speaker.raw")
  mark=$(( mark / 2 * 2 )) end=$(( end / 2 * 2 ))
  # head first: tail reads to the end of what it is given, so no part of
  # the pipe is cut off early, which under pipefail would end the demo.
  head -c "$end" "$work/speaker.raw" | tail -c +$(( mark + 1 )) >"$work/$name.raw"
  sox -t raw -r 22050 -c 1 -b 16 -e signed-integer -L "$work/$name.raw" "$out/$name.wav"
  spectrogram "$name" "What the program played: $(label "${entry#*|}")"
  echo "  $name: $out/$name.wav"
done

ui_close_all  # panels may cover the main window's buttons
ui_transport  # Stop
ui_quit || { echo "demo: the program did not end when its X was pressed" >&2; exit 1; }
write_page
echo "Done: ${#plan[@]} recordings with their spectrograms and screenshots, and the input phrase, are in $out"
echo "See and hear them all on one page: file://$out/index.html"
