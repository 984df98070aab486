#!/usr/bin/env bash
# Runs a Windows program under Wine, in a Wine prefix of its own inside the
# build folder that holds the program (created on first use).
#   wine-run.sh program.exe [args...]
# VX_WINEPREFIX overrides the prefix, VX_WINE the Wine loader.
set -euo pipefail

program=${1:?usage: wine-run.sh program.exe [args...]}

if [[ -n ${VX_WINEPREFIX:-} ]]; then
  prefix=$VX_WINEPREFIX
else
  dir=$(cd "$(dirname "$program")" && pwd)
  while [[ $dir != / && ! -f $dir/CMakeCache.txt ]]; do
    dir=$(dirname "$dir")
  done
  if [[ ! -f $dir/CMakeCache.txt ]]; then
    echo "wine-run: no build folder above $program" >&2
    exit 2
  fi
  prefix=$dir/wineprefix
fi

wine=${VX_WINE:-/usr/lib/wine/wine64}
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono/Gecko installer prompts, no window system.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# Tests may start in parallel: only one of them sets the prefix up.
(
  flock 9
  if [[ ! -f $prefix/.vx-ready ]]; then
    rm -rf "$prefix"
    if ! "$wine" wineboot -i >"$prefix.log" 2>&1; then
      echo "wine-run: wineboot failed, see $prefix.log" >&2
      exit 1
    fi
    touch "$prefix/.vx-ready"
  fi
) 9>"$prefix.lock"

exec "$wine" "$@"
