#!/usr/bin/env bash
# voxotrope-live's voices, commands from elsewhere and the unit, on a private
# PipeWire server at 22050 Hz: each factory voice without AM comes out of
# "Voxotrope microphone" block for block as `voxotrope-render --voice` makes
# it; --send changes the running instance and the next blocks show it (a
# voice, bypass and back, toggle), and the monitor plays the same samples on
# the default output only while on; a malformed voice file and a missing
# instance give their one line; the user unit passes systemd-analyze verify,
# and its command line comes back with the settings in force before.
#
# Voices with AM are left to the plugin's test: the built-in carrier turns
# in 499 samples, so its phase at the first block of speech depends on how
# long the program ran before, which the renderer cannot know.
#
# Usage: live_voices_test.sh VOXOTROPE-LIVE VOXOTROPE-RENDER SPEECH.raw
set -uo pipefail
live=$(realpath "$1") render=$2 speech=$3
top=$(cd "$(dirname "$0")/../../.." && pwd)
. "$top/tools/live/tests/live_common.sh" voices-test systemd-analyze

SANDBOX_SERVER=pipewire SANDBOX_RATE=22050 sandbox_sound_start "$work/sandbox" || { echo "FAIL: no sandbox"; exit 1; }

# The unit as the package installs it, with this build's program; its manual
# page where `man` finds it.
mkdir -p "$work/unit" "$work/man/man1"
text=$(<"$top/tools/live/voxotrope-live.service.in")
printf '%s\n' "${text//@BINDIR@/$(dirname "$live")}" >"$work/unit/voxotrope-live.service"
cp "$top/tools/live/voxotrope-live.1" "$work/man/man1/"
MANPATH=$work/man systemd-analyze --user verify "$work/unit/voxotrope-live.service" >"$work/verify.log" 2>&1
status=$?
check "systemd-analyze verify: status $status, nothing said" test $status -eq 0 -a ! -s "$work/verify.log"
cat "$work/verify.log"

# Two seconds of speech between half a second of silence, as in live_test.sh.
{ head -c 22050 /dev/zero; head -c $((22050 * 2 * 2)) "$speech"; head -c 22050 /dev/zero; } >"$work/speech.raw"
sox -t raw -r 22050 -c 1 -b 16 -e signed-integer -L "$work/speech.raw" "$work/speech.wav"

run_voice() {  # run_voice NAME: 0 equal, 1 different, 3 the sandbox lost sound
  local name=$1 pid recorder fed status
  "$live" --voice "$name" </dev/null >"$work/$name.log" 2>&1 &
  pid=$!
  pids+=($pid)
  wait_for source_listed || { echo "no source for $name"; kill $pid; return 1; }
  "${rt[@]}" pw-record --target voxotrope_live --rate 22050 --channels 1 --format s16 "$work/rec-$name.wav" &
  recorder=$!
  "${rt[@]}" pw-record --target mic --rate 22050 --channels 1 --format s16 "$work/fed-$name.wav" &
  fed=$!
  pids+=($recorder $fed)
  sleep 0.5
  "${rt[@]}" pw-play --target mic --rate 22050 --channels 1 --format s16 "$work/speech.wav"
  sleep 1
  kill $recorder $fed
  wait $recorder $fed 2>/dev/null
  sox "$work/rec-$name.wav" -t raw "$work/rec-$name.raw"
  sox "$work/fed-$name.wav" -t raw "$work/fed-$name.raw"
  python3 "$top/tools/live/tests/live_compare.py" "$render" "$work/speech.raw" "$work/fed-$name.raw" \
    "$work/rec-$name.raw" "$work" --voice "$name"
  status=$?
  kill -INT $pid
  wait $pid
  wait_for eval '! source_listed'
  return $status
}
for name in $("$live" --voices | awk '$0 !~ /fx [^ ]*am/ { print $1 }'); do
  for attempt in 1 2 3; do
    run_voice "$name"
    status=$?
    [ $status -eq 3 ] || break
  done
  check "--voice $name: block for block as voxotrope-render --voice $name" test $status -eq 0
done

# A steady tone, whose mean level tells the states apart: the tone as it is
# (bypass), Triangle alone half as loud again, megaphone and fuzz three times.
mkdir -p "$XDG_CONFIG_HOME/voxotrope/voices"
printf 'fx volume\nvolume 99\n' >"$XDG_CONFIG_HOME/voxotrope/voices/broken.voice"
sox -n -r 22050 -c 1 -b 16 "$work/tone.wav" synth 12 sine 300 vol 0.3
cat "$SANDBOX_FIFO" >"$work/speaker.raw" &
pids+=($!)
"$live" --voice megaphone </dev/null >"$work/send.log" 2>&1 &
pid=$!
pids+=($pid)
check "the source appears" wait_for source_listed
"${rt[@]}" pw-record --target voxotrope_live --rate 22050 --channels 1 --format s16 "$work/sent.wav" &
recorder=$!
pids+=($recorder)
"${rt[@]}" pw-play --target mic "$work/tone.wav" &
player=$!
pids+=($player)
send() {  # send COMMAND EXPECTED-ANSWER-PART
  local answer
  answer=$("$live" --send "$1")
  check "--send '$1': $answer" test $? -eq 0 -a -n "$(grep -F -- "$2" <<<"$answer")"
  sleep 1.5
}
sleep 1.5
send "bypass" "fx none  pitch 2  volume 20  bypass  voice megaphone  monitor off"
send "monitor on" "monitor on"
send "bypass" "fx volume,triangle  pitch 2  volume 20  voice megaphone  monitor on"
send "monitor off" "monitor off"
send "toggle volume" "fx triangle  pitch 2  volume 20  voice megaphone (changed)  monitor off"
send "voice fuzz" "fx crazy  pitch 2  volume 8  voice fuzz  monitor off"
answer=$("$live" --send "voice broken" 2>&1)
check "a malformed voice: one line that names file and line ($answer)" \
  test "$(wc -l <<<"$answer")" -eq 1 -a -n "$(grep -F "broken.voice:2: volume: '99'" <<<"$answer")"
answer=$("$live" --send "source nosuch" 2>&1)
check "a source that is not there, sent: refused in one line ($answer)" \
  test $? -eq 2 -a "$(wc -l <<<"$answer")" -eq 1 -a -n "$(grep -F "nosuch" <<<"$answer")"
before=$("$live" --send status)
check "the voice in force stays" test "$before" = "fx crazy  pitch 2  volume 8  voice fuzz  monitor off"
kill $recorder $player
wait $recorder $player 2>/dev/null
kill -INT $pid
wait $pid
check "SIGINT ends it with 0" test $? -eq 0
sox "$work/sent.wav" -t raw "$work/sent.raw"
# Stretches of 1000 samples as states by their mean level (measured: 6260,
# 9780, 18700), runs of one dropped: a stretch across a change is neither.
states=$(python3 - "$work/sent.raw" <<'EOF'
import array, itertools, sys
data = array.array("h")
data.frombytes(open(sys.argv[1], "rb").read())
levels = [sum(map(abs, data[at:at + 1000])) / 1000 for at in range(0, len(data) - 1000, 1000)]
names = ["silent" if m < 3000 else "tone" if m < 8000 else "triangle" if m < 14000 else "loud" for m in levels]
runs = [name for name, run in itertools.groupby(names) if len(list(run)) > 1 and name != "silent"]
print(" ".join(name for name, _ in itertools.groupby(runs)))
EOF
)
check "the blocks after each command show it: $states" test "$states" = "loud tone loud triangle loud"
python3 - "$work/sent.raw" "$work/speaker.raw" <<'EOF'
import array, sys
source, speaker = (open(path, "rb").read() for path in sys.argv[1:])
played = array.array("h")
played.frombytes(speaker)
# The monitor was on for three seconds, across the bypass's end: the tone,
# then megaphone.
loud = sum(1 for s in played if abs(s) > 15000)
tone = sum(1 for s in played if 500 < abs(s) < 15000)
whole = any(source.find(speaker[at:at + 8000]) >= 0 for at in range(0, len(speaker) - 8000, 8000))
print(f"speaker: {len(played)} samples, {tone} of the tone and {loud} full scale, the source's samples: {whole}")
sys.exit(0 if 22050 <= len(played) <= 22050 * 5 and tone and loud and whole else 1)
EOF
check "the monitor played the source's samples while on, and then nothing" test $? -eq 0

# The unit's command line, with the settings in force before.
command=$(sed -n 's/^ExecStart=//p' "$work/unit/voxotrope-live.service")
$command </dev/null >"$work/unit.log" 2>&1 &
pid=$!
pids+=($pid)
check "the unit's command line gives the microphone" wait_for source_listed
after=$("$live" --send status)
check "with the settings in force before ($after)" test "$after" = "$before"
kill $pid
wait $pid
check "SIGTERM ends it with 0" test $? -eq 0
answer=$("$live" --send status 2>&1)
status=$?
check "no instance: status 1 and one line ($answer)" test $status -eq 1 -a "$(wc -l <<<"$answer")" -eq 1
echo "$failures failure(s)"
[ $failures -eq 0 ]
