#!/usr/bin/env bash
# The full test run: installs what it needs, then configures, builds and
# tests every preset. Ends non-zero on any failure; the last line is
# "N passed, N failed" summed over all presets.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib.sh

vx_install_packages "${VX_TEST_PACKAGES[@]}" || exit 1

# win32 first: the linux64 suite checks the DLL it builds, and must not skip.
presets=(win32 linux64 linux64-san linux32 win64)
export VX_REQUIRE_DLL=1

logs=build/logs
mkdir -p "$logs"
total_passed=0 total_failed=0 total_skipped=0
report=()
started=$SECONDS

# run_logged NAME COMMAND...: runs quietly into the log, shows its tail on failure.
run_logged() {
  local log=$logs/$1.log
  shift
  if ! "$@" >"$log" 2>&1; then
    echo "---- $* failed; last lines of $log:"
    tail -n 60 "$log"
    return 1
  fi
}

# Each preset is configured afresh so that changed toolchain flags are never
# hidden by an old cache; unchanged objects are not rebuilt.
for preset in "${presets[@]}"; do
  echo "==== $preset"
  t0=$SECONDS
  if ! run_logged "$preset-configure" cmake --preset "$preset" --fresh ||
     ! run_logged "$preset-build" cmake --build --preset "$preset"; then
    total_failed=$((total_failed + 1))
    report+=("$(printf '%-12s build FAILED (%ds)' "$preset" $((SECONDS - t0)))")
    continue
  fi

  ctest --preset "$preset" 2>&1 | tee "$logs/$preset-test.log"
  ctest_rc=${PIPESTATUS[0]}
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$logs/$preset-test.log" | tail -n 1)
  if [[ -z $line ]]; then
    total_failed=$((total_failed + 1))
    report+=("$(printf '%-12s ctest gave no summary, exit %d (%ds)' "$preset" "$ctest_rc" $((SECONDS - t0)))")
    continue
  fi
  read -r failed total < <(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1 \2/' <<<"$line")
  skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)' "$logs/$preset-test.log")
  passed=$((total - failed - skipped))
  # A non-zero exit with nothing counted failed is still a failure.
  if [[ $ctest_rc -ne 0 && $failed -eq 0 ]]; then
    failed=1
  fi
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
  report+=("$(printf '%-12s %3d passed, %d failed, %d skipped (%ds)' "$preset" "$passed" "$failed" "$skipped" $((SECONDS - t0)))")
done

echo
echo "==== summary ($((SECONDS - started))s)"
printf '%s\n' "${report[@]}"
[[ $total_skipped -gt 0 ]] && echo "$total_skipped skipped"
echo "$total_passed passed, $total_failed failed"
[[ $total_failed -eq 0 ]]
