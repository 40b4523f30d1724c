# Sourced by the test and demo scripts: a private X display, a private sound
# server with virtual devices, and a Wine prefix, all stopped by sandbox_stop
# (install it in a trap).
#
#   mic      null sink whose monitor is the default source: feed it with
#            `paplay -d mic file.wav`
#   speaker  default sink, a pipe whose FIFO ($SANDBOX_FIFO) yields what the
#            program plays; keep it read while a program runs, for a full
#            pipe stalls the whole sound server
#
# The sound server and the devices' format are chosen before the start:
#   SANDBOX_SERVER  pulseaudio (default where it is installed), or pipewire
#                   with its PulseAudio service and wireplumber on a private
#                   session bus (default without PulseAudio)
#   SANDBOX_RATE    22050 (default): the devices run at 22050 Hz mono s16le
#                   like the program, so nothing resamples; or 48000: stereo
#                   at 48000 Hz, as on a desktop, and the server converts
#   SANDBOX_PW_MIN_QUANTUM  PipeWire only: the graph's smallest period in
#                   frames (PipeWire's own default when unset)
# sandbox_start exports SANDBOX_SERVER, SANDBOX_RATE, SANDBOX_CHANNELS (the
# speaker's and the mic's channels) and SANDBOX_FIFO for the scripts that
# read the speaker, and sandbox_server_pid, the process the program talks to.
# sandbox_sound_start DIR and sandbox_sound_stop do the sound server alone,
# for a test that wants one of its own on the sandbox's display and prefix.
# Every variable through which a client or the servers could find another
# server (the user's, say over PULSE_SERVER) is set to the sandbox's own.

. "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

sandbox_pids=()
sandbox_sound_pids=()

sandbox_start() {
  local root=$1
  mkdir -p "$root"
  SANDBOX_ROOT=$(cd "$root" && pwd)

  # Display: let Xvfb pick a free number.
  local displayfile=$SANDBOX_ROOT/display
  rm -f "$displayfile"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >"$SANDBOX_ROOT/xvfb.log" 2>&1 &
  sandbox_pids+=($!)
  for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$displayfile")"

  sandbox_sound_start "$SANDBOX_ROOT" || return 1

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
  echo "Sandbox: DISPLAY=$DISPLAY XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR WINEPREFIX=$WINEPREFIX" \
       "$SANDBOX_SERVER at $SANDBOX_RATE Hz"
}

# sandbox_sound_start DIR: the sound server and its devices, in DIR.
sandbox_sound_start() {
  local root
  mkdir -p "$1"
  root=$(cd "$1" && pwd)
  local default=pulseaudio
  command -v pulseaudio >/dev/null || default=pipewire
  export SANDBOX_SERVER=${SANDBOX_SERVER:-$default} SANDBOX_RATE=${SANDBOX_RATE:-22050}
  case $SANDBOX_RATE in
    22050) export SANDBOX_CHANNELS=1 ;;
    48000) export SANDBOX_CHANNELS=2 ;;
    *) echo "SANDBOX_RATE is 22050 or 48000, not $SANDBOX_RATE" >&2; return 1 ;;
  esac
  # The sockets live in a short path of their own, without spaces: a server
  # list such as PULSE_SERVER splits at spaces, and a socket's path has at
  # most 107 bytes.
  sandbox_runtime=$(mktemp -d /tmp/voxotrope-sound.XXXXXX) || return 1
  export XDG_RUNTIME_DIR=$sandbox_runtime
  export PULSE_RUNTIME_PATH=$XDG_RUNTIME_DIR/pulse PULSE_STATE_PATH=$root/state/pulse
  export PULSE_SERVER=unix:$PULSE_RUNTIME_PATH/native
  export PIPEWIRE_RUNTIME_DIR=$XDG_RUNTIME_DIR PIPEWIRE_REMOTE=$XDG_RUNTIME_DIR/pipewire-0
  # A bus address nobody listens on until the PipeWire variant starts one.
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
  unset PULSE_SINK PULSE_SOURCE PULSE_COOKIE PULSE_CLIENTCONFIG PIPEWIRE_CORE
  export SANDBOX_FIFO=$root/speaker.fifo
  rm -f "$SANDBOX_FIFO"

  cat >"$root/pulse.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=mic rate=$SANDBOX_RATE channels=$SANDBOX_CHANNELS format=s16le sink_properties=device.description=Microphone
load-module module-pipe-sink sink_name=speaker file="$SANDBOX_FIFO" rate=$SANDBOX_RATE channels=$SANDBOX_CHANNELS format=s16le use_system_clock_for_timing=yes sink_properties=device.description=Speakers
set-default-source mic.monitor
set-default-sink speaker
PA
  case $SANDBOX_SERVER in
    pulseaudio) sandbox_pulseaudio "$root" ;;
    pipewire) sandbox_pipewire "$root" ;;
    *) echo "SANDBOX_SERVER is pulseaudio or pipewire, not $SANDBOX_SERVER" >&2; return 1 ;;
  esac
}

sandbox_pulseaudio() {
  local root=$1
  pulseaudio -n -F "$root/pulse.pa" --exit-idle-time=-1 --daemonize=no \
    --log-target=file:"$root/pulse.log" &
  sandbox_server_pid=$!
  sandbox_sound_pids+=($!)
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start" >&2; return 1; }
}

# PipeWire, wireplumber and the PulseAudio service, with their configuration
# and state in the sandbox and a session bus of their own (wireplumber links
# no stream without one). The devices are the same module lines, loaded
# through the service.
sandbox_pipewire() {
  local root=$1 line
  mkdir -p "$root/config/pipewire/pipewire.conf.d" "$root/state"
  cat >"$root/config/pipewire/pipewire.conf.d/10-sandbox.conf" <<PW
context.properties = {
    default.clock.rate = $SANDBOX_RATE
    default.clock.allowed-rates = [ $SANDBOX_RATE ]
    ${SANDBOX_PW_MIN_QUANTUM:+default.clock.min-quantum = $SANDBOX_PW_MIN_QUANTUM}
}
PW
  rm -f "$root/bus"
  dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" \
    --print-address=3 3>"$root/bus" >/dev/null 2>&1 &
  sandbox_sound_pids+=($!)
  for _ in $(seq 100); do [ -s "$root/bus" ] && break; sleep 0.1; done
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$root/bus")
  [ -n "$DBUS_SESSION_BUS_ADDRESS" ] || { echo "no session bus for PipeWire" >&2; return 1; }
  export DBUS_SESSION_BUS_ADDRESS
  XDG_CONFIG_HOME=$root/config XDG_STATE_HOME=$root/state pipewire >"$root/pipewire.log" 2>&1 &
  sandbox_sound_pids+=($!)
  for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.1; done
  XDG_CONFIG_HOME=$root/config XDG_STATE_HOME=$root/state wireplumber >"$root/wireplumber.log" 2>&1 &
  sandbox_sound_pids+=($!)
  XDG_CONFIG_HOME=$root/config XDG_STATE_HOME=$root/state pipewire-pulse >"$root/pulse.log" 2>&1 &
  sandbox_server_pid=$!
  sandbox_sound_pids+=($!)
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || { echo "PipeWire did not start" >&2; return 1; }
  # Command, name and the arguments as one word: pactl hands them to the
  # module whole, quotes and all.
  local command name args
  while read -r command name args; do
    [ -z "$command" ] || [ "$name" = module-native-protocol-unix ] && continue
    pactl "$command" "$name" ${args:+"$args"} >/dev/null ||
      { echo "PipeWire: pactl $command $name $args failed" >&2; return 1; }
  done <"$root/pulse.pa"
}

# Stops the sound server and what it needs, newest first.
sandbox_sound_stop() {
  local i
  for (( i = ${#sandbox_sound_pids[@]} - 1; i >= 0; i-- )); do
    kill "${sandbox_sound_pids[$i]}" 2>/dev/null || true
    wait "${sandbox_sound_pids[$i]}" 2>/dev/null || true
  done
  sandbox_sound_pids=()
  [ -n "${sandbox_runtime:-}" ] && rm -rf "$sandbox_runtime"
  sandbox_runtime=""
}

sandbox_stop() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  sandbox_sound_stop
  for pid in "${sandbox_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${sandbox_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  sandbox_pids=()
}
