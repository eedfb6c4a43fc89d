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
# One run of a program: its wall time (us) and peak memory (kB).
once() {
  local start end out
  start=$(date +%s%N)
  out=$("$1" 2>/dev/null)
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $(awk '/peak_rss_kb/ {print $2}' <<<"$out")"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
wizard=$build/bench/startup/bench_startup_wizard
minimal=$build/bench/startup/bench_startup_minimal
"$wizard" >/dev/null 2>&1 # warm the page cache
"$minimal" >/dev/null 2>&1
# The two programs take turns, so that a change of the machine's load during
# the runs weighs on both alike.
wts=() wms=() mts=() mms=()
for _ in $(seq "$runs"); do
  read -r t m < <(once "$wizard"); wts+=("$t"); wms+=("$m")
  read -r t m < <(once "$minimal"); mts+=("$t"); mms+=("$m")
done
wt=$(printf '%s\n' "${wts[@]}" | median); wm=$(printf '%s\n' "${wms[@]}" | median)
mt=$(printf '%s\n' "${mts[@]}" | median); mm=$(printf '%s\n' "${mms[@]}" | median)
printf '%-10s %12s %14s\n' program "median_ms" "peak_rss_kB"
printf '%-10s %12.1f %14d\n' wizard "$(bc -l <<<"$wt/1000")" "$wm"
printf '%-10s %12.1f %14d\n' minimal "$(bc -l <<<"$mt/1000")" "$mm"
printf 'ratio      %12.2f %14.2f\n' "$(bc -l <<<"$wt/$mt")" "$(bc -l <<<"$wm/$mm")"
