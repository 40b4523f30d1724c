#!/usr/bin/env bash
# Sixty seconds of the real program left alone, a counter through the
# passthrough, on the sound server named (22050 Hz devices, so nothing
# resamples). The recording is judged as heard by bench/heard_check.py,
# which forgives nothing: no sound written a byte off, no jump over 6000
# samples (a stretch from another pass of the playback ring), at most 2 % of
# the time disturbed; and by bench/soak_check.py, which finds every stretch
# from the wrong pass of the ring. bench/soak.sh does the run, in a sandbox
# of its own; this one only skips outside the sandbox of scripts/sandbox.sh,
# as the other end-to-end tests. With STREAMING_HANDS=mouse|slider|menu a
# person's hands are on the program all along (bench/soak.sh's SOAK_HANDS),
# and the share of the time silenced or left out is printed as well.
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
export SOAK_SECONDS=${STREAMING_SECONDS:-60} SOAK_BUSY=${STREAMING_BUSY:-0} SOAK_HANDS=${STREAMING_HANDS:-}
bash "$top/bench/soak.sh" passthrough "$program" || exit 1
grep -h "^heard:" "$work/passthrough.summary"
[ -z "$SOAK_HANDS" ] && exit 0
awk '/^figures:/ {
    for (i = 2; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] }
    bad = f["wrong_pass"] > 0 || f["disturbed_pct"] > 2
    printf "hands (%s): %s %% silenced or left out, %s ms played twice (%s ms from the ring'"'"'s previous pass)%s\n",
      hands, f["disturbed_pct"], f["replayed_ms"], f["wrong_pass_ms"], bad ? ": too much" : ""
    exit bad }' hands="$SOAK_HANDS" "$work/passthrough.summary"
