#!/usr/bin/env bash
# Builds the browser playground (the wasm preset) and serves it on
# http://127.0.0.1:PORT/ (default 8000) until interrupted.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib.sh

vx_install_packages "${VX_PLAYGROUND_PACKAGES[@]}"
cmake --preset wasm
cmake --build --preset wasm
port=${1:-8000}
echo "playground: http://127.0.0.1:$port/ (Ctrl-C stops it)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build/wasm/site
