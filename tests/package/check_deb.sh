#!/usr/bin/env bash
# Checks the Debian package: its contents (dpkg-deb), lintian (no errors), the service
# unit (systemd-analyze verify), and the server run from an unpacked tree the way the unit
# runs it: the working directory laid out by velmora-workdir, the settings of
# /etc/default/velmora, an unprivileged user. Talks to loopback only (run it inside a
# private network namespace; test.sh does).
#
#   tests/package/check_deb.sh build/velmora_1.4_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
scratch=$(mktemp -d)
chmod 755 "$scratch"
passed=0
failed=0
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
    passed=$((passed + 1))
  else
    echo "FAILED: $what"
    failed=$((failed + 1))
  fi
}

contents() {
  dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$scratch/contents"
  local missing=0
  for path in /usr/bin/Velmora /usr/bin/wingfader /usr/bin/Tessaro /usr/bin/consolesim \
              /usr/bin/Quennet /usr/bin/Dravisk /usr/bin/Marlune \
              /usr/share/velmora/htdocs/index.html /usr/share/velmora/htdocs/velmora.js \
              /usr/share/velmora/htdocs/apps/Quennet.exe /usr/share/velmora/htdocs/apps/Dravisk.exe \
              /usr/share/velmora/htdocs/apps/Marlune.exe /usr/lib/systemd/system/velmora.service \
              /etc/default/velmora /usr/lib/velmora/velmora-workdir /usr/share/doc/velmora/copyright; do
    grep -qx "$path" "$scratch/contents" || { echo "  missing: $path"; missing=1; }
  done
  return $missing
}

lintian_clean() {
  local report
  report=$(lintian "$deb" 2>&1 || true)
  [ -n "$report" ] && echo "$report" | sed 's/^/  /'
  ! grep -q '^E: ' <<<"$report"
}

# verify wants the unit's programs to exist, so it checks a copy aimed at the unpacked tree.
unit_verifies() {
  local tree=$scratch/tree unit=$scratch/unit/velmora.service report
  mkdir -p "$scratch/unit"
  sed "s|=/usr/|=$tree/usr/|" "$tree/usr/lib/systemd/system/velmora.service" >"$unit"
  report=$(systemd-analyze verify "$unit" 2>&1) || { echo "$report" | sed 's/^/  /'; return 1; }
  [ -z "$report" ] || { echo "$report" | sed 's/^/  /'; return 1; }
}

# Becomes the program, as the service's user: an unprivileged one when this runs as root.
exec_as_service_user() {
  if [ "$(id -u)" -eq 0 ]; then
    exec setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"
  fi
  exec "$@"
}

wait_for_line() {
  for _ in $(seq 100); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  cat "$1" >&2
  return 1
}

free_port() {
  local p
  for p in $(seq 18080 18180); do
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
}

start_like_the_unit() {
  local tree=$scratch/tree work=$scratch/var/lib/velmora
  # What StateDirectory= does: a folder the service's user owns.
  mkdir -p "$work"
  [ "$(id -u)" -eq 0 ] && chown nobody:nogroup "$work"
  (exec_as_service_user "$tree/usr/lib/velmora/velmora-workdir" "$tree/usr/share/velmora" "$work")
  # shellcheck disable=SC1091
  . "$tree/etc/default/velmora"
  port=$(free_port)
  (cd "$work" && exec "$tree/usr/bin/consolesim" -a 127.0.0.1 -q) >"$scratch/sim.log" 2>&1 &
  pids+=($!)
  wait_for_line "$scratch/sim.log" 'listening on 127.0.0.1:2223' || return 1
  # shellcheck disable=SC2086
  (cd "$work" && exec_as_service_user "$tree/usr/bin/Velmora" -a "$VELMORA_ADDRESS" -p "$port" \
     $VELMORA_OPTIONS) >"$scratch/velmora.log" 2>&1 &
  pids+=($!)
  wait_for_line "$scratch/velmora.log" '^Velmora listening on port'
}

serves() {
  local page status
  page=$(curl -s --max-time 5 "http://127.0.0.1:$port/")
  grep -q '<title>Velmora console panel</title>' <<<"$page" || return 1
  status=$(curl -s -o /dev/null -w '%{http_code}' --max-time 5 "http://127.0.0.1:$port/missing")
  [ "$status" = 404 ]
}

# The app writes its answer into the service's own htdocs/apps, so this fails when that
# folder is not writable or the links to the apps are wrong.
runs_an_app() {
  local answer
  answer=$(curl -s --max-time 5 -X POST --data '127.0.0.1,3' "http://127.0.0.1:$port/Dravisk")
  [ "$answer" = "Ch 03" ] || { echo "  POST /Dravisk answered '$answer'"; return 1; }
}

check "contents" contents
check "lintian shows no errors" lintian_clean
dpkg -x "$deb" "$scratch/tree"
check "the unit verifies" unit_verifies
check "the server starts from the unpacked tree as the unit starts it" start_like_the_unit
check "it serves the pages and a 404" serves
check "its apps answer through the data file" runs_an_app
echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
