#!/usr/bin/env bash
# The plugin bundle as hosts see it: valid against the LV2 schemas, listed by
# lilv, rendering speech at 22050 Hz exactly as voxotrope-render does, one
# block (4000 samples) later, with controls set by hand and by each factory
# preset; at 44100 and 48000 Hz as the renderer does at 22050 Hz with its
# output converted to the host's rate, exactly as late as the latency port
# says. Exit 77 (skipped) only where a tool is missing.
#
#   test_lv2.sh BUNDLE RENDERER SPEECH.wav
set -uo pipefail
bundle=$1 renderer=$2 speech=$3
uri=urn:voxotrope:lv2
for tool in sord_validate lv2info lv2apply sox; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LV2_PATH=$(dirname "$bundle")
# The factory voices only, never a user's file of the same name.
export XDG_CONFIG_HOME=$work/config
failed=0
fail() { echo "FAIL: $*"; failed=1; }

sord_validate /usr/lib/lv2/*.lv2/*.ttl "$bundle"/*.ttl >"$work/validate" 2>&1 ||
  { cat "$work/validate"; fail "sord_validate found errors"; }

lv2info "$uri" >"$work/info" 2>&1 || { cat "$work/info"; fail "lv2info does not list $uri"; }

# lv2apply writes the input's format; in 32-bit float both ways every 16-bit
# sample x travels as x / 32768 exactly, so the two outputs compare as bytes.
[ -f "$speech" ] || { speech=$work/synth.wav; sox -n -r 22050 -c 1 -b 16 "$speech" synth 3 sine 200:2000 vol 0.9; }
sox "$speech" -e floating-point -b 32 "$work/in.wav"
frames=$(soxi -s "$speech")
compare() {  # compare NAME "LV2 CONTROLS" "RENDER OPTIONS"
  local name=$1 controls=$2 options=$3
  # shellcheck disable=SC2086
  LV2_PATH=$LV2_PATH lv2apply -i "$work/in.wav" -o "$work/plugin.wav" $controls "$uri" ||
    { fail "$name: lv2apply failed"; return; }
  # shellcheck disable=SC2086
  "$renderer" $options "$speech" "$work/render.wav" || { fail "$name: voxotrope-render failed"; return; }
  sox -V1 "$work/plugin.wav" -t f32 "$work/plugin.f32" && sox "$work/render.wav" -t f32 "$work/render.f32"
  [ "$(stat -c %s "$work/plugin.f32")" -eq $((frames * 4)) ] || fail "$name: lv2apply wrote a frame count other than the input's"
  head -c 16000 "$work/plugin.f32" | cmp -s - <(head -c 16000 /dev/zero) || fail "$name: the first block is not silence"
  cmp <(tail -c +16001 "$work/plugin.f32") <(head -c $(((frames - 4000) * 4)) "$work/render.f32") ||
    fail "$name: the plugin's output differs from the renderer's one block earlier"
}
compare all-seven "-c pitch 1 -c volume 1 -c triangle 1 -c am 1 -c reverse 1 -c crazy 1 -c deeper 1 -c volume_eighths 52" \
  "--fx pitch,volume,triangle,am,reverse,crazy,deeper --volume 52"
compare pitch3-am-crazy "-c pitch 1 -c volume 1 -c am 1 -c crazy 1 -c pitch_factor 3 -c volume_eighths 20" \
  "--fx pitch,volume,am,crazy --pitch 3 --volume 20"

# At a host's rate the chain runs at 22050 Hz inside: Reverse turns fifths
# of a second, the AM square wave buzzes at its pitch. The input is the
# speech converted to the host's rate, the reference the renderer's output
# converted the same way (sox); where the plugin ran at the host's rate
# instead, the difference is as loud as the sound (+3 dB). Passing through,
# the delay that lines the two up best is the one the latency port reports.
for rate in 44100 48000; do
  latency=$(python3 "$(dirname "$0")/lv2_compare.py" latency "$bundle/voxotrope.so" $rate 2>/dev/null)
  sox "$speech" -r $rate -e floating-point -b 32 "$work/in$rate.wav"
  for setting in "none||" "reverse-am-volume|-c reverse 1 -c am 1 -c volume 1 -c volume_eighths 20|--fx reverse,am,volume --volume 20"; do
    IFS='|' read -r name controls options <<<"$setting"
    # shellcheck disable=SC2086
    LV2_PATH=$LV2_PATH lv2apply -i "$work/in$rate.wav" -o "$work/plugin.wav" $controls "$uri" &&
      "$renderer" $options "$speech" "$work/render.wav" &&
      sox -V1 "$work/plugin.wav" -t f32 "$work/plugin.f32" &&
      sox "$work/render.wav" -r $rate -e floating-point -b 32 -t f32 "$work/render.f32" 2>/dev/null ||
      { fail "$rate Hz $name: a tool failed"; continue; }
    read -r best level < <(python3 "$(dirname "$0")/lv2_compare.py" compare "$work/plugin.f32" "$work/render.f32" "$latency")
    echo "$rate Hz, $name: latency port $latency, best delay $best, difference $level dB"
    [ "$best" = "$latency" ] || fail "$rate Hz $name: the output is $best frames late, the port says $latency"
    # A tolerance of -20 dB; measured: -40.5 passing through, -26.8 with the effects.
    awk -v level="$level" 'BEGIN { exit !(level <= -20) }' || fail "$rate Hz $name: $level dB from the renderer's"
  done
done

# Every factory voice is a preset that hosts list, and sounds as the voice:
# the presets' port values as the triples a host reads.
sordi -i turtle -o ntriples "$bundle/presets.ttl" "file://$bundle/" | awk '
  /lv2core#port> / { owner[$3] = $1 }
  /lv2core#symbol> / { gsub(/"/, "", $3); symbol[$1] = $3 }
  /presets#value> / { sub(/\^\^.*/, "", $3); gsub(/"/, "", $3); value[$1] = $3 }
  END {
    for (b in owner) { name = owner[b]; sub(/.*:/, "", name); sub(/>$/, "", name); controls[name] = controls[name] " -c " symbol[b] " " value[b] }
    for (name in controls) print name controls[name]
  }' >"$work/presets"
sed -n '/Presets:/,/^$/p' "$work/info" >"$work/listed"
for voice in $("$renderer" --voices | awk '{ print $1 }'); do
  grep -qw "$voice" "$work/listed" || fail "preset $voice: lv2info does not list it"
  controls=$(awk -v n="$voice" '$1 == n { $1 = ""; print }' "$work/presets")
  [ -n "$controls" ] || { fail "preset $voice: not in presets.ttl"; continue; }
  compare "preset $voice" "$controls" "--voice $voice"
done

[ $failed -eq 0 ] && echo "PASS"
exit $failed
