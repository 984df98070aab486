// Mosaic on a 640 x 480 sprite at every destination depth, driven through the
// module's exports as Glissade drives it, against a plain copy of the same
// bytes (memcpy of every row) in the same run.
//
// Counters: Mpx/s of the mosaic render, Mpx/s of the copy (timed right after
// the render loop, same number of frames) and their ratio (render / copy).
// Both are measured in processor time, so that other work on a shared
// machine does not move the figures.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sprite_scene.h"

namespace vx {
namespace {

using glissade::Image;

using bench::KindOf;
using bench::kHeight;
using bench::kPixels;
using bench::kWidth;

struct Scene : bench::SpriteScene {
  Scene(int depth, int path) : SpriteScene(depth, kMosaicClassId, 17) {
    UsePath(path);
    runs = glissade::MakeMaskRuns(mask);
  }

  bool Configure(std::int32_t tile) {
    host::Values& v = host.values();
    return Apply(v.List({{"animMode", v.SymbolValue("static")},
                         {"xResolution", v.Integer(tile)},
                         {"yResolution", v.Integer(tile)}}));
  }

  void Render(bool withRuns) {
    AreaRect update{};
    update.right = update.width = kWidth;
    update.bottom = update.height = kHeight;
    update.area = kWidth * kHeight;
    effect->ops->Render(effect.get(), destination.View(), source.View(), &update, mask.View(),
                        withRuns ? runs.data() : nullptr, palette.Record(), blend, 1, 0, 0,
                        &thresholds);
  }

  std::vector<std::uint16_t> runs;
};

// args: depth, path (bench::PathName), tile size, runs (1) or threshold path (0)
void BM_Mosaic(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  const int path = static_cast<int>(state.range(1));
  const auto tile = static_cast<std::int32_t>(state.range(2));
  const bool withRuns = state.range(3) != 0;
  Scene scene(depth, path);
  if (!scene.Configure(tile)) {
    state.SkipWithError("mosaic could not be created or configured");
    return;
  }
  scene.Render(withRuns);  // first render allocates the tile-colour row

  bench::MeasureAgainstCopy(state, scene, [&] { scene.Render(withRuns); });
  state.SetLabel(std::to_string(depth) + "-bit " + bench::PathName(path) + " tile " +
                 std::to_string(tile) + (withRuns ? " runs" : " threshold"));
}

// The copy alone, for the standard items/s column.
void BM_CopyRows(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  std::mt19937 rng(3);
  Image from(KindOf(depth), 0, 0, kWidth, kHeight), to(KindOf(depth), 0, 0, kWidth, kHeight);
  from.FillRandom(rng);
  for (auto _ : state) {
    bench::CopyRows(from, to);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPixels));
  state.SetLabel(std::to_string(depth) + "-bit");
}

void MosaicArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"depth", "path", "tile", "runs"});
  for (int depth : {32, 24, 16, 8})
    for (int path : bench::kPaths) b->Args({depth, path, 8, 1});
  // The threshold path (no runs) and small and large tiles at 32 bits.
  b->Args({32, 0, 8, 0});
  b->Args({32, 0, 2, 1});
  b->Args({32, 0, 32, 1});
}

BENCHMARK(BM_Mosaic)->Apply(MosaicArgs);
BENCHMARK(BM_CopyRows)->Arg(8)->Arg(16)->Arg(24)->Arg(32);

}  // namespace
}  // namespace vx
