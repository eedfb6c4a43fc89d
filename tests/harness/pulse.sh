#!/bin/bash
# Starts or stops the private PulseAudio daemon of the pulse tests.
#   pulse.sh start DIR   daemon on DIR/run/native with two null sinks
#                        (Speakers_One, the default, and Headphones_Two), a pipe
#                        sink writing what it plays to DIR/sink.fifo and a pipe
#                        source reading DIR/src.fifo (the default source); both
#                        8000 Hz mono s16le
#   pulse.sh stop DIR
# Nothing here talks to a user's own sound server: HOME, XDG_RUNTIME_DIR and
# PULSE_SERVER all point into DIR.
set -u
cmd=$1
dir=$(realpath -m "$2")
export HOME=$dir/home XDG_RUNTIME_DIR=$dir/run PULSE_SERVER=unix:$dir/run/native
unset DBUS_SESSION_BUS_ADDRESS

stop() {
  if [ -f "$dir/pid" ]; then
    pid=$(cat "$dir/pid")
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
      kill -9 "$pid" 2>/dev/null
    fi
    rm -f "$dir/pid"
  fi
}

case $cmd in
start)
  stop
  mkdir -p "$dir/home" "$dir/run"
  chmod 700 "$dir/run"
  rm -f "$dir/run/native" "$dir/sink.fifo" "$dir/src.fifo" # the pipe source refuses an existing fifo
  cat >"$dir/test.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/run/native
load-module module-null-sink sink_name=spk1 sink_properties=device.description=Speakers_One
load-module module-null-sink sink_name=spk2 sink_properties=device.description=Headphones_Two
load-module module-pipe-sink sink_name=pipesink file=$dir/sink.fifo format=s16le rate=8000 channels=1 use_system_clock_for_timing=yes sink_properties=device.description=Pipe_Sink
load-module module-pipe-source source_name=pipesrc file=$dir/src.fifo format=s16le rate=8000 channels=1 source_properties=device.description=Pipe_Source
set-default-sink spk1
set-default-source pipesrc
PA
  setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --system=false --disallow-exit \
    --use-pid-file=no --log-target="file:$dir/pa.log" -F "$dir/test.pa" </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/pid"
  for _ in $(seq 200); do
    if pactl info >/dev/null 2>&1; then exit 0; fi
    kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
    sleep 0.05
  done
  echo "PulseAudio did not start; see $dir/pa.log" >&2
  stop
  exit 1 ;;
stop)
  stop
  exit 0 ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2 ;;
esac
