#!/usr/bin/env bash
# The main job: builds the 64-bit Linux module and lists its classes and the
# effects it registers, loading it the way a host does.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib.sh

vx_install_packages "${VX_MAIN_PACKAGES[@]}"
cmake --preset linux64
cmake --build --preset linux64 --target vornix vornix-classes
exec build/linux64/bin/vornix-classes "$@"
