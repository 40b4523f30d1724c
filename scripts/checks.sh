# Sourced by the shell tests that drive the real program: results, and the
# background processes a test starts, which all end with it. Waiting and
# listing windows (ui_until, ui_windows) come from scripts/uidrive.sh, which
# this file sources.
#
#   checks_need_sandbox TOOL...  exits 77 (skipped) without the sandbox of
#                                scripts/sandbox.sh (DISPLAY, SANDBOX_FIFO)
#                                or without one of the tools
#   checks_track PID             PID is killed and reaped when the test ends
#   pass TEXT, fail TEXT         one result line; fail counts in $failures

. "$(dirname "${BASH_SOURCE[0]}")/uidrive.sh"

failures=0
checks_pids=()

checks_need_sandbox() {
  if [ -z "${DISPLAY:-}" ] || [ ! -p "${SANDBOX_FIFO:-}" ]; then
    echo "no sandbox: skipped"
    exit 77
  fi
  local tool
  for tool in "$@"; do
    if [ "$tool" = wine ]; then wine_available; else command -v "$tool" >/dev/null; fi ||
      { echo "no $tool: skipped"; exit 77; }
  done
}

checks_track() { checks_pids+=("$1"); }

checks_cleanup() {
  local pid
  for pid in "${checks_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${checks_pids[@]}"; do wait "$pid" 2>/dev/null; done
  checks_pids=()
}
trap checks_cleanup EXIT
trap 'echo "stopped"; exit 1' TERM INT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
