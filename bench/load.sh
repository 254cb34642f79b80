#!/usr/bin/env bash
# Load figures for Velmora on loopback: GET of a 1 KiB file, PUT /ServerPutOSC and
# POST /ServerPostOSC against the console simulator, at concurrency 1 and 16.
# Prints httpload's line for each run plus the server's CPU time per request.
#
# Usage: bench/load.sh [build-dir] [requests-per-run]   (defaults: build, 20000)
# Every run is bounded by count and by 20 s; only loopback is used.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
requests=${2:-20000}
bin="$build/bin"
loader_src=../shared/tools/httpload.c
[ -x "$bin/Velmora" ] && [ -x "$bin/consolesim" ] || { echo "build first: cmake --build --preset default" >&2; exit 1; }
[ -f "$loader_src" ] || { echo "httpload source not found at $loader_src" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

cc -O2 -o "$work/httpload" "$loader_src"
mkdir -p "$work/htdocs"
head -c 1024 /dev/zero | tr '\0' 'x' > "$work/htdocs/file1k.html"

port=$((20000 + RANDOM % 20000))
sim_addr=127.0.93.1
(cd "$work" && exec "$OLDPWD/$bin/consolesim" -a "$sim_addr" -c x32 -q >/dev/null) &
pids+=($!)
(cd "$work" && exec "$OLDPWD/$bin/Velmora" -p "$port" >/dev/null) &
server=$!
pids+=($server)
for _ in $(seq 50); do
  (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && break
  sleep 0.1
done

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

run() {
  local label=$1 conc=$2; shift 2
  local before after line n
  before=$(cpu_ticks "$server")
  line=$("$work/httpload" -a "127.0.0.1:$port" -c "$conc" -n "$requests" -t 20 -w 0 -l "$label" "$@")
  after=$(cpu_ticks "$server")
  n=$(sed -n 's/.* n=\([0-9]*\).*/\1/p' <<<"$line")
  printf '%s server_cpu_us_per_req=%.1f\n' "$line" \
    "$(awk -v d=$((after - before)) -v t="$ticks" -v n="$n" 'BEGIN{print n ? d * 1e6 / t / n : 0}')"
}

body="$sim_addr,10023,/ch/01/mix/fader ,f 0.5"
query="$sim_addr,10023,/ch/01/config/name"
"$work/httpload" -a "127.0.0.1:$port" -p /file1k.html -c 4 -n 2000 -t 5 >/dev/null  # warm-up
for conc in 1 16; do
  run "GET-1KiB" "$conc" -p /file1k.html -s 200
  run "PUT-ServerPutOSC" "$conc" -X PUT -p /ServerPutOSC -d "$body" -s 200
  run "POST-ServerPostOSC" "$conc" -X POST -p /ServerPostOSC -d "$query" -s 200 -m 60
done
