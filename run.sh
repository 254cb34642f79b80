#!/usr/bin/env bash
# Builds what is missing, starts the console simulator on loopback and Velmora with its
# demo pages, and stops both on Ctrl-C.
#
#   ./run.sh            server on port 8080, simulator on 127.0.0.1
#   ./run.sh 8090       server on another port
#   ./run.sh --no-sim   server only (for a real console on the network)
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

bin=build/bin
log=build/run-build.log

build() {
  mkdir -p build
  echo "Building (the first time takes a few minutes; log in $log)..."
  if ! { cmake --preset default && cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)"; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "run.sh: the build failed; the whole log is in $log" >&2
    exit 1
  fi
}

# Something already answering on the port would make Velmora's bind fail; say it plainly.
tcp_port_taken() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

sim_pid=""
server_pid=""

stop_all() {
  trap - INT TERM EXIT
  for pid in $server_pid $sim_pid; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in $server_pid $sim_pid; do
    wait "$pid" 2>/dev/null || true
  done
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

build

if tcp_port_taken "$port"; then
  echo "run.sh: port $port is already in use; another program (perhaps an earlier run.sh) holds it." >&2
  echo "        Stop it, or choose another port: ./run.sh 8090" >&2
  exit 1
fi

trap 'stop_all; echo; echo "Stopped."; exit 0' INT TERM
trap stop_all EXIT

sim_log=build/consolesim.log
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
fi

server_log=build/velmora.log
"$bin/Velmora" -p "$port" >"$server_log" 2>&1 &
server_pid=$!
if ! wait_ready "$server_pid" "$server_log" '^Velmora listening on port' 1; then
  cat "$server_log" >&2
  echo "run.sh: Velmora could not start on port $port (taken?). Try another: ./run.sh 8090" >&2
  exit 1
fi

echo
if [ "$simulate" = yes ]; then
  echo "Console simulator: X32 and Wing on 127.0.0.1 (log: $sim_log)"
fi
echo "Velmora: serving $(pwd)/htdocs on port $port (log: $server_log)"
echo
echo "Open http://127.0.0.1:$port/"
echo "For a real console, type its address into the page. Ctrl-C stops everything."

# Returns when either program ends, or at once when Ctrl-C arrives (the trap then runs).
status=0
wait -n "$server_pid" ${sim_pid:+"$sim_pid"} || status=$?
echo "run.sh: a program ended unexpectedly (status $status); see $server_log and $sim_log." >&2
exit 1
