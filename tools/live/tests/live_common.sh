# shellcheck shell=bash
# What the shell tests of voxotrope-live share, sourced after `top` is set:
#   . live_common.sh NAME [TOOL...]
# skips (77) where PipeWire's tools or a TOOL are missing, or the speech
# samples ($speech); makes $work (kept with KEEP set) with voices and saved
# settings of the test's own, never the user's; stops whatever is in `pids`
# and the sandbox at the end. Brings check, wait_for, source_listed and rt.
for tool in pipewire pipewire-pulse wireplumber dbus-daemon pactl pw-play pw-record sox "${@:2}"; do
  command -v "$tool" >/dev/null || { echo "no $tool: skipped"; exit 77; }
done
[ -f "$speech" ] || { echo "no speech samples: skipped"; exit 77; }
work=$(mktemp -d "/tmp/voxotrope-$1.XXXXXX")
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
. "$top/scripts/sandbox.sh"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; sandbox_sound_stop; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
failures=0
check() {  # check TEXT COMMAND...
  local text=$1
  shift
  if "$@"; then echo "ok: $text"; else echo "FAIL: $text"; failures=$((failures + 1)); fi
}
# Feeders and recorders at real-time priority where that is allowed, so
# that a busy machine does not drop what they should compare.
rt=()
chrt -f 10 true 2>/dev/null && rt=(chrt -f 10)
source_listed() { pactl list short sources | grep -q voxotrope_live; }
wait_for() {  # wait_for COMMAND...: up to 5 s
  local i
  for i in $(seq 50); do "$@" && return 0; sleep 0.1; done
  return 1
}
