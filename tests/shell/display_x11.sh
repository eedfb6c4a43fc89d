#!/bin/bash
# The display test against real X servers: the harness server (1024x768, 96
# DPI: both verdicts green), then servers of our own: 800x600 whose desktop
# scale gives 120 DPI (both red), and 1024x768 at a scale of 1.7 (163 DPI),
# whose size in device pixels must still read exactly 1024x768.
set -euo pipefail
probe=$1 display=$2 dir=$3
mkdir -p "$dir"
DISPLAY=$display "$probe" 1024 768 96

pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null || true; done' EXIT
# Starts a server of WIDTHxHEIGHT with the desktop scale set to DPI and runs
# the probe on it. Each takes a display number no other server holds
# (-displayfd), so that two checkouts can run this test at once.
scaled_server() {
  local width=$1 height=$2 dpi=$3 name=$1x$2-$3
  rm -f "$dir/$name.display"
  Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -noreset -nolisten tcp \
    3>"$dir/$name.display" >"$dir/$name.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$dir/$name.display" ] && break; sleep 0.05; done
  local scaled=:$(head -n1 "$dir/$name.display")
  for _ in $(seq 100); do DISPLAY=$scaled xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
  echo "Xft.dpi: $dpi" | DISPLAY=$scaled xrdb -nocpp -merge
  DISPLAY=$scaled "$probe" "$width" "$height" "$dpi"
}
scaled_server 800 600 120
scaled_server 1024 768 163
echo "display test passed on every server"
