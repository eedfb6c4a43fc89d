#!/bin/bash
# Figures of the microphone loop recorded in bench/loopback/README.md, on a
# private PulseAudio daemon (tests/harness/pulse.sh) whose pipe source is fed
# tone bursts and whose pipe sink is watched for them:
#   delay from tone in to tone out through the wizard's loop, beside the same
#   through `parec | pacat` on the same daemon (default and 50 ms latency);
#   CPU of the wizard and of the daemon while the loop runs; time Stop takes.
# Usage: bench/loopback/run.sh BUILD_DIR [RUNS]
set -euo pipefail
build=$(realpath "$1")
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
bin=$build/bench/loopback/bench-loopback
work=$(mktemp -d)
cleanup() {
  "$here/../../tests/harness/pulse.sh" stop "$work/pulse" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$here/../../tests/harness/pulse.sh" start "$work/pulse"
export PULSE_SERVER=unix:$work/pulse/run/native
pid=$(cat "$work/pulse/pid")
src=$work/pulse/src.fifo
sink=$work/pulse/sink.fifo
fmt="--format=s16le --rate=8000 --channels=1 --raw"

"$bin" loop "$PULSE_SERVER" "$src" "$sink" "$pid" "$runs"
"$bin" pipeline "$src" "$sink" "$pid" "$runs" \
  "parec --device=pipesrc $fmt | pacat --device=pipesink $fmt"
"$bin" pipeline "$src" "$sink" "$pid" "$runs" \
  "parec --device=pipesrc $fmt --latency-msec=50 | pacat --device=pipesink $fmt --latency-msec=50"
