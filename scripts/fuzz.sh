#!/usr/bin/env bash
# Fuzzing: builds the fuzz preset (clang, libFuzzer, ASan + UBSan) and runs
# the fuzz targets from their committed seed corpus for SECONDS each, all at
# once, at low priority. Prints per target the executions, the coverage
# (cov: edges, ft: features) and the findings, and exits non-zero on any
# finding. New inputs go to build/fuzz/corpus/<target>, findings (the input
# that failed, and its log) to build/fuzz/findings/<target>.
#
#   bash scripts/fuzz.sh [--no-build] [SECONDS] [TARGET...]
#
# SECONDS defaults to 600; TARGET is render, properties, script or module
# (default: all four).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib.sh

build=1
if [[ ${1:-} == --no-build ]]; then
  build=0
  shift
fi
seconds=${1:-600}
shift || true
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=(render properties script module)
if ! [[ $seconds =~ ^[0-9]+$ ]] || [[ $seconds -lt 1 ]]; then
  echo "usage: scripts/fuzz.sh [--no-build] [SECONDS] [TARGET...]" >&2
  exit 2
fi

if [[ $build -eq 1 ]]; then
  vx_install_packages "${VX_FUZZ_PACKAGES[@]}" || exit 1
  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz || exit 1
fi

out=build/fuzz
pids=()
for target in "${targets[@]}"; do
  binary=$out/bin/fuzz_$target
  if [[ ! -x $binary || ! -d fuzz/corpus/$target ]]; then
    echo "no fuzz target named $target" >&2
    exit 2
  fi
  mkdir -p "$out/corpus/$target" "$out/findings/$target"
  # The working corpus comes first: libFuzzer adds what it finds there and
  # leaves the committed seeds alone. The plain schedule (-entropic=0) runs
  # about half as many executions again as the entropic one on these small
  # inputs. The outer timeout is a guard only.
  timeout --kill-after=30 $((seconds + 120)) nice -n 19 "$binary" \
    -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 -entropic=0 \
    -dict=fuzz/vornix.dict -artifact_prefix="$out/findings/$target/" \
    "$out/corpus/$target" "fuzz/corpus/$target" >"$out/findings/$target.log" 2>&1 &
  pids+=($!)
done

failed=0
printf '%-11s %12s %8s %8s %8s  %s\n' target executions exec/s cov ft result
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  wait "${pids[$i]}"
  rc=$?
  log=$out/findings/$target.log
  runs=$(grep -a 'stat::number_of_executed_units' "$log" | awk '{print $2}')
  rate=$(grep -a 'stat::average_exec_per_sec' "$log" | awk '{print $2}')
  last=$(grep -aE '^#[0-9]+' "$log" | tail -n 1)
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
  if [[ $rc -eq 0 ]]; then
    result=passed
  else
    result="FAILED (exit $rc): $(grep -aE '==== vornix fuzz finding|ERROR:|SUMMARY:' "$log" | head -n 1)"
    failed=$((failed + 1))
  fi
  printf '%-11s %12s %8s %8s %8s  %s\n' "$target" "${runs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$result"
done
[[ $failed -eq 0 ]] || echo "findings and logs: $out/findings/"
[[ $failed -eq 0 ]]
