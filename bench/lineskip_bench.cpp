// Line skip on a 640 x 480 sprite at every depth, driven through the
// module's exports as Glissade drives it, against a plain copy of the same
// rows (memcpy of every row) in the same run. Skip 0 draws every row; skip 1
// draw 1 every other row, so half the copy's work is the most it may cost.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "sprite_scene.h"

namespace vx {
namespace {

struct Scene : bench::SpriteScene {
  Scene(int depth, int path) : SpriteScene(depth, kLineSkipClassId, 13) { UsePath(path); }

  bool Configure(std::int32_t skip, std::int32_t draw) {
    host::Values& v = host.values();
    return Apply(v.List({{"linesToSkip", v.Integer(skip)}, {"linesToDraw", v.Integer(draw)}}));
  }

  void Render() {
    AreaRect update{};
    update.right = update.width = bench::kWidth;
    update.bottom = update.height = bench::kHeight;
    update.area = bench::kWidth * bench::kHeight;
    effect->ops->Render(effect.get(), destination.View(), source.View(), &update, mask.View(),
                        nullptr, palette.Record(), blend, 1, 0, 0, &thresholds);
  }
};

// args: depth, path (bench::PathName), lines to skip, lines to draw
void BM_LineSkip(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  const int path = static_cast<int>(state.range(1));
  const auto skip = static_cast<std::int32_t>(state.range(2));
  const auto draw = static_cast<std::int32_t>(state.range(3));
  Scene scene(depth, path);
  if (!scene.Configure(skip, draw)) {
    state.SkipWithError("line skip could not be created or configured");
    return;
  }
  bench::MeasureAgainstCopy(state, scene, [&] { scene.Render(); });
  state.SetLabel(std::to_string(depth) + "-bit skip " + std::to_string(skip) + " draw " +
                 std::to_string(draw) + ", " + bench::PathName(path));
}

void LineSkipArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"depth", "path", "skip", "draw"});
  for (int depth : {32, 24, 16, 8}) {
    for (int path : bench::kPaths) b->Args({depth, path, 0, 1});
    b->Args({depth, 0, 1, 1});
  }
}

BENCHMARK(BM_LineSkip)->Apply(LineSkipArgs);

}  // namespace
}  // namespace vx
