#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test stage:
#   default  the normal build (GCC): unit, end-to-end and browser tests
#   asan     the sanitizer build (ASan + UBSan), without the browser tests
#   tsan     the keyboard-reader tests under ThreadSanitizer
#   fuzz     the fuzz targets (Clang, libFuzzer), a bounded number of runs each
#   package  the Debian package: contents, lintian, the service unit, a run from it
#   windows  the Windows build (mingw-w64): its unit tests, the end-to-end suites and the
#            zip, all under wine on loopback
#
#   ./test.sh              every stage
#   ./test.sh asan fuzz    the named stages only
# A failing stage does not stop the others; the summary names every stage that failed.
set -uo pipefail
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)
all_stages=(default asan tsan fuzz package windows)

run_preset() {
  cmake --preset "$1" >/dev/null &&
    cmake --build --preset "$1" -j "$jobs" &&
    ctest --preset "$1" -j "$jobs" ${2:-}
}

# The browser tests' npm package lives in each checkout; install it when it is missing or
# not the version the lock file pins.
browser_package() {
  local dir=tests/browser
  if node -e "
      const lock = require('./$dir/package-lock.json').packages['node_modules/playwright-core'];
      const have = require('./$dir/node_modules/playwright-core/package.json');
      process.exit(have.version === lock.version ? 0 : 1);" 2>/dev/null; then
    return 0
  fi
  echo "Installing the browser tests' npm package into $dir/node_modules..."
  npm ci --prefix "$dir" --no-audit --no-fund --prefer-offline
}

# Loopback only, in a network namespace of its own where that can be had.
in_private_network() {
  if [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
    unshare -n bash -c 'ip link set lo up && "$@"' bash "$@"
  else
    "$@"
  fi
}

stage_default() { browser_package && run_preset default; }
stage_asan() { run_preset asan "-LE browser"; }
stage_tsan() { run_preset tsan; }
stage_fuzz() { run_preset fuzz "-L fuzz"; }
stage_package() {
  cmake --preset default >/dev/null &&
    cmake --build --preset default -j "$jobs" &&
    (cd build && cpack -G DEB) &&
    in_private_network tests/package/check_deb.sh "build/velmora_$(version)_$(dpkg --print-architecture).deb"
}

# The Windows programs, cross-built, and the zip; then under wine, in a private network:
# the unit tests, and the Linux build's end-to-end suites against the .exe programs. One
# wine server lives for the whole run, so the tests do not each pay wine's start-up.
stage_windows() {
  cmake --preset windows >/dev/null &&
    cmake --build --preset windows -j "$jobs" &&
    cpack --preset windows >/dev/null &&
    cmake --preset default >/dev/null &&
    cmake --build --preset default -j "$jobs" &&
    export jobs && export -f windows_tests_under_wine &&
    in_private_network windows_tests_under_wine
}
windows_tests_under_wine() {
  build-windows/wineserver -f -p >/dev/null 2>&1 &
  local server=$! status=0
  # Wine's background services start now, holding none of the tests' output streams.
  build-windows/wine wineboot </dev/null >/dev/null 2>&1
  ctest --preset windows -j "$jobs" && ctest --preset windows-e2e -j "$jobs" || status=$?
  # Ends this prefix's services and its server; the server alone would leave them behind.
  build-windows/wineserver -k
  wait "$server"
  return "$status"
}

version() {
  sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt
}

stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=("${all_stages[@]}")
for stage in "${stages[@]}"; do
  if ! declare -F "stage_$stage" >/dev/null; then
    echo "test.sh: no stage '$stage' (stages: ${all_stages[*]})" >&2
    exit 2
  fi
done

scripts/install-deps.sh test || exit 1

failed=()
for stage in "${stages[@]}"; do
  echo "=== $stage ==="
  "stage_$stage" || failed+=("$stage")
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "test.sh: these stages failed: ${failed[*]}" >&2
  exit 1
fi
echo "All test stages passed: ${stages[*]}."
