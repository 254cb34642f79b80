#!/usr/bin/env bash
# Load figures for Velmora on loopback: GET of a 1 KiB file, PUT /ServerPutOSC and
# POST /ServerPostOSC against the console simulator, at concurrency 1 and 16.
# Prints load_client's line for each run plus the server's CPU time per request.
#
# Usage: bench/load.sh [build-dir] [requests-per-run]   (defaults: build, 20000)
# Every run is bounded by count and by 20 s; only loopback is used.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
requests=${2:-20000}
bin="$(pwd)/$build/bin"
for program in Velmora consolesim load_client; do
  [ -x "$bin/$program" ] || { echo "build first: cmake --build --preset default ($program missing)" >&2; exit 1; }
done
. bench/common.sh

mkdir -p "$work/htdocs"
head -c 1024 /dev/zero | tr '\0' 'x' > "$work/htdocs/file1k.html"
port=$((20000 + RANDOM % 20000))
sim_addr=127.0.93.1
(cd "$work" && exec "$bin/consolesim" -a "$sim_addr" -c x32 -q >/dev/null) &
pids+=($!)
start velmora "$port" "$bin/Velmora" -p "$port"

run() {
  local label=$1 conc=$2; shift 2
  local before after line n
  before=$(cpu_ns "$pid_velmora")
  line=$("$bin/load_client" -a "127.0.0.1:$port" -c "$conc" -n "$requests" -t 20 -l "$label" "$@")
  after=$(cpu_ns "$pid_velmora")
  n=$(sed -n 's/.* n=\([0-9]*\).*/\1/p' <<<"$line")
  printf '%s server_cpu_us_per_req=%.1f\n' "$line" \
    "$(awk -v d=$((after - before)) -v n="$n" 'BEGIN{print n ? d / 1000 / n : 0}')"
}

body="$sim_addr,10023,/ch/01/mix/fader ,f 0.5"
query="$sim_addr,10023,/ch/01/config/name"
"$bin/load_client" -a "127.0.0.1:$port" -p /file1k.html -c 4 -n 2000 -t 5 >/dev/null  # warm-up
for conc in 1 16; do
  run "GET-1KiB" "$conc" -p /file1k.html -s 200
  run "PUT-ServerPutOSC" "$conc" -X PUT -p /ServerPutOSC -d "$body" -s 200
  run "POST-ServerPostOSC" "$conc" -X POST -p /ServerPostOSC -d "$query" -s 200 -m 60
done
