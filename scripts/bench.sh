#!/usr/bin/env bash
# The benchmark table: builds the benchmarks in release mode with their
# peers (OpenCV, ImageMagick) and writes docs/benchmarks.md from one run of
# every effect at every depth, path and sampling. Each case runs
# VX_BENCH_REPETITIONS times (default 3), interleaved at random with the
# others, and the table keeps the medians: a slow spell on a shared machine
# then costs one repetition of several cases, not every repetition of one.
# About ten minutes on two cores. VX_BENCH_MIN_TIME (seconds per
# repetition, default 0.3) trades time for steadier figures.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
vx_install_packages "${VX_BENCH_PACKAGES[@]}"

build=build/bench
programs=(rotate_bench swirl_bench magnify_bench mosaic_bench lineskip_bench noise_bench
          colour_bench)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_BENCH=ON \
      -DVX_BUILD_TESTS=OFF -DVX_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j 2 --target "${programs[@]}"

results="$build/results"
rm -rf "$results"
mkdir -p "$results"
for program in "${programs[@]}"; do
  echo "running $program"
  "$build/bin/$program" --benchmark_min_time="${VX_BENCH_MIN_TIME:-0.3}" \
    --benchmark_repetitions="${VX_BENCH_REPETITIONS:-3}" \
    --benchmark_enable_random_interleaving=true \
    --benchmark_out="$results/$program.json" --benchmark_out_format=json >/dev/null
done

processor=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
processor="${processor:-$(uname -m)} ($(nproc) cores)"
if [[ -n ${VORNIX_ROWS:-} ]]; then
  rows="$VORNIX_ROWS (forced by VORNIX_ROWS)"
elif grep -qw avx2 /proc/cpuinfo; then
  rows="avx2, the best this processor has"
else
  rows="sse2, the best this processor has"
fi
python3 scripts/bench_table.py "$results" "$processor" "$rows" "${VX_BENCH_REPETITIONS:-3}" \
  > docs/benchmarks.md
echo "wrote docs/benchmarks.md"
