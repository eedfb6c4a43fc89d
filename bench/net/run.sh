#!/bin/bash
# Times the TCP client against loopback peers and prints the figures that
# bench/net/README.md records:
#   connect to a listening port and to a refused port (limit 60000 ms), beside
#   `nc -z` to the same ports; CPU used while a connect waits for its limit
#   (10 s); a SOCKS 5 exchange with login through microsocks, beside
#   `curl --socks5-hostname` through the same proxy.
# Usage: bench/net/run.sh BUILD_DIR [COUNT]
set -euo pipefail
build=$(realpath "$1")
count=${2:-20}
bin=$build/bench/net/bench-net
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

listening() { ss -Htln "sport = :$1" | grep -q .; }
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 30000))
    listening "$port" || { echo "$port"; return; }
  done
}
wait_listening() { for _ in $(seq 100); do listening "$1" && return 0; sleep 0.05; done; return 1; }

# Median and range of COUNT runs of a command, in ms.
time_command() {
  local label=$1; shift
  local samples=()
  for _ in $(seq "$count"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    samples+=("$(( (end - start) / 1000 ))")
  done
  printf '%s\n' "${samples[@]}" | sort -n | awk -v label="$label" '
    { v[NR] = $1; sum += $1 }
    END { printf "%-22s n=%-4d median %8.3f ms  min %8.3f ms  max %8.3f ms  mean %8.3f ms\n",
                 label, NR, v[int(NR / 2) + 1] / 1000, v[1] / 1000, v[NR] / 1000, sum / NR / 1000 }'
}

"$bin" sink "$work/sink.port" & pids+=($!)
for _ in $(seq 100); do [ -s "$work/sink.port" ] && break; sleep 0.05; done
target=$(cat "$work/sink.port")
refused=$(free_port)

echo "== connect to a listening port 127.0.0.1:$target (limit 60000 ms)"
"$bin" connect "$target" "$count"
time_command "nc -z" nc -z 127.0.0.1 "$target"

echo "== connect to a refused port 127.0.0.1:$refused (limit 60000 ms)"
"$bin" connect "$refused" "$count"
time_command "nc -z" nc -z 127.0.0.1 "$refused"

echo "== a connect that gets no answer, limit 10000 ms"
"$bin" wait 10000

echo "== SOCKS 5 with user name and password through microsocks"
proxy=$(free_port)
microsocks -i 127.0.0.1 -p "$proxy" -u bench -P s3cret >"$work/microsocks.log" 2>&1 & pids+=($!)
wait_listening "$proxy"
"$bin" socks5 "$proxy" bench s3cret "$target" "$count" -1
"$bin" socks5 "$proxy" bench s3cret "$target" "$count" 60000
time_command "bench-net (whole proc)" "$bin" socks5 "$proxy" bench s3cret "$target" 1 -1
time_command "curl (whole process)" curl -s -o /dev/null --max-time 5 \
  --socks5-hostname "bench:s3cret@127.0.0.1:$proxy" "http://127.0.0.1:$target/"
samples=()
for _ in $(seq "$count"); do
  samples+=("$(curl -s -o /dev/null --max-time 5 -w '%{time_connect}' \
    --socks5-hostname "bench:s3cret@127.0.0.1:$proxy" "http://127.0.0.1:$target/" || true)")
done
printf '%s\n' "${samples[@]}" | sort -n | awk '
  { v[NR] = $1 * 1000; sum += $1 * 1000 }
  END { printf "%-22s n=%-4d median %8.3f ms  min %8.3f ms  max %8.3f ms  mean %8.3f ms\n",
               "curl time_connect", NR, v[int(NR / 2) + 1], v[1], v[NR], sum / NR }'
