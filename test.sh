#!/usr/bin/env bash
# Builds and runs every test: the normal build (GCC), the sanitizer build (ASan + UBSan),
# the keyboard-reader tests under ThreadSanitizer,
# and the fuzz targets (Clang, libFuzzer) for a bounded number of runs each.
# Needs the packages of scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)

run_preset() {
  echo "=== $1 ==="
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
  ctest --preset "$1" -j "$jobs" ${2:-}
}

run_preset default
run_preset asan "-LE browser"
run_preset tsan
run_preset fuzz "-L fuzz"
echo "All test suites passed."
