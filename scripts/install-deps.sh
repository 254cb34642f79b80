#!/usr/bin/env bash
# Installs the Debian 12 packages that running or testing Velmora needs, and only those
# that are missing; asks for sudo when not run as root, after saying what it installs.
#
#   scripts/install-deps.sh run    what ./run.sh needs: a compiler, CMake, Ninja, qrencode
#   scripts/install-deps.sh test   what ./test.sh needs as well (the default)
set -euo pipefail

need=${1:-test}

# ./run.sh builds the programs alone; qrencode shows the phone address as a QR code.
run_packages=(build-essential cmake ninja-build qrencode)

# ./test.sh: the test libraries, the fuzzing compiler, network namespaces, the browser for
# the page tests, the Debian package's checks, and the Windows cross-compiler and wine.
test_packages=(
  "${run_packages[@]}"
  clang libclang-rt-dev
  libgtest-dev libgmock-dev libbenchmark-dev liblo-dev
  iproute2 util-linux procps
  chromium
  curl dpkg-dev file lintian systemd
  g++-mingw-w64-x86-64-posix wine64
)
# Node.js and npm often come with the machine from their own repository, which conflicts
# with Debian's npm; take Debian's only where there is none.
command -v npm >/dev/null 2>&1 || test_packages+=(nodejs npm)

case "$need" in
  run) wanted=("${run_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "install-deps.sh: this is not a Debian-like system; install these yourself: ${wanted[*]}" >&2
  exit 0
fi

missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing the Debian packages that are missing for '$need': ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps.sh: this needs root; as root, run: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "(this needs root: asking sudo)"
  exec sudo "$0" "$need"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
