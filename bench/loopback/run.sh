#!/bin/bash
# Figures of the microphone loop recorded in bench/loopback/README.md, on a
# private sound server whose pipe source is fed and whose pipe sink is watched:
#   one minute of speech through the wizard's loop, beside the same through
#   `parec | pacat` (default and 50 ms latency): the delay over the minute and
#   every gap, on PulseAudio (tests/harness/pulse.sh) and on PipeWire
#   (tests/harness/pipewire.sh);
#   on PulseAudio, the delay of tone bursts, CPU of the wizard and of the
#   daemon while the loop runs, and the time Stop takes.
# Usage: bench/loopback/run.sh BUILD_DIR [RUNS]
set -euo pipefail
build=$(realpath "$1")
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
harness=$here/../../tests/harness
bin=$build/bench/loopback/bench-loopback
work=$(mktemp -d)
cleanup() {
  "$harness/pulse.sh" stop "$work/pulse" >/dev/null 2>&1 || true
  "$harness/pipewire.sh" stop "$work/pipewire" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fmt="--format=s16le --rate=8000 --channels=1 --raw"

# One minute of speech at 8000 Hz mono, made as bench/audio/run.sh makes it.
text="The quick brown fox jumps over the lazy dog. Please check that your microphone and speakers work \
before the class begins. Speak clearly and listen for your own voice a moment later."
espeak-ng -v en-us -s 120 -w "$work/speech.wav" "$text $text $text $text"
sox "$work/speech.wav" "$work/long.wav" repeat 3
sox "$work/long.wav" -r 8000 -c 1 -b 16 -e signed-integer -t raw "$work/speech.raw" rate -v norm -1 trim 0 480000s

for server in pulse pipewire; do
  echo "==== $server"
  "$harness/$server.sh" start "$work/$server"
  export PULSE_SERVER=unix:$work/$server/run/native
  src=$work/$server/src.fifo
  sink=$work/$server/sink.fifo
  "$bin" speech "$PULSE_SERVER" "$src" "$sink" "$work/speech.raw"
  "$bin" speech "$PULSE_SERVER" "$src" "$sink" "$work/speech.raw" \
    "parec --device=pipesrc $fmt | pacat --device=pipesink $fmt"
  "$bin" speech "$PULSE_SERVER" "$src" "$sink" "$work/speech.raw" \
    "parec --device=pipesrc $fmt --latency-msec=50 | pacat --device=pipesink $fmt --latency-msec=50"
  if [ "$server" = pulse ]; then
    pid=$(cat "$work/pulse/pid")
    "$bin" loop "$PULSE_SERVER" "$src" "$sink" "$pid" "$runs"
    "$bin" pipeline "$src" "$sink" "$pid" "$runs" \
      "parec --device=pipesrc $fmt | pacat --device=pipesink $fmt"
    "$bin" pipeline "$src" "$sink" "$pid" "$runs" \
      "parec --device=pipesrc $fmt --latency-msec=50 | pacat --device=pipesink $fmt --latency-msec=50"
  fi
  "$harness/$server.sh" stop "$work/$server"
done
