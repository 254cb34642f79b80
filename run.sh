#!/usr/bin/env bash
# Builds what is missing and runs the server with its demo pages on port 8080.
set -euo pipefail
cd "$(dirname "$0")"
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
echo "Open http://127.0.0.1:8080/ (Ctrl-C stops)"
exec build/bin/Velmora -p 8080
