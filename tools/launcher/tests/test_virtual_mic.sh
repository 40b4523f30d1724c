#!/usr/bin/env bash
# The launcher's virtual microphone with a stand-in for wine, on a sound
# server of its own of each kind scripts/sandbox.sh has (a kind that is not
# installed is skipped, and said so): the two devices and their
# descriptions while the program runs, a microphone that programs list as
# one (mono, no monitor), their removal however the run ends (the program
# ends, Wine is killed, the launcher gets TERM, INT or HUP), the clean-up of
# what a launcher killed outright left behind, and the refusals.
set -uo pipefail
set -m  # jobs in their own process groups, so that INT reaches them
top=$(cd "$(dirname "$0")/../../.." && pwd)
skip=77

if [ -z "${VMIC_SERVER:-}" ]; then
  . "$top/scripts/sandbox.sh"
  base=$(mktemp -d "/tmp/voxotrope virtual mic.XXXXXX")
  reader=""
  trap '[ -n "$reader" ] && kill "$reader" 2>/dev/null; sandbox_sound_stop; rm -rf "$base"' EXIT
  ran=0 failed=()
  for server in pulseaudio pipewire; do
    need=(pulseaudio)
    [ $server = pipewire ] && need=(pipewire pipewire-pulse wireplumber dbus-daemon)
    for tool in "${need[@]}" pactl; do
      command -v "$tool" >/dev/null || { echo "=== $server: no $tool, skipped"; continue 2; }
    done
    echo "=== $server"
    ran=$((ran + 1))
    SANDBOX_SERVER=$server sandbox_sound_start "$base/$server" || { failed+=("$server: no start"); continue; }
    cat "$SANDBOX_FIFO" >/dev/null &  # a full pipe would stall the server
    reader=$!
    VMIC_SERVER=$server bash "$0" || failed+=("$server")
    kill "$reader"; wait "$reader" 2>/dev/null; reader=""
    sandbox_sound_stop
  done
  [ $ran -gt 0 ] || { echo "no sound server: skipped"; exit $skip; }
  [ ${#failed[@]} -eq 0 ] || { echo "FAILED: ${failed[*]}"; exit 1; }
  exit 0
fi

work=$(mktemp -d "/tmp/voxotrope launcher.XXXXXX")
failures=0
check() {
  local text=$1
  shift
  if "$@"; then echo "ok: $text"; else echo "FAIL: $text"; failures=$((failures + 1)); fi
}
until_true() {  # until_true SECONDS COMMAND...
  local tries=$(( $1 * 10 ))
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}

touch "$work/voxotrope.exe"  # the stand-in never reads it
"$top/scripts/install.sh" install "$work/prefix" "$work/voxotrope.exe" >/dev/null
launcher=$work/prefix/bin/voxotrope

# The stand-in notes its pid and the sinks it could see at its start, then
# does what STUB_MODE says.
cat >"$work/wine" <<'STUB'
#!/bin/sh
[ "$1" = wineboot ] && { mkdir -p "$WINEPREFIX"; touch "$WINEPREFIX/system.reg"; exit 0; }
pactl list short sinks >"$STUB_DIR/seen"
echo $$ >"$STUB_DIR/pid"
case $STUB_MODE in
  exit) exit 3 ;;
  *) exec sleep 60 ;;
esac
STUB
chmod +x "$work/wine"
export VOXOTROPE_WINE=$work/wine VOXOTROPE_WINEPREFIX=$work/wineprefix STUB_DIR=$work STUB_MODE=sleep

cleanup() {
  [ -f "$work/pid" ] && kill -9 "$(cat "$work/pid")" 2>/dev/null
  for id in $(pactl list short modules | awk '/voxotrope_/ { print $1 }' | sort -rn); do
    pactl unload-module "$id"
  done
  rm -rf "$work"
}
trap cleanup EXIT

modules() { pactl list short modules | grep -c 'voxotrope_' ; }
none_left() { [ "$(modules)" -eq 0 ]; }
description() {  # description sinks|sources NAME
  pactl list "$1" | awk -v name="$2" '$1 == "Name:" { on = ($2 == name) } on && $1 == "Description:" { sub(/^[ \t]*Description: /, ""); print; exit }'
}
property() {  # property sinks|sources NAME KEY
  pactl list "$1" | awk -v name="$2" -v key="$3" '$1 == "Name:" { on = ($2 == name) } on && $1 == key { gsub(/"/, "", $3); print $3; exit }'
}
field() {  # field SOURCE NAME: a "Name: value" line of the source
  pactl list sources | awk -v name="$1" -v key="$2:" '$1 == "Name:" { on = ($2 == name) }
    on && index($0, "\t" key " ") == 1 { sub(/^\t[^:]*: /, ""); print; exit }'
}
stub_running() { [ -f "$work/pid" ] && kill -0 "$(cat "$work/pid")" 2>/dev/null; }
ended() { ! kill -0 "$1" 2>/dev/null; }

start() {  # starts the launcher in the background (pid in $launched) and waits for the stand-in
  rm -f "$work/pid" "$work/seen"
  "$launcher" --virtual-mic 2>>"$work/launcher.log" &
  launched=$!
  until_true 10 stub_running
}

# Set-up.
start
check "the stand-in runs" stub_running
check "the output existed before Wine started" grep -qw voxotrope_output "$work/seen"
check "output described as \"Voxotrope output\"" test "$(description sinks voxotrope_output)" = "Voxotrope output"
check "microphone described as \"Voxotrope microphone\"" \
  test "$(description sources voxotrope_microphone)" = "Voxotrope microphone"
# A loud square wave played on the output, a second at a time (PipeWire
# wakes the devices slowly, the more so on a busy machine): the microphone
# hears a quarter of a second of it within five.
heard() {
  python3 -c '
import array, sys
data = open(sys.argv[1], "rb").read()
a = array.array("h", data[: len(data) // 2 * 2])
sys.exit(0 if sum(abs(x) > 8000 for x in a) > 5512 else 1)' "$work/heard.raw"
}
parec -d voxotrope_microphone --raw --rate=22050 --channels=1 --format=s16le --latency-msec=50 >"$work/heard.raw" &
recorder=$!
for _ in 1 2 3 4 5; do
  python3 -c 'import sys; sys.stdout.buffer.write(((b"\x00\x40" * 25 + b"\x00\xc0" * 25) * 441))' |
    pacat -d voxotrope_output --raw --rate=22050 --channels=1 --format=s16le
  sleep 0.2
  heard && break
done
kill $recorder; wait $recorder 2>/dev/null
check "the microphone hears the output" heard
# What browsers and chat programs go by when they list microphones.
check "the microphone is mono" test "$(field voxotrope_microphone 'Channel Map')" = mono
check "the microphone is no monitor" test "$(field voxotrope_microphone 'Monitor of Sink')" = n/a
check "the microphone's device class is not monitor" \
  test "$(property sources voxotrope_microphone device.class)" != monitor
[ "$VMIC_SERVER" = pipewire ] && check "the microphone is an Audio/Source" \
  test "$(property sources voxotrope_microphone media.class)" = Audio/Source
check "two modules" test "$(modules)" -eq 2
kill -TERM $launched
wait $launched
code=$?
check "TERM: the launcher ends with 143" test $code -eq 143
check "TERM: both devices are gone" until_true 5 none_left
check "TERM: the program was stopped" until_true 5 sh -c "! kill -0 $(cat "$work/pid") 2>/dev/null"

for signal in INT HUP; do
  start
  kill -$signal $launched
  wait $launched
  check "$signal: the launcher ends" until_true 5 ended $launched
  check "$signal: both devices are gone" until_true 5 none_left
  check "$signal: the program was stopped" until_true 5 sh -c "! kill -0 $(cat "$work/pid") 2>/dev/null"
done

# The program ends on its own: its exit code passes through.
STUB_MODE=exit "$launcher" --virtual-mic 2>>"$work/launcher.log"
check "program ending with 3: the launcher returns 3" test $? -eq 3
check "program ended: both devices are gone" until_true 5 none_left

# Wine killed outright.
start
kill -9 "$(cat "$work/pid")"
wait $launched
check "Wine killed: both devices are gone" until_true 5 none_left

# The launcher killed outright leaves both devices; the next start removes
# them and makes its own, once.
start
kill -9 $launched
wait $launched 2>/dev/null
check "launcher killed: the devices stay" test "$(modules)" -eq 2
kill -9 "$(cat "$work/pid")"
start
first=$launched
check "next start: one output, one microphone" test "$(modules)" -eq 2
check "next start: the devices are its own" \
  test "$(property sinks voxotrope_output voxotrope.launcher)" = "$first"

# A second launcher while the first runs is refused and leaves the first's
# devices alone.
saved=$(cat "$work/pid")
"$launcher" --virtual-mic 2>"$work/second.log"
code=$?
check "a second launcher is refused" test $code -eq 1
check "it says why" grep -q "already has the virtual microphone" "$work/second.log"
check "the first's devices stay" test "$(property sinks voxotrope_output voxotrope.launcher)" = "$first"
echo "$saved" >"$work/pid"
kill -TERM $first
wait $first
check "after the first ends nothing is left" until_true 5 none_left

# No sound server: an error, and Wine is not started.
rm -f "$work/pid"
PULSE_SERVER=unix:$work/nothing "$launcher" --virtual-mic 2>"$work/none.log"
code=$?
check "no server: refused" test $code -ne 0
check "no server: the program was not started" test ! -f "$work/pid"

echo "$failures failure(s)"
[ $failures -eq 0 ]
