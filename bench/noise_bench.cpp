// Snow and Pointel on a 640 x 480 sprite at every depth and at intensity 1,
// 4 and 16, driven through the module's exports as Glissade drives them,
// against the compositing alone of the same pixels in the same run: line
// skip drawing every row puts the source through the same colour pass with
// its colours unchanged. The noise costs per layer, so the ratio falls
// linearly with the intensity.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "sprite_scene.h"

namespace vx {
namespace {

struct Scene : bench::SpriteScene {
  Scene(int depth, const Guid& classId, int path) : SpriteScene(depth, classId, 21) {
    UsePath(path);
    peer = host.Create(kLineSkipClassId);
    if (peer) peerEffect = peer->Effect();
  }

  bool Configure(std::int32_t intensity) {
    host::Values& v = host.values();
    std::int32_t restarted = 0, changed = 0;
    HostValue plain = v.List({{"linesToSkip", v.Integer(0)}, {"linesToDraw", v.Integer(1)}});
    return peerEffect &&
           peerEffect->ops->SetProperties(peerEffect.get(), &plain, 0, 0, &services, &restarted,
                                          &changed) == kOk &&
           Apply(v.List({{"intensity", v.Integer(intensity)}}));
  }

  void Render(EffectInterface* fx) {
    AreaRect update{};
    update.right = update.width = bench::kWidth;
    update.bottom = update.height = bench::kHeight;
    update.area = bench::kWidth * bench::kHeight;
    fx->ops->Render(fx, destination.View(), source.View(), &update, mask.View(), nullptr,
                    palette.Record(), blend, 1, 0, 0, &thresholds);
  }

  std::unique_ptr<host::Instance> peer;
  host::InterfaceRef<EffectInterface> peerEffect;
};

// args: depth, path (bench::PathName), intensity
void Measure(benchmark::State& state, const Guid& classId, const char* name) {
  const int depth = static_cast<int>(state.range(0));
  const int path = static_cast<int>(state.range(1));
  const auto intensity = static_cast<std::int32_t>(state.range(2));
  Scene scene(depth, classId, path);
  if (!scene.effect || !scene.Configure(intensity)) {
    state.SkipWithError("effect could not be created or configured");
    return;
  }
  bench::MeasureAgainst(
      state, "compositing", [&] { scene.Render(scene.effect.get()); },
      [&] { scene.Render(scene.peerEffect.get()); });
  state.SetLabel(std::string(name) + " " + std::to_string(depth) + "-bit intensity " +
                 std::to_string(intensity) + ", " + bench::PathName(path));
}

void BM_Snow(benchmark::State& state) { Measure(state, kSnowClassId, "snow"); }
void BM_Pointel(benchmark::State& state) { Measure(state, kPointelClassId, "pointel"); }

void NoiseArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"depth", "path", "intensity"});
  for (int depth : {32, 24, 16, 8}) {
    for (int path : bench::kPaths) b->Args({depth, path, 1});
    for (int intensity : {4, 16}) b->Args({depth, 0, intensity});
  }
}

BENCHMARK(BM_Snow)->Apply(NoiseArgs);
BENCHMARK(BM_Pointel)->Apply(NoiseArgs);

}  // namespace
}  // namespace vx
