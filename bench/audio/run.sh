#!/bin/bash
# Audio figures recorded in bench/audio/README.md:
#   CPU time to encode and decode one minute of speech with the GSM 6.10
#   codec of the wave devices (speech made by espeak-ng, resampled by sox);
#   latency from a wave-out write to sound in the pipe sink of a private
#   PulseAudio daemon (tests/harness/pulse.sh), for PCM and for GSM 6.10.
# Usage: bench/audio/run.sh BUILD_DIR [COUNT]
set -euo pipefail
build=$(realpath "$1")
count=${2:-20}
here=$(cd "$(dirname "$0")" && pwd)
bin=$build/bench/audio/bench-audio
work=$(mktemp -d)
cleanup() {
  "$here/../../tests/harness/pulse.sh" stop "$work/pulse" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

text="The quick brown fox jumps over the lazy dog. Please check that your microphone and speakers work \
before the class begins. Speak clearly and listen for your own voice a moment later."
espeak-ng -v en-us -s 120 -w "$work/speech.wav" "$text $text $text $text"
# Exactly one minute at 8000 Hz, padded with the speech repeated.
sox "$work/speech.wav" "$work/long.wav" repeat 3
sox "$work/long.wav" -r 8000 -c 1 -b 16 -e signed-integer -t raw "$work/speech.raw" rate -v norm -1 trim 0 480000s
echo "== GSM 6.10 codec, one minute of speech"
"$bin" codec "$work/speech.raw" 20

echo "== wave-out write to sound in the pipe sink"
"$here/../../tests/harness/pulse.sh" start "$work/pulse"
"$bin" latency "unix:$work/pulse/run/native" "$work/pulse/sink.fifo" 2 "$count"
