#!/bin/bash
# Start-up time (process start to the window shown, then exit) and peak memory
# of the wizard and of a minimal Qt Widgets program, under Xvfb.
set -euo pipefail
build=$1
runs=${RUNS:-20}
display=:91
tmp=$(mktemp -d)
Xvfb $display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null; rm -rf "$tmp"' EXIT
for _ in $(seq 100); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
export DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$tmp
measure() {
  local bin=$1 times=() mem=()
  "$bin" >/dev/null 2>&1 # warm the page cache
  for _ in $(seq "$runs"); do
    local start end out
    start=$(date +%s%N)
    out=$("$bin" 2>/dev/null)
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000 )))
    mem+=("$(awk '/peak_rss_kb/ {print $2}' <<<"$out")")
  done
  local t m
  t=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  m=$(printf '%s\n' "${mem[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  echo "$t $m"
}
read -r wt wm < <(measure "$build/bench/startup/bench_startup_wizard")
read -r mt mm < <(measure "$build/bench/startup/bench_startup_minimal")
printf '%-10s %12s %14s\n' program "median_ms" "peak_rss_kB"
printf '%-10s %12.1f %14d\n' wizard "$(bc -l <<<"$wt/1000")" "$wm"
printf '%-10s %12.1f %14d\n' minimal "$(bc -l <<<"$mt/1000")" "$mm"
printf 'ratio      %12.2f %14.2f\n' "$(bc -l <<<"$wt/$mt")" "$(bc -l <<<"$wm/$mm")"
