#!/usr/bin/env bash
# The main job: builds the 64-bit Linux module and the previewer, and renders
# the mosaic effect on the built-in sample sprite to build/mosaic.gif.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib.sh

vx_install_packages "${VX_MAIN_PACKAGES[@]}"
cmake --preset linux64
cmake --build --preset linux64 --target vornix_previewer

out=build/mosaic.gif
build/linux64/bin/vornix render mosaic \
  --props '[#animMode: #pendulum, #numFrames: 12, #startXRes: 1, #startYRes: 1, #endXRes: 12, #endYRes: 12]' \
  --frames 24 -o "$out"
echo "mosaic rendered to $(pwd)/$out"
