#!/usr/bin/env bash
# Runs a Windows program under Wine, in a Wine prefix of its own inside the
# build folder that holds the program (set up on first use).
#   wine-run.sh program.exe [args...]
#   wine-run.sh --prepare BUILD_DIR     set the prefix up now
#   wine-run.sh --shutdown BUILD_DIR    stop the prefix's wineserver
# VX_WINEPREFIX overrides the prefix, VX_WINE the Wine loader.
set -euo pipefail

usage="usage: wine-run.sh program.exe [args...] | --prepare DIR | --shutdown DIR"
mode=run
case ${1:-} in
  --prepare | --shutdown)
    mode=${1#--}
    start=${2:?$usage}
    ;;
  '') echo "$usage" >&2; exit 2 ;;
  *) start=$(dirname "$1") ;;
esac

if [[ -n ${VX_WINEPREFIX:-} ]]; then
  prefix=$VX_WINEPREFIX
else
  dir=$(cd "$start" && pwd)
  while [[ $dir != / && ! -f $dir/CMakeCache.txt ]]; do
    dir=$(dirname "$dir")
  done
  if [[ ! -f $dir/CMakeCache.txt ]]; then
    echo "wine-run: no build folder above $start" >&2
    exit 2
  fi
  prefix=$dir/wineprefix
fi

wine=${VX_WINE:-/usr/lib/wine/wine64}
wineserver=${VX_WINESERVER:-$(dirname "$wine")/wineserver}
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono/Gecko installer prompts, no window system.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if [[ $mode == shutdown ]]; then
  # Nothing to stop once the server has already gone.
  [[ -d $prefix ]] && "$wineserver" -k 2>/dev/null || true
  exit 0
fi

# Tests may start in parallel: only one of them sets the prefix up. The
# wineserver that wineboot starts must not inherit the lock, or everyone
# waits for it to exit.
(
  flock 9
  if [[ ! -f $prefix/.vx-ready ]]; then
    rm -rf "$prefix"
    if ! "$wine" wineboot -i >"$prefix.log" 2>&1 9>&-; then
      echo "wine-run: wineboot failed, see $prefix.log" >&2
      exit 1
    fi
    # Let wineboot's helpers finish before the prefix counts as ready.
    "$wineserver" -w 9>&-
    touch "$prefix/.vx-ready"
  fi
) 9>"$prefix.lock"

if [[ $mode == prepare ]]; then
  echo "wine prefix ready: $prefix"
  exit 0
fi
exec "$wine" "$@"
