#!/usr/bin/env bash
# Velmora beside its peers, in one run: GET of a 1 KiB file, one request per connection,
# each server pinned to one core and the load client to the other, at concurrency 1 and 16,
# in interleaved rounds. Prints one table: requests per second and p50 latency at
# concurrency 1, and the server's CPU time per request at both concurrencies (medians of
# the rounds). The peers are nginx (one worker process, keep-alive off) and lighttpd (one
# process, keep-alive off) from Debian's packages, and bench/minimal_server.cc, the floor:
# a blocking accept, one receive, one send, close.
#
# Usage: bench/compare.sh [build-dir] [requests-per-run] [rounds]   (build, 20000, 3)
# With BASELINE=<another Velmora binary> in the environment, that build gets a row too, to
# show a change against what came before it.
# Loopback only; every run is bounded by its count and by 30 s; every server this script
# starts is stopped by its PID.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
requests=${2:-20000}
rounds=${3:-3}
bin="$(pwd)/$build/bin"
for program in Velmora load_client minimal_server; do
  [ -x "$bin/$program" ] || { echo "build first: cmake --build --preset default ($program missing)" >&2; exit 1; }
done
nginx=$(command -v nginx || echo /usr/sbin/nginx)
lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)
[ -x "$nginx" ] && [ -x "$lighttpd" ] || { echo "needs nginx and lighttpd (Debian packages nginx-light and lighttpd)" >&2; exit 1; }

cores=$(nproc)
server_cpu=0
client_cpu=$(( cores > 1 ? 1 : 0 ))

. bench/common.sh

mkdir -p "$work/htdocs" "$work/nginx"
head -c 1024 /dev/zero | tr '\0' 'x' > "$work/htdocs/file1k.html"
base=$((20000 + RANDOM % 20000))
port_minimal=$base port_lighttpd=$((base + 1)) port_nginx=$((base + 2)) port_velmora=$((base + 3))

cat > "$work/nginx/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  keepalive_timeout 0;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  types { text/html html; }
  server { listen 127.0.0.1:$port_nginx; root $work/htdocs; }
}
EOF
cat > "$work/lighttpd.conf" <<EOF
server.document-root = "$work/htdocs"
server.bind = "127.0.0.1"
server.port = $port_lighttpd
server.errorlog = "$work/lighttpd-error.log"
server.max-keep-alive-requests = 0
mimetype.assign = ( ".html" => "text/html" )
EOF

start minimal "$port_minimal" "$bin/minimal_server" "$port_minimal" "$work/htdocs/file1k.html"
start lighttpd "$port_lighttpd" "$lighttpd" -D -f "$work/lighttpd.conf"
start nginx "$port_nginx" "$nginx" -c "$work/nginx/nginx.conf"
start velmora "$port_velmora" "$bin/Velmora" -p "$port_velmora"
servers=(minimal lighttpd nginx velmora)
if [ -n "${BASELINE:-}" ]; then
  port_baseline=$((base + 4))
  start baseline "$port_baseline" "$BASELINE" -p "$port_baseline"
  servers+=(baseline)
fi

# One measured run; appends "rps p50 cpu_us_per_request" to $work/<name>-c<conc>.
measure() {
  local name=$1 conc=$2 port pid before after line n
  eval "port=\$port_$name pid=\$pid_$name"
  before=$(cpu_ns "$pid")
  line=$(taskset -c "$client_cpu" "$bin/load_client" -a "127.0.0.1:$port" -p /file1k.html \
         -c "$conc" -n "$requests" -w 200 -t 30 -s 200 -m 1024 -l "$name")
  after=$(cpu_ns "$pid")
  n=$(sed -n 's/.* n=\([0-9]*\).*/\1/p' <<<"$line")
  if ! grep -q ' err=0 timeouts=0' <<<"$line"; then echo "compare.sh: errors: $line" >&2; fi
  awk -v l="$line" -v d=$((after - before)) -v n="$n" 'BEGIN {
        split(l, f, " "); for (i in f) { split(f[i], kv, "="); v[kv[1]] = kv[2] }
        printf "%s %s %.1f\n", v["rps"], v["p50_us"], n ? d / 1000 / n : 0 }' >> "$work/$name-c$conc"
}

for round in $(seq "$rounds"); do
  for name in "${servers[@]}"; do
    for conc in 1 16; do measure "$name" "$conc"; done
  done
  echo "round $round of $rounds done" >&2
done

median() {  # column of a file
  sort -g -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}
label() {
  case $1 in
    minimal) echo "minimal accept/recv/send/close loop" ;;
    lighttpd) echo "lighttpd (one process, keep-alive off)" ;;
    nginx) echo "nginx (one worker, keep-alive off)" ;;
    velmora) echo "Velmora" ;;
    baseline) echo "Velmora, baseline build" ;;
  esac
}
echo
echo "GET of a 1 KiB file, one request per connection, $requests requests per run, median of $rounds rounds"
echo
echo "| server | req/s c=1 | p50 µs c=1 | server CPU µs/req c=1 | req/s c=16 | CPU µs/req c=16 |"
echo "|---|---:|---:|---:|---:|---:|"
for name in "${servers[@]}"; do
  printf '| %s | %.0f | %.1f | %.1f | %.0f | %.1f |\n' "$(label "$name")" \
    "$(median "$work/$name-c1" 1)" "$(median "$work/$name-c1" 2)" "$(median "$work/$name-c1" 3)" \
    "$(median "$work/$name-c16" 1)" "$(median "$work/$name-c16" 3)"
done
