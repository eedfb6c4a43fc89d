#!/bin/bash
# The display test against real X servers: the harness server (1024x768, 96
# DPI: both verdicts green), then a server of our own at 800x600 whose desktop
# scale gives 120 DPI (both red).
set -euo pipefail
probe=$1 display=$2 dir=$3
mkdir -p "$dir"
DISPLAY=$display "$probe" 1024 768 96

# A display number of our own that no other server holds (-displayfd), so
# that two checkouts can run this test at once.
rm -f "$dir/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -noreset -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.05; done
scaled=:$(head -n1 "$dir/display")
for _ in $(seq 100); do DISPLAY=$scaled xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
echo 'Xft.dpi: 120' | DISPLAY=$scaled xrdb -nocpp -merge
DISPLAY=$scaled "$probe" 800 600 120
echo "display test passed on both servers"
