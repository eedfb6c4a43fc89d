#!/bin/bash
# Playback test figures recorded in bench/player/README.md: the time from
# Play to the first sound of the sample at the pipe sink of a private
# PulseAudio daemon, and the CPU the wizard's process uses while the whole
# sample plays.
# Usage: bench/player/run.sh BUILD_DIR [RUNS] [FULL_PLAYS]
set -euo pipefail
build=$(realpath "$1")
runs=${2:-20}
plays=${3:-2}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cleanup() {
  "$here/../../tests/harness/pulse.sh" stop "$work/pulse" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
"$here/../../tests/harness/pulse.sh" start "$work/pulse"
export XDG_CONFIG_HOME=$work/config
"$build/bench/player/bench-player" "unix:$work/pulse/run/native" "$work/pulse/sink.fifo" "$runs" "$plays"
