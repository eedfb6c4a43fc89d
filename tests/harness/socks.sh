#!/bin/bash
# Starts or stops the SOCKS servers of the socks tests, all on 127.0.0.1:
#   dante without authentication (SOCKS 4 and 5),
#   dante with the user name method (SOCKS 5; checks a throw-away system user
#     that this script creates at start and deletes at stop),
#   microsocks without and with a user name and password (SOCKS 5).
# The ports and credentials go to DIR/ports.env (shell syntax), which the tests
# read through TAVORA_TEST_SOCKS_DIR.
set -u
cmd=$1 dir=$2
mkdir -p "$dir"

stop_all() {
  # Each server leads a process group of its own (setsid), with dante's helper
  # processes in it: signal every group first, then wait for all of them.
  local groups="" pid
  for pidfile in "$dir"/*.pid; do
    [ -f "$pidfile" ] || continue
    pid=$(cat "$pidfile")
    kill -TERM -- "-$pid" 2>/dev/null && groups="$groups $pid"
    rm -f "$pidfile"
  done
  for _ in $(seq 100); do
    local alive=""
    for pid in $groups; do kill -0 -- "-$pid" 2>/dev/null && alive="$alive $pid"; done
    groups=$alive
    [ -z "$groups" ] && break
    sleep 0.05
  done
  for pid in $groups; do kill -KILL -- "-$pid" 2>/dev/null; done
  if [ -f "$dir/user" ]; then
    user=$(cat "$dir/user")
    id "$user" >/dev/null 2>&1 && userdel "$user" 2>/dev/null
    rm -f "$dir/user"
  fi
  rm -f "$dir/ports.env"
}

listening() { ss -Htln "sport = :$1" | grep -q .; }

# A loopback port nobody listens on (and that none of ours took already).
taken=""
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 30000))
    case " $taken " in *" $port "*) continue ;; esac
    listening "$port" || { taken="$taken $port"; echo "$port"; return; }
  done
}

wait_listening() {
  local port=$1 name=$2
  for _ in $(seq 100); do
    listening "$port" && return 0
    sleep 0.05
  done
  echo "$name did not start on port $port; see $dir/$name.log" >&2
  return 1
}

dante_conf() {
  local port=$1 method=$2
  cat <<EOF
logoutput: $dir/dante-$method.log
internal: 127.0.0.1 port = $port
external: 127.0.0.1
clientmethod: none
socksmethod: $method
user.privileged: root
user.unprivileged: nobody
client pass {
  from: 127.0.0.0/8 to: 0.0.0.0/0
}
socks pass {
  from: 127.0.0.0/8 to: 127.0.0.0/8
  command: connect
  protocol: tcp
  log: error connect
}
EOF
}

start_server() {
  local name=$1; shift
  setsid "$@" >"$dir/$name.log" 2>&1 </dev/null &
  echo $! >"$dir/$name.pid"
}

case $cmd in
start)
  stop_all
  dante_port=$(free_port)
  dante_auth_port=$(free_port)
  micro_port=$(free_port)
  micro_auth_port=$(free_port)

  user="tvsocks$$"
  password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
  useradd -M -d /nonexistent -s /usr/sbin/nologin "$user" || exit 1
  echo "$user" >"$dir/user"
  echo "$user:$password" | chpasswd || { stop_all; exit 1; }
  micro_user=alice
  micro_password=$(head -c 8 /dev/urandom | od -An -tx1 | tr -d ' \n')

  dante_conf "$dante_port" none >"$dir/dante-none.conf"
  dante_conf "$dante_auth_port" username >"$dir/dante-username.conf"
  for method in none username; do
    danted -V -f "$dir/dante-$method.conf" >"$dir/dante-$method.check" 2>&1 ||
      { cat "$dir/dante-$method.check" >&2; stop_all; exit 1; }
  done
  start_server dante-none danted -f "$dir/dante-none.conf" -p "$dir/dante-none.danted-pid" -N 1
  start_server dante-username danted -f "$dir/dante-username.conf" -p "$dir/dante-username.danted-pid" -N 1
  start_server microsocks microsocks -i 127.0.0.1 -p "$micro_port"
  start_server microsocks-auth microsocks -i 127.0.0.1 -p "$micro_auth_port" -u "$micro_user" -P "$micro_password"

  wait_listening "$dante_port" dante-none &&
    wait_listening "$dante_auth_port" dante-username &&
    wait_listening "$micro_port" microsocks &&
    wait_listening "$micro_auth_port" microsocks-auth || { stop_all; exit 1; }

  cat >"$dir/ports.env" <<EOF
DANTE_PORT=$dante_port
DANTE_AUTH_PORT=$dante_auth_port
DANTE_USER=$user
DANTE_PASSWORD=$password
MICROSOCKS_PORT=$micro_port
MICROSOCKS_AUTH_PORT=$micro_auth_port
MICROSOCKS_USER=$micro_user
MICROSOCKS_PASSWORD=$micro_password
EOF
  exit 0 ;;
stop)
  stop_all
  exit 0 ;;
*)
  echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
