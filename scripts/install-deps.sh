#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root, or with sudo).
set -euo pipefail
packages=(
  build-essential cmake ninja-build clang libclang-rt-dev
  libgtest-dev libgmock-dev libbenchmark-dev liblo-dev
  iproute2 util-linux procps
  chromium nodejs npm
)
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${packages[@]}"
