#!/usr/bin/env bash
# Sixty seconds of the real program left alone, a counter through the
# passthrough, on the sound server named (22050 Hz devices, so nothing
# resamples): every stretch must come from the right pass of the playback
# ring. Silences and slips of the sound server are printed, not judged.
# bench/soak.sh does the run, in a sandbox of its own; this one only skips
# outside the sandbox of scripts/sandbox.sh, as the other end-to-end tests.
# Usage: streaming_test.sh pulseaudio|pipewire PROGRAM.exe WORK-DIR
set -uo pipefail
server=$1
program=$2
work=$3
top=$(cd "$(dirname "$0")/../.." && pwd)
. "$top/scripts/checks.sh"
checks_need_sandbox xdotool pacat python3 wine
[ "$server" = pulseaudio ] && checks_need_sandbox pulseaudio
[ "$server" = pipewire ] && checks_need_sandbox pipewire pipewire-pulse wireplumber dbus-daemon
rm -rf "$work"
mkdir -p "$work"
export SANDBOX_SERVER=$server SANDBOX_RATE=22050 SOAK_OUT=$work
export SOAK_SECONDS=${STREAMING_SECONDS:-60} SOAK_BUSY=${STREAMING_BUSY:-0}
exec bash "$top/bench/soak.sh" passthrough "$program"
