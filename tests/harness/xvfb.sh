#!/bin/bash
# Starts or stops the Xvfb server of the x11 tests: 1024x768, 24 bit, 96 DPI.
set -u
cmd=$1 dir=$2 display=$3
mkdir -p "$dir"
case $cmd in
start)
  if [ -f "$dir/pid" ] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; then kill "$(cat "$dir/pid")"; sleep 0.2; fi
  rm -f "/tmp/.X${display#:}-lock" "/tmp/.X11-unix/X${display#:}"
  setsid Xvfb "$display" -screen 0 1024x768x24 -dpi 96 -noreset -nolisten tcp >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/pid"
  for _ in $(seq 100); do
    DISPLAY=$display xdpyinfo >/dev/null 2>&1 && exit 0
    sleep 0.05
  done
  echo "Xvfb did not start; see $dir/xvfb.log" >&2; exit 1 ;;
stop)
  [ -f "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null
  rm -f "$dir/pid"; exit 0 ;;
esac
