# Shared by the load scripts: a scratch folder, servers started and stopped by PID, and the
# on-CPU time of a process. Source it after setting `bin` (the built programs' folder).

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# start NAME PORT COMMAND...: runs COMMAND in the scratch folder (pinned to `server_cpu`
# when that is set) and waits until it accepts on 127.0.0.1:PORT; sets pid_NAME.
start() {
  local name=$1 port=$2; shift 2
  if [ -n "${server_cpu:-}" ]; then set -- taskset -c "$server_cpu" "$@"; fi
  (cd "$work" && exec "$@" >"$work/$name.log" 2>&1) &
  local pid=$!
  pids+=("$pid")
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      eval "pid_$name=$pid"
      return 0
    fi
    sleep 0.05
  done
  echo "$0: $name did not start; its log:" >&2
  cat "$work/$name.log" >&2
  exit 1
}

# On-CPU time of a process in nanoseconds (exact, unlike clock ticks).
cpu_ns() { cut -d' ' -f1 "/proc/$1/schedstat"; }
