#!/bin/bash
# Runs every fuzz target of a build for FUZZ_SECONDS each on a copy of its seed
# corpus; a crash or sanitizer report fails the run.
set -euo pipefail
build=$1
seconds=${FUZZ_SECONDS:-60}
[ -f "$build/fuzz-targets.txt" ] || { echo "no fuzz targets"; exit 0; }
status=0
while read -r name corpus; do
  bin=$(find "$build" -type f -name "$name" -perm -u+x | head -1)
  work=$build/fuzz-work/$name
  rm -rf "$work"; mkdir -p "$work"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "== fuzzing $name for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/fuzz-work/$name-" "$work" >"$build/fuzz-work/$name.log" 2>&1; then
    tail -50 "$build/fuzz-work/$name.log"; status=1
  else
    grep -E 'stat::number_of_executed_runs|Done' "$build/fuzz-work/$name.log" | tail -2
  fi
done <"$build/fuzz-targets.txt"
exit $status
