#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root, or with sudo).
set -euo pipefail
packages=(
  build-essential cmake ninja-build clang libclang-rt-dev
  libgtest-dev libgmock-dev libbenchmark-dev liblo-dev
  iproute2 util-linux procps
  chromium
)
# Node.js and npm usually come with the machine (from their own repository, which
# conflicts with Debian's npm); take Debian's only where there is none.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${packages[@]}"

# The browser tests drive the system's Chromium through the pinned npm package; no browser
# is downloaded. Under sudo the packages belong to the user who called it.
browser_tests="$(cd "$(dirname "$0")/../tests/browser" && pwd)"
if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
  sudo -H -u "$SUDO_USER" npm ci --prefix "$browser_tests" --no-audit --no-fund
else
  npm ci --prefix "$browser_tests" --no-audit --no-fund
fi
