#!/usr/bin/env bash
# The demo as a newcomer meets it: scripts/run.sh with no desktop session
# says so, builds the program and runs the default demo on virtual devices.
# It has to end by itself; leave per setting a recording that carries sound,
# its spectrogram and its screenshot, and the page; and leave nothing running
# that it started (Xvfb, the sound server, Wine, the program, the players),
# which are found by a mark in the environment they all inherit. Then a demo
# whose program stops taking clicks once its main window shows: the quit
# fails, and the demo has to say so, fail, and still end the program.
# Usage: demo_test.sh SECONDS WORK-DIR
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
limit=$1
work=$2
. "$top/scripts/checks.sh"

rm -rf "$work"
mkdir -p "$work"
out=$top/build/demo
touch "$work/stamp"
mark=$$-$RANDOM
started() { grep -lsz "^VOXOTROPE_DEMO_MARK=${1:-$mark}\$" /proc/[0-9]*/environ | cut -d/ -f3; }

begin=$(date +%s)
env -u DISPLAY -u WAYLAND_DISPLAY VOXOTROPE_DEMO_MARK=$mark \
  timeout --kill-after=10 "$limit" "$top/scripts/run.sh" >"$work/run.log" 2>&1
code=$?
took=$(( $(date +%s) - begin ))
[ $code -eq 0 ] && pass "scripts/run.sh ended by itself after $took s" ||
  fail "scripts/run.sh gave $code after $took s (124: stopped at $limit s): $(tail -n 5 "$work/run.log")"
head -n 1 "$work/run.log" | grep -q "^No desktop session here" && pass "one line says there is no desktop" ||
  fail "first line: $(head -n 1 "$work/run.log")"
grep -q "file://$out/index.html" "$work/run.log" && pass "it says where the page is" || fail "no word of the page"

# Every file new; every recording at least as long as the phrase (4.7 s) and
# not silent: AM, the quietest, plays about 0.0025 RMS, silence 0.
bad=()
for name in passthrough pitch volume triangle am reverse crazy deeper all; do
  for file in "$name.wav" "$name.png" "$name-spectrogram.png"; do
    [ "$out/$file" -nt "$work/stamp" ] || bad+=("$file missing")
  done
  read -r length rms < <(sox "$out/$name.wav" -n stat 2>&1 |
    awk '/^Length/ { l = $3 } /^RMS +amplitude/ { r = $3 } END { print l + 0, r + 0 }')
  awk -v l="$length" -v r="$rms" 'BEGIN { exit !(l >= 4.7 && r >= 0.001) }' || bad+=("$name.wav: $length s, RMS $rms")
  grep -q "src=\"$name.wav\"" "$out/index.html" 2>/dev/null || bad+=("$name not on the page")
done
[ ${#bad[@]} -eq 0 ] && pass "nine recordings with sound, their spectrograms, screenshots and the page" ||
  fail "$(IFS=';'; echo "${bad[*]}")"

gone() { [ -z "$(started)" ]; }
if ui_until 10 gone; then
  pass "nothing it started is left running"
else
  left=$(started)
  fail "left running: $(ps -o pid=,args= -p "$(echo $left | tr ' ' ,)" | tr '\n' ';')"
  kill $left 2>/dev/null
fi

echo "--- a quit that fails"
mark=$$-$RANDOM
env -u DISPLAY -u WAYLAND_DISPLAY VOXOTROPE_DEMO_MARK=$mark timeout --kill-after=10 300 \
  "$top/scripts/run.sh" --demo --effects passthrough --out "$work/stuck" >"$work/stuck.log" 2>&1 &
runner=$!
checks_track $runner
program=""
main_window() {  # the program on the demo's display, once its main window shows
  local pid display
  for pid in $(started); do
    grep -qa 'voxotrope\.exe' "/proc/$pid/cmdline" 2>/dev/null || continue
    display=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | sed -n 's/^DISPLAY=//p')
    DISPLAY=$display xdotool search --onlyvisible --name '^Voxotrope$' >/dev/null 2>&1 && program=$pid && return 0
  done
  return 1
}
ui_until 120 main_window && kill -STOP "$program"
wait $runner
code=$?
grep -q "did not end when its X was pressed" "$work/stuck.log" && [ $code -ne 0 ] && [ $code -ne 124 ] &&
  ! grep -q "^Done" "$work/stuck.log" && pass "the failed quit fails the demo (exit $code)" ||
  fail "failed quit: exit $code: $(tail -n 3 "$work/stuck.log")"
grep -q "^demo: the program (process $program) was still running: ended it" "$work/stuck.log" &&
  ui_until 10 gone && pass "and the program was ended: $(grep '^demo:' "$work/stuck.log" | tr '\n' ' ')" ||
  { fail "after the failed quit: $(started | tr '\n' ' ') left; $(tail -n 3 "$work/stuck.log")"; kill -9 $(started) 2>/dev/null; }

echo "$failures failure(s); the demo's output is in $out"
[ $failures -eq 0 ]
