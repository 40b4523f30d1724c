#!/usr/bin/env bash
# voxotrope launcher: runs the installed Voxotrope program under Wine, in a
# Wine prefix of its own that is made on first use.
#
#   voxotrope                 run the program
#   voxotrope --virtual-mic   also make the output device "Voxotrope output"
#                             and the microphone "Voxotrope microphone" fed
#                             by it, for as long as the program runs; choose
#                             "Voxotrope output" in the program's device
#                             dialog and any other program can record the
#                             changed voice from "Voxotrope microphone"
#
# VOXOTROPE_WINE names another wine command, VOXOTROPE_WINEPREFIX another
# prefix; VOXOTROPE_PRIORITY=0 leaves the threads' priority alone.
set -uo pipefail

datadir=@DATADIR@
exe=$datadir/voxotrope.exe
# The program is 64-bit: run it with Wine's 64-bit loader where there is one,
# for the `wine` wrapper prefers the 32-bit loader when 32-bit Wine is
# installed, and that fails on machines that cannot execute 32-bit code.
wine=${VOXOTROPE_WINE:-}
if [ -z "$wine" ]; then
  for candidate in /usr/lib/wine/wine64 /usr/lib64/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 \
                   /opt/wine-stable/bin/wine64 "$(command -v wine64 2>/dev/null)"; do
    [ -n "$candidate" ] && [ -x "$candidate" ] && { wine=$candidate; export WINELOADER=$candidate; break; }
  done
  wine=${wine:-wine}
fi
export WINEPREFIX=${VOXOTROPE_WINEPREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/voxotrope/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

sink=voxotrope_output
source=voxotrope_microphone

usage() { sed -n '4,11s/^# \{0,1\}//p' "$0"; }

virtual=0
case "${1:-}" in
  "") ;;
  --virtual-mic) virtual=1 ;;
  -h|--help) usage; exit 0 ;;
  *) echo "voxotrope: unknown option '$1'" >&2; usage >&2; exit 2 ;;
esac

[ -f "$exe" ] || { echo "voxotrope: the program is missing ($exe); install it again" >&2; exit 1; }
command -v "$wine" >/dev/null || { echo "voxotrope: Wine is missing (sudo apt-get install --no-remove wine wine64)" >&2; exit 1; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "voxotrope: preparing Wine in $WINEPREFIX (once)" >&2
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
fi

# Wine 8.0 gives its threads no priority: on a busy machine the program's
# sound threads and wineserver wait behind every other process, and sound is
# lost. Sound servers' own threads get real-time scheduling from the
# desktop's RealtimeKit; ask for the same for every thread of the program and
# of its wineserver, directly where that is allowed (root, or a real-time
# limit), else through RealtimeKit. Best effort: refused, nothing changes.
boost_thread() {  # boost_thread PID TID
  chrt -f -p 10 "$2" 2>/dev/null && return
  command -v busctl >/dev/null || return
  # RealtimeKit wants a limit on the real-time CPU time first.
  prlimit --pid "$1" --rttime=200000:200000 2>/dev/null
  busctl --system call org.freedesktop.RealtimeKit1 /org/freedesktop/RealtimeKit1 \
    org.freedesktop.RealtimeKit1 MakeThreadRealtimeWithPID ttu "$1" "$2" 10 2>/dev/null
}
boost_program() {  # boost_program PID: until it ends; its threads come and go
  local pid task done=" " server
  while kill -0 "$1" 2>/dev/null; do
    server=$(for pid in $(pgrep -x -u "$(id -u)" wineserver); do
      tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done)
    for pid in "$1" $server; do
      for task in /proc/"$pid"/task/*; do
        [ -e "$task" ] || continue
        case $done in *" $pid/${task##*/} "*) continue ;; esac
        boost_thread "$pid" "${task##*/}"
        done="$done$pid/${task##*/} "
      done
    done
    sleep 2
  done
}

if [ $virtual -eq 0 ]; then
  [ "${VOXOTROPE_PRIORITY:-1}" = 0 ] || boost_program $$ </dev/null >/dev/null 2>&1 &
  exec "$wine" "$exe"
fi

# Module lines of ours, "ID launcher-pid", from `pactl list short modules`.
our_modules() {
  pactl list short modules 2>/dev/null | awk -v sink="sink_name=$sink" -v source="source_name=$source" '
    index($0, sink) || index($0, source) {
      pid = ""
      if (match($0, /voxotrope\.launcher=[0-9]+/)) pid = substr($0, RSTART + 19, RLENGTH - 19)
      print $1, pid
    }'
}

# Leaves of a launcher that was killed outright: removed by name, the
# microphone before the output it listens to. Devices of a launcher that
# still runs are left alone.
remove_leftovers() {
  local id pid ids=()
  while read -r id pid; do
    [ -n "$id" ] || continue
    if [ -n "$pid" ] && [ "$pid" != $$ ] && kill -0 "$pid" 2>/dev/null &&
       grep -qa voxotrope "/proc/$pid/cmdline" 2>/dev/null; then
      echo "voxotrope: another Voxotrope (process $pid) already has the virtual microphone" >&2
      exit 1
    fi
    ids=("$id" "${ids[@]}")
  done < <(our_modules)
  for id in "${ids[@]}"; do pactl unload-module "$id" 2>/dev/null; done
}

modules=()
child=""
tear_down() {
  local id
  [ -n "$child" ] && kill "$child" 2>/dev/null
  for id in "${modules[@]}"; do pactl unload-module "$id" 2>/dev/null; done
  modules=()
}
trap tear_down EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

command -v pactl >/dev/null || { echo "voxotrope: pactl is missing (sudo apt-get install --no-remove pulseaudio-utils)" >&2; exit 1; }
pactl info >/dev/null 2>&1 || { echo "voxotrope: no sound server answers, so no virtual microphone" >&2; exit 1; }
remove_leftovers

id=$(pactl load-module module-null-sink sink_name=$sink rate=22050 channels=1 \
  "sink_properties=\"device.description='Voxotrope output' voxotrope.launcher=$$\"") ||
  { echo "voxotrope: the sound server refused the device \"Voxotrope output\"" >&2; exit 1; }
modules=("$id")
# A source of its own over the monitor, for programs list monitors apart or
# not at all; mono, for PipeWire would make it stereo.
id=$(pactl load-module module-remap-source source_name=$source master=$sink.monitor channels=1 channel_map=mono \
  "source_properties=\"device.description='Voxotrope microphone' voxotrope.launcher=$$\"") ||
  { echo "voxotrope: the sound server refused the device \"Voxotrope microphone\"" >&2; exit 1; }
modules=("$id" "${modules[@]}")
echo "voxotrope: choose \"Voxotrope output\" in the device dialog; other programs record it from \"Voxotrope microphone\"" >&2

# In the background, so that a signal reaches the traps at once.
"$wine" "$exe" &
child=$!
[ "${VOXOTROPE_PRIORITY:-1}" = 0 ] || boost_program "$child" </dev/null >/dev/null 2>&1 &
wait "$child"
status=$?
child=""
exit $status
