#!/bin/bash
# Makes sample.wav, the voice message of the playback test: 18.72 s of
# spoken English (149760 samples, 468 GSM 6.10 blocks) in the 30480-byte
# layout the wizard plays. Needs espeak-ng, sox, g++ and libgsm1-dev.
#   resources/sample/make-sample.sh [OUT.wav]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/sample.wav}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

text="This is the playback test of the Tavora Live System Test Wizard. \
If you can hear this voice clearly, your speakers or headphones are working. \
While the message plays, move the green slider to set the speaker level to a comfortable volume. \
Then press Next Test."

g++ -std=c++20 -O2 -Wall -Wextra -I/usr/include/gsm -o "$work/gsm-wave" "$here/gsm-wave.cpp" -lgsm
espeak-ng -v en-us -s 145 -w "$work/speech.wav" "$text"
# 8 kHz mono 16-bit, peak at -1 dBFS, a short lead-in, cut or padded with
# silence to exactly 149760 samples.
sox "$work/speech.wav" -r 8000 -c 1 -b 16 -e signed-integer "$work/speech8k.wav" \
    rate -v norm -1 pad 0.3 5 trim 0 149760s 2>&1 | { grep -v "pads not applied" || true; } >&2
sox "$work/speech8k.wav" -t raw -e signed-integer -b 16 -L "$work/speech.raw"
"$work/gsm-wave" "$work/speech.raw" "$out"

size=$(stat -c %s "$out")
[ "$size" -eq 30480 ] || { echo "unexpected size $size of $out" >&2; exit 1; }
echo "wrote $out ($size bytes)"
