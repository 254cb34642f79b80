#!/usr/bin/env bash
# Installs what is missing, builds the programs, starts the console simulator and Velmora
# with its demo pages, and stops both on Ctrl-C.
#
#   ./run.sh            simulator on 127.0.0.1, server on 127.0.0.1 port 8080 (this computer only)
#   ./run.sh 8090       the same on another port
#   ./run.sh --no-sim   server alone on every interface, for a real console and phones
set -euo pipefail
cd "$(dirname "$0")"

port=8080
simulate=yes
for arg in "$@"; do
  case "$arg" in
    --no-sim) simulate=no ;;
    -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *[!0-9]*|'') echo "run.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    *) port=$arg ;;
  esac
done
if [ "$port" -lt 1 ] || [ "$port" -gt 65535 ]; then
  echo "run.sh: port $port is out of range (1 to 65535)" >&2
  exit 2
fi

bin=build/bin
site=build/site
# Each port has its own logs, so a second run.sh never overwrites the first one's.
logs=build/logs/port-$port

tcp_port_taken() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

free_port_after() {
  local p=$1
  while [ "$p" -lt 65535 ]; do
    p=$((p + 1))
    tcp_port_taken "$p" || { echo "$p"; return; }
  done
  echo 8090
}

# Checked before building, so a taken port costs no build.
if tcp_port_taken "$port"; then
  echo "run.sh: port $port is already in use; another program (perhaps an earlier run.sh) holds it." >&2
  echo "        Stop it, or choose another port: ./run.sh $(free_port_after "$port")" >&2
  exit 1
fi

scripts/install-deps.sh run

mkdir -p "$logs"
build_log=$logs/build.log
echo "Building the programs (the first time takes a minute or two; log in $build_log)..."
if ! { cmake --preset run && cmake --build --preset run -j "$(nproc 2>/dev/null || echo 2)"; } >"$build_log" 2>&1; then
  tail -n 30 "$build_log" >&2
  echo "run.sh: the build failed; the whole log is in $build_log" >&2
  exit 1
fi

sim_pid=""
server_pid=""
demo_file=$site/htdocs/demo.json

stop_all() {
  trap - INT TERM EXIT
  for pid in $server_pid $sim_pid; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in $server_pid $sim_pid; do
    wait "$pid" 2>/dev/null || true
  done
  [ "$simulate" = yes ] && rm -f "$demo_file"
  return 0
}

# Waits until the program's output shows `count` lines matching `pattern`; fails if the
# program ends first or takes longer than 10 s.
wait_ready() {
  local pid=$1 file=$2 pattern=$3 count=$4
  for _ in $(seq 100); do
    if [ "$(grep -c -- "$pattern" "$file" 2>/dev/null || true)" -ge "$count" ]; then return 0; fi
    if ! kill -0 "$pid" 2>/dev/null; then return 1; fi
    sleep 0.1
  done
  return 1
}

# The IPv4 addresses of this computer's network interfaces other than loopback.
lan_addresses() {
  if command -v ip >/dev/null 2>&1; then
    ip -o -4 addr show scope global 2>/dev/null | awk '{ sub(/\/.*/, "", $4); print $4 }'
  else
    hostname -I 2>/dev/null | tr ' ' '\n' | grep -E '^[0-9]+(\.[0-9]+){3}$' | grep -v '^127\.' || true
  fi
}

show_phone_addresses() {
  local addresses
  addresses=$(lan_addresses)
  if [ -z "$addresses" ]; then
    echo "This computer has no network address besides loopback; connect it to the console's network."
    return
  fi
  echo "From a phone or tablet on the same network, open:"
  for address in $addresses; do
    echo "  http://$address:$port/"
    if command -v qrencode >/dev/null 2>&1; then
      qrencode -t ANSIUTF8 -m 1 "http://$address:$port/" || true
    fi
  done
  echo "Anyone who can open that address can change the console: use a trusted network."
}

trap 'stop_all; echo; echo "Stopped."; exit 0' INT TERM
trap stop_all EXIT

sim_log=$logs/consolesim.log
server_log=$logs/velmora.log
if [ "$simulate" = yes ]; then
  "$bin/consolesim" -a 127.0.0.1 >"$sim_log" 2>&1 &
  sim_pid=$!
  if ! wait_ready "$sim_pid" "$sim_log" ' listening on ' 3; then
    cat "$sim_log" >&2
    echo "run.sh: the console simulator could not start. Its UDP ports 10023, 2222 and 2223 on" >&2
    echo "        127.0.0.1 are probably taken (an earlier run.sh?). Stop that program, or run" >&2
    echo "        ./run.sh --no-sim to start the server alone." >&2
    exit 1
  fi
  # Pages learn from this file that they run against the simulator.
  printf '{"simulator":"127.0.0.1"}\n' >"$demo_file"
  listen=127.0.0.1
else
  rm -f "$demo_file"
  listen=0.0.0.0
fi

(cd "$site" && exec ../bin/Velmora -a "$listen" -p "$port") >"$server_log" 2>&1 &
server_pid=$!
if ! wait_ready "$server_pid" "$server_log" '^Velmora listening on port' 1; then
  cat "$server_log" >&2
  echo "run.sh: Velmora could not start on port $port. If it is taken now, try ./run.sh $(free_port_after "$port")" >&2
  exit 1
fi

echo
if [ "$simulate" = yes ]; then
  echo "Console simulator: X32 and Wing on 127.0.0.1 (log: $sim_log)"
  echo "Velmora: serving $(pwd)/$site/htdocs on 127.0.0.1 port $port, this computer only (log: $server_log)"
else
  echo "Velmora: serving $(pwd)/$site/htdocs on every interface, port $port (log: $server_log)"
  show_phone_addresses
fi
echo
echo "Open http://127.0.0.1:$port/"
if [ "$simulate" = yes ]; then
  echo "The panel talks to the simulator. For a real console: ./run.sh --no-sim. Ctrl-C stops everything."
else
  echo "Type the console's address into the page. Ctrl-C stops the server."
fi

# Returns when either program ends, or at once when Ctrl-C arrives (the trap then runs).
status=0
wait -n "$server_pid" ${sim_pid:+"$sim_pid"} || status=$?
echo "run.sh: a program ended unexpectedly (status $status); see $server_log${sim_pid:+ and $sim_log}." >&2
exit 1
