#!/usr/bin/env bash
# The full test run: installs what it needs, then configures, builds and
# tests every preset and runs the fuzz targets for a bounded time. Ends
# non-zero on any failure; the last line is "N passed, N failed" summed
# over all presets and steps.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib.sh

vx_install_packages "${VX_TEST_PACKAGES[@]}" || exit 1

# win32 first: the linux64 suite checks the DLL it builds, and must not skip;
# wasm after linux64, whose previewer its browser test compares frames with.
presets=(win32 linux64 linux64-san linux32 win64 wasm)
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

# The fuzz targets (clang, libFuzzer): built, then each run for a bounded
# time from its committed corpus (fuzz.sh; VX_FUZZ_SECONDS, default 45).
echo "==== fuzz"
t0=$SECONDS
if run_logged fuzz-configure cmake --preset fuzz --fresh && run_logged fuzz-build cmake --build --preset fuzz; then
  report+=("$(printf '%-12s built (%ds)' fuzz $((SECONDS - t0)))")
else
  total_failed=$((total_failed + 1))
  report+=("$(printf '%-12s build FAILED (%ds)' fuzz $((SECONDS - t0)))")
fi

# What ships, tried as its users meet it: the install and a host project
# built against it, the .deb unpacked and its previewer run, the Windows zip,
# and the module validator on both Linux builds (32-bit under qemu-i386).
built() { [[ -f build/$1/build.ninja ]] && ! grep -q "^$1 .*FAILED" <(printf '%s\n' "${report[@]}"); }

step_install() {
  rm -rf build/stage build/consumer &&
  cmake --install build/linux64 --prefix build/stage &&
  cmake -S tests/package/consumer -B build/consumer -G Ninja -DCMAKE_PREFIX_PATH="$PWD/build/stage" &&
  cmake --build build/consumer &&
  build/consumer/consumer mosaic &&
  PKG_CONFIG_PATH=build/stage/lib/pkgconfig pkg-config --atleast-version=1.0 vornix &&
  test -f "$(PKG_CONFIG_PATH=build/stage/lib/pkgconfig pkg-config --variable=module vornix)"
}

step_deb() {
  local root=build/debroot deb version
  rm -rf "$root" build/linux64/packages &&
  (cd build/linux64 && cpack -G DEB) &&
  deb=$(ls build/linux64/packages/vornix_*.deb) &&
  dpkg-deb -f "$deb" Depends | grep -q libpng &&
  dpkg -x "$deb" "$root" &&
  version=$("$root/usr/bin/vornix" --version) &&
  echo "$version" &&
  # The unpacked previewer must load the module unpacked beside it.
  grep -qF "module $PWD/$root/usr/bin/../lib/libvornix.so:" <<<"$version" &&
  "$root/usr/bin/vornix" render mosaic --frames 2 -o build/debroot-mosaic.png &&
  test -s build/debroot-mosaic.png
}

step_zip() {
  local listing
  rm -rf build/win32/packages &&
  (cd build/win32 && cpack -G ZIP) &&
  listing=$(unzip -Z1 build/win32/packages/vornix-*-win32.zip) &&
  echo "$listing" &&
  for file in vornix.dll README.md LICENSE; do grep -qE "(^|/)$file\$" <<<"$listing" || return 1; done
}

step_check64() { build/linux64/bin/vornix check build/linux64/module/libvornix.so; }
step_check32() { qemu-i386 build/linux32/bin/vornix-check build/linux32/module/libvornix.so; }
step_fuzz() { bash scripts/fuzz.sh --no-build "${VX_FUZZ_SECONDS:-45}" "$1"; }

ship_steps=("install linux64 step_install" "deb linux64 step_deb" "zip win32 step_zip"
            "check64 linux64 step_check64" "check32 linux32 step_check32"
            "fuzz-render fuzz step_fuzz render" "fuzz-props fuzz step_fuzz properties"
            "fuzz-script fuzz step_fuzz script" "fuzz-module fuzz step_fuzz module")
for entry in "${ship_steps[@]}"; do
  read -r name preset fn arg <<<"$entry"
  t0=$SECONDS
  if ! built "$preset"; then
    result="not run: $preset was not built"
    total_failed=$((total_failed + 1))
  elif run_logged "ship-$name" "$fn" ${arg:+"$arg"}; then
    result=passed
    total_passed=$((total_passed + 1))
  else
    result=FAILED
    total_failed=$((total_failed + 1))
  fi
  report+=("$(printf '%-12s %s (%ds)' "$name" "$result" $((SECONDS - t0)))")
done

echo
echo "==== summary ($((SECONDS - started))s)"
printf '%s\n' "${report[@]}"
[[ $total_skipped -gt 0 ]] && echo "$total_skipped skipped"
echo "$total_passed passed, $total_failed failed"
[[ $total_failed -eq 0 ]]
