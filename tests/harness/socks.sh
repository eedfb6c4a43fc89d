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

# The loopback TCP ports that processes of the process group $1 listen on.
group_ports() {
  local group=$1 line pid local_address
  ss -Htlnp 'src 127.0.0.1' | while read -r _ _ _ local_address _ line; do
    for pid in $(grep -o 'pid=[0-9]*' <<<"$line" | cut -d= -f2); do
      if [ "$(ps -o pgid= -p "$pid" | tr -d ' ')" = "$group" ]; then
        echo "${local_address##*:}"
        break
      fi
    done
  done
}

# Waits until the server NAME (started by start_server) listens, on PORT when
# given, and prints the port it listens on. Only a socket of the server's own
# counts: another program on the port is no start.
wait_listening() {
  local name=$1 port=${2:-} group found
  group=$(cat "$dir/$name.pid")
  local deadline=$((SECONDS + 15))
  while [ "$SECONDS" -lt "$deadline" ]; do
    found=$(group_ports "$group" | grep -x "${port:-[0-9]*}" | head -n 1)
    if [ -n "$found" ]; then echo "$found"; return 0; fi
    kill -0 "$group" 2>/dev/null || break
    sleep 0.05
  done
  echo "$name did not start on port ${port:-(any)}; see $dir/$name.log" >&2
  return 1
}

# A loopback port for dante, which needs one named in its configuration.
# Outside the range the kernel hands out to outgoing connections and to
# listeners on port 0, so no other test's connection can take it between
# the choice and dante's start, and with no socket on it in any state. The
# caller holds the ports lock, so that no other run of this script picks it.
taken=""
free_port() {
  local low port floor
  read -r low _ </proc/sys/net/ipv4/ip_local_port_range
  floor=$((low > 11024 ? 10000 : 1024))
  while :; do
    port=$((floor + RANDOM % (low - floor)))
    case " $taken " in *" $port "*) continue ;; esac
    if [ -z "$(ss -Htan "sport = :$port")" ]; then
      taken="$taken $port"
      echo "$port"
      return
    fi
  done
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
  setsid "$@" >"$dir/$name.log" 2>&1 </dev/null 9>&- &
  echo $! >"$dir/$name.pid"
}

case $cmd in
start)
  stop_all
  # Other runs of this script (other build trees) choose dante's ports too:
  # one at a time, from the choice until dante listens.
  exec 9>"${TMPDIR:-/tmp}/tavora-socks-ports.lock"
  flock 9
  dante_port=$(free_port)
  dante_auth_port=$(free_port)

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
  # microsocks takes a port the kernel gives it (port 0), read back from
  # its listening socket: nothing can take that port before it.
  start_server microsocks microsocks -i 127.0.0.1 -p 0
  start_server microsocks-auth microsocks -i 127.0.0.1 -p 0 -u "$micro_user" -P "$micro_password"

  wait_listening dante-none "$dante_port" >/dev/null &&
    wait_listening dante-username "$dante_auth_port" >/dev/null || { stop_all; exit 1; }
  flock -u 9
  exec 9>&-
  micro_port=$(wait_listening microsocks) &&
    micro_auth_port=$(wait_listening microsocks-auth) || { stop_all; exit 1; }

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
