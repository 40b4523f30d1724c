#!/usr/bin/env bash
# The long runs of bench/soak.sh over every sandbox variant: each sound
# server and device rate, idle and beside busy processes, with no effect and
# with all seven, untouched. Writes a table of the results (a markdown
# table for bench/README.md) to OUT/table.md and prints it.
#
#   bench/soak_matrix.sh [PROGRAM.exe]
#
# PROGRAM.exe may be a traced build (it gets VOXOTROPE_TRACE; see
# bench/soak.sh and SOAK_TRACE_SUMMARY for the corrections column).
# MATRIX_SERVERS (pulseaudio pipewire; pipewire alone without PulseAudio), MATRIX_RATES (22050 48000),
# MATRIX_LOADS (idle busy), MATRIX_CHAINS (passthrough effects),
# MATRIX_BUSY (4 CPU-bound processes beside the program when busy),
# SOAK_SECONDS (600 per run), MATRIX_OUT (build/soak-matrix).
# 2 x 2 x 2 x 2 runs of 10 minutes: about three hours. Run on demand.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath -m "${1:-$top/build/win64/voxotrope.exe}")  # Wine wants absolute paths
out=${MATRIX_OUT:-$top/build/soak-matrix}
export SOAK_SECONDS=${SOAK_SECONDS:-600}
[ -f "$exe" ] || { echo "matrix: no $exe" >&2; exit 1; }
mkdir -p "$out"
table=$out/table.md

# value KEY FILE: the value of KEY on the "figures:" line of a summary, or -.
value() {
  local v
  v=$(sed -n "s/^figures: .*\b$1=\([^ ]*\).*/\1/p" "$2" | head -n 1)
  echo "${v:--}"
}

{
  echo "| server | devices | load | chain | checked | wrong pass (first at) | silences (inserted) | slips | silent blocks | corrections | CPU |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|"
} >"$table"
status=0
servers=${MATRIX_SERVERS:-pulseaudio pipewire}
if [ -z "${MATRIX_SERVERS:-}" ] && ! command -v pulseaudio >/dev/null; then
  echo "matrix: no PulseAudio here, PipeWire only"
  servers=pipewire
fi
for server in $servers; do
  for rate in ${MATRIX_RATES:-22050 48000}; do
    for load in ${MATRIX_LOADS:-idle busy}; do
      for chain in ${MATRIX_CHAINS:-passthrough effects}; do
        run=$out/$server-$rate-$load
        busy=0
        [ "$load" = busy ] && busy=${MATRIX_BUSY:-4}
        SANDBOX_SERVER=$server SANDBOX_RATE=$rate SOAK_BUSY=$busy SOAK_OUT=$run \
          "$top/bench/soak.sh" "$chain" "$exe" || status=1
        summary=$run/$chain.summary
        devices="$rate Hz mono"
        [ "$rate" != 22050 ] && devices="$rate Hz stereo"
        if [ -f "$summary" ] && grep -q '^figures: ' "$summary"; then
          corrections=$(sed -n 's/^trace: //p' "$summary" | head -n 1)
          # The effects make quiet stretches of their own: only silent
          # blocks count there.
          silences="$(value silences "$summary"), $(value silence_ms "$summary") ms ($(value inserted "$summary"))"
          [ "$chain" = effects ] && silences=-
          printf '| %s | %s | %s | %s | %s s | %s, %s ms (%s s) | %s | %s | %s | %s | %s %% |\n' \
            "$server" "$devices" "$load" "$chain" "$(value seconds "$summary")" \
            "$(value wrong_pass "$summary")" "$(value wrong_pass_ms "$summary")" \
            "$(value first_wrong_s "$summary")" "$silences" \
            "$(value slips "$summary")" "$(value silent_blocks "$summary")" \
            "${corrections:--}" "$(value cpu "$summary")" >>"$table"
        else
          echo "| $server | $devices | $load | $chain | the run failed: see $run | | | | | | |" >>"$table"
        fi
      done
    done
  done
done
cat "$table"
exit $status
