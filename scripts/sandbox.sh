# Sourced by the test and demo scripts: a private X display, a private
# PulseAudio server with virtual devices, and a Wine prefix, all stopped by
# sandbox_stop (install it in a trap).
#
#   mic      null sink whose monitor is the default source: feed it with
#            `paplay -d mic file.wav`
#   speaker  default sink, a pipe whose FIFO ($SANDBOX_FIFO) yields what the
#            program plays; keep it read while a program runs, for a full
#            pipe stalls the whole sound server
# Everything runs at 22050 Hz mono s16le, so nothing resamples.

. "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

sandbox_pids=()

sandbox_start() {
  local root=$1
  mkdir -p "$root"
  SANDBOX_ROOT=$(cd "$root" && pwd)
  export XDG_RUNTIME_DIR=$SANDBOX_ROOT/runtime
  rm -rf "$XDG_RUNTIME_DIR"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  export SANDBOX_FIFO=$SANDBOX_ROOT/speaker.fifo
  rm -f "$SANDBOX_FIFO"

  # Display: let Xvfb pick a free number.
  local displayfile=$SANDBOX_ROOT/display
  rm -f "$displayfile"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >"$SANDBOX_ROOT/xvfb.log" 2>&1 &
  sandbox_pids+=($!)
  for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$displayfile")"

  cat >"$SANDBOX_ROOT/pulse.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=mic rate=22050 channels=1 format=s16le sink_properties=device.description=Microphone
load-module module-pipe-sink sink_name=speaker file=$SANDBOX_FIFO rate=22050 channels=1 format=s16le use_system_clock_for_timing=yes sink_properties=device.description=Speakers
set-default-source mic.monitor
set-default-sink speaker
PA
  pulseaudio -n -F "$SANDBOX_ROOT/pulse.pa" --exit-idle-time=-1 --daemonize=no \
    --log-target=file:"$SANDBOX_ROOT/pulse.log" &
  sandbox_pids+=($!)
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start" >&2; return 1; }

  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko install prompts
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1
  fi
  wineserver -p >/dev/null 2>&1 &
  # Start Wine's own services now, with their output going nowhere: the first
  # program of a new server starts them, and they keep its stdout and stderr
  # open for as long as the server runs, so a test run by ctest would never
  # seem to end.
  sleep 0.5
  wineboot >/dev/null 2>&1
  # There is no window manager on this display, and Wine waits two seconds
  # for one whenever a managed window goes away; unmanaged windows do not.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  echo "Sandbox: DISPLAY=$DISPLAY XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR WINEPREFIX=$WINEPREFIX"
}

sandbox_stop() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  for pid in "${sandbox_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${sandbox_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  sandbox_pids=()
}
