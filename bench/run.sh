#!/bin/bash
# Runs every benchmark script bench/*/run.sh against a build directory.
set -euo pipefail
build=$(realpath "$1")
for script in "$(dirname "$0")"/*/run.sh; do
  [ -x "$script" ] || continue
  echo "== $script"
  "$script" "$build"
done
