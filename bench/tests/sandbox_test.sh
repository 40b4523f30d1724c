#!/usr/bin/env bash
# Every sound-server variant of scripts/sandbox.sh that the bench runs on:
# it comes up with its two devices in their format as the defaults, noise
# played at the program's 22050 Hz mono comes out of the speaker's pipe
# converted and whole (bench/soak_check.py), and stopping it leaves none of
# its processes. Variants whose server is not installed are skipped. It runs
# in a folder whose path holds a space, with the environment pointing at a
# decoy of the user's own servers, which no part of it may reach.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "/tmp/voxotrope sandbox test.XXXXXX")
. "$top/scripts/sandbox.sh"
python=python3
python3 -c 'import numpy' 2>/dev/null || python=/usr/bin/python3
failures=0 ran=0
reader="" decoy=""
trap '[ -n "$reader" ] && kill "$reader" 2>/dev/null; [ -n "$decoy" ] && kill "$decoy"; sandbox_sound_stop; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The decoy listens where the environment says the user's servers are and
# notes every connection.
mkdir -p "$work/user/pulse"
$python - "$work/user" <<'PY' &
import os, select, socket, sys
root = sys.argv[1]
listeners = {}
for name in ("pulse/native", "pipewire-0", "bus", "other-pulse"):
    s = socket.socket(socket.AF_UNIX)
    s.bind(os.path.join(root, name))
    s.listen(8)
    listeners[s] = name
open(os.path.join(root, "ready"), "w").close()
while True:
    for s in select.select(list(listeners), [], [])[0]:
        s.accept()[0].close()
        with open(os.path.join(root, "contacted"), "a") as log:
            log.write(listeners[s] + "\n")
PY
decoy=$!
for _ in $(seq 50); do [ -f "$work/user/ready" ] && break; sleep 0.1; done
as_the_user() {
  export XDG_RUNTIME_DIR=$work/user PULSE_SERVER=unix:$work/user/other-pulse
  export PIPEWIRE_RUNTIME_DIR=$work/user PIPEWIRE_REMOTE=$work/user/pipewire-0
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/user/bus PULSE_SINK=speakers_of_the_user
}

for server in pulseaudio pipewire; do
  need=(pulseaudio)
  [ "$server" = pipewire ] && need=(pipewire pipewire-pulse wireplumber dbus-daemon)
  for tool in "${need[@]}" pactl pacat; do
    command -v "$tool" >/dev/null || { echo "$server: no $tool, skipped"; continue 2; }
  done
  for rate in 22050 48000; do
    ran=$((ran + 1))
    dir=$work/$server-$rate
    as_the_user
    SANDBOX_SERVER=$server SANDBOX_RATE=$rate sandbox_sound_start "$dir" || { fail "$server $rate: no start"; continue; }
    started=("${sandbox_sound_pids[@]}")
    [ "$(pactl get-default-sink)" = speaker ] && [ "$(pactl get-default-source)" = mic.monitor ] ||
      fail "$server $rate: defaults $(pactl get-default-sink) $(pactl get-default-source)"
    format=$(pactl list short sinks | awk '$2 == "speaker" { print $4, $5, $6 }')
    [ "$format" = "s16le ${SANDBOX_CHANNELS}ch ${rate}Hz" ] || fail "$server $rate: speaker is $format"
    cat "$SANDBOX_FIFO" >"$dir/played.raw" &
    reader=$!
    $python "$top/bench/signal.py" noise | head -c $((22050 * 2 * 3)) |
      pacat -d speaker --raw --rate=22050 --channels=1 --format=s16le
    sleep 0.5
    kill "$reader"; wait "$reader" 2>/dev/null; reader=""
    check=$($python "$top/bench/soak_check.py" noise "$dir/played.raw" "$rate" "$SANDBOX_CHANNELS")
    grep -q "^figures: seconds=[23]\..* wrong_pass=0 .*slips=0 unknown=0" <<<"$check" ||
      fail "$server $rate: $check"
    sandbox_sound_stop
    for pid in "${started[@]}"; do
      kill -0 "$pid" 2>/dev/null && fail "$server $rate: process $pid outlived the stop"
    done
    [ $failures -eq 0 ] && echo "ok: $server at $rate Hz"
  done
done
[ -s "$work/user/contacted" ] && fail "the user's servers were contacted: $(sort -u "$work/user/contacted" | tr '\n' ' ')"
[ $ran -gt 0 ] || { echo "no sound server: skipped"; exit 77; }
echo "$failures failure(s)"
[ $failures -eq 0 ]
