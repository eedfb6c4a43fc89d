#!/bin/bash
# Starts or stops a private headless PipeWire with its PulseAudio protocol
# server, the sound server of most current desktops, set up like pulse.sh's
# daemon so that the same tests run against both:
#   pipewire.sh start DIR   server on DIR/run/native with two null sinks
#                           (Speakers_One, the default, and Headphones_Two), a
#                           pipe sink writing what it plays to DIR/sink.fifo and
#                           a pipe source reading DIR/src.fifo (the default
#                           source); both 8000 Hz mono s16le
#   pipewire.sh stop DIR
# PipeWire, its session manager (which links streams to devices and needs a
# D-Bus session bus) and the protocol server run in one private D-Bus session,
# in a process group of their own that stop ends by its id. Nothing here talks
# to a user's own servers: HOME, XDG_RUNTIME_DIR and PULSE_SERVER all point
# into DIR, and the session manager forgets streams and defaults between runs.
set -u
cmd=$1
dir=$(realpath -m "$2")
export HOME=$dir/home XDG_RUNTIME_DIR=$dir/run PULSE_SERVER=unix:$dir/run/native
export XDG_CONFIG_HOME=$dir/home/.config XDG_STATE_HOME=$dir/home/.local/state
unset DBUS_SESSION_BUS_ADDRESS PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR

# Whether a process of the group still runs (ended ones may wait as zombies
# until whoever adopted them reaps them).
running() { ps -o stat= -g "$1" 2>/dev/null | grep -qv '^Z'; }

stop() {
  if [ -f "$dir/pid" ]; then
    pid=$(cat "$dir/pid")
    if running "$pid"; then
      kill -TERM -- "-$pid" 2>/dev/null
      for _ in $(seq 50); do running "$pid" || break; sleep 0.05; done
      kill -KILL -- "-$pid" 2>/dev/null
    fi
    rm -f "$dir/pid"
  fi
}

fail() {
  echo "$1; see $dir/pw.log" >&2
  stop
  exit 1
}

# Runs pactl until it succeeds (the session manager may not be ready yet).
retry() {
  for _ in $(seq 100); do
    if pactl "$@" >>"$dir/pw.log" 2>&1; then return 0; fi
    kill -0 "$(cat "$dir/pid")" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

case $cmd in
start)
  stop
  rm -rf "$dir/home" "$dir/run"
  mkdir -p "$dir/run" "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d" \
    "$XDG_CONFIG_HOME/pipewire/pipewire-pulse.conf.d" "$XDG_CONFIG_HOME/wireplumber/main.lua.d"
  chmod 700 "$dir/run"
  rm -f "$dir/sink.fifo" "$dir/src.fifo" # the pipe source refuses an existing fifo
  # The graph runs at the test devices' rate, so that nothing is resampled on
  # the way and what goes in comes out sample for sample, as with pulse.sh.
  # Its period stays at 20 ms whatever latency a client asks for: PipeWire
  # 0.3.65's pipe source, once the period changed between recordings (a
  # client with the default latency, then one asking for 20 ms), can record
  # nothing but silence while it still empties the fifo, until a client
  # with another latency comes along.
  cat >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/harness.conf" <<CONF
context.properties = {
  default.clock.rate = 8000 default.clock.allowed-rates = [ 8000 ]
  default.clock.quantum = 160 default.clock.min-quantum = 160 default.clock.max-quantum = 160
}
CONF
  cat >"$XDG_CONFIG_HOME/pipewire/pipewire-pulse.conf.d/harness.conf" <<CONF
pulse.properties = { server.address = [ "unix:$dir/run/native" ] }
CONF
  # Each stream starts at full volume on the device asked for, as with pulse.sh.
  cat >"$XDG_CONFIG_HOME/wireplumber/main.lua.d/45-harness.lua" <<'LUA'
stream_defaults.properties["restore-props"] = false
stream_defaults.properties["restore-target"] = false
LUA
  setsid dbus-run-session -- sh -c \
    'pipewire & sleep 0.3; wireplumber & sleep 0.3; exec pipewire -c pipewire-pulse.conf' \
    </dev/null >"$dir/pw.log" 2>&1 &
  echo $! >"$dir/pid"
  ok=
  for _ in $(seq 200); do
    if pactl info 2>/dev/null | grep -q 'on PipeWire'; then ok=1; break; fi
    kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
    sleep 0.05
  done
  [ -n "$ok" ] || fail "PipeWire did not start"
  retry load-module module-null-sink sink_name=spk1 sink_properties=device.description=Speakers_One &&
    retry load-module module-null-sink sink_name=spk2 sink_properties=device.description=Headphones_Two &&
    retry load-module module-pipe-sink sink_name=pipesink file="$dir/sink.fifo" format=s16le rate=8000 \
      channels=1 sink_properties=device.description=Pipe_Sink &&
    retry load-module module-pipe-source source_name=pipesrc file="$dir/src.fifo" format=s16le \
      rate=8000 channels=1 source_properties=device.description=Pipe_Source &&
    retry set-default-sink spk1 && retry set-default-source pipesrc ||
    fail "PipeWire did not take the test devices"
  # The defaults reach the protocol server through the session manager.
  for _ in $(seq 100); do
    if [ "$(pactl get-default-sink 2>/dev/null)" = spk1 ] &&
      [ "$(pactl get-default-source 2>/dev/null)" = pipesrc ]; then exit 0; fi
    sleep 0.05
  done
  fail "PipeWire did not take the default devices" ;;
stop)
  stop
  exit 0 ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2 ;;
esac
