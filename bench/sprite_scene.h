// What every benchmark of an effect sets up: the module loaded by path, a
// 640 x 480 source and destination at one depth, an opaque mask, a random
// palette and an effect instance of one class.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <utility>

#include "host/core/host.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "host/glissade/palette.h"

namespace vx::bench {

constexpr std::int32_t kWidth = 640, kHeight = 480;
constexpr double kPixels = double{kWidth} * kHeight;

inline glissade::ImageKind KindOf(int depth) {
  switch (depth) {
    case 8: return glissade::ImageKind::kIndexed8;
    case 16: return glissade::ImageKind::kRgb555;
    case 24: return glissade::ImageKind::kRgb24;
    default: return glissade::ImageKind::kRgb32;
  }
}

struct SpriteScene {
  SpriteScene(int depth, const Guid& classId, unsigned seed)
      : rng(seed),
        host(VX_MODULE_PATH),
        services(host.MakeServices()),
        source(KindOf(depth), 0, 0, kWidth, kHeight),
        destination(KindOf(depth), 0, 0, kWidth, kHeight),
        mask(glissade::ImageKind::kIndexed8, 0, 0, kWidth, kHeight),
        palette(glissade::PaletteTable::Random(rng)),
        thresholds(glissade::MakeThresholdRecord(255, 0)) {
    source.FillRandom(rng);
    destination.FillRandom(rng);
    mask.Fill(255);
    instance = host.Create(classId);
    if (instance) effect = instance->Effect();
  }

  // One frame over the whole destination: threshold path, the scene's
  // blend level, drawn, no alignment.
  void Render() {
    AreaRect update = destination.view().bounds;
    effect->ops->Render(effect.get(), destination.View(), source.View(), &update, mask.View(),
                        nullptr, palette.Record(), blend, 1, 0, 0, &thresholds);
  }

  // The drawing path of argument `path` (see PathName): the soft mask, or
  // blend level 128 over the opaque one.
  void UsePath(int path);

  // SetProperties with `list`; false when the effect is missing or refuses.
  bool Apply(const HostValue& list) {
    if (!effect) return false;
    std::int32_t restarted = 0, changed = 0;
    return effect->ops->SetProperties(effect.get(), &list, 0, 0, &services, &restarted,
                                      &changed) == kOk;
  }

  std::mt19937 rng;
  host::Host host;
  Services services;
  glissade::Image source, destination, mask;
  glissade::PaletteTable palette;
  ThresholdRecord thresholds;
  std::unique_ptr<host::Instance> instance;
  host::InterfaceRef<EffectInterface> effect;
  std::int32_t blend = 255;
};

// The "soft" mask: an ellipse filling the sprite, opaque inside,
// transparent outside and ramped over its last 24 pixels, so that no mask
// row is whole and every pixel goes by its own mask value.
inline void MakeSoftMask(glissade::Image& mask) {
  const double a = kWidth / 2.0, b = kHeight / 2.0, ramp = 24;
  for (std::int32_t y = 0; y < kHeight; ++y)
    for (std::int32_t x = 0; x < kWidth; ++x) {
      const double e = std::hypot((x + 0.5 - a) / a, (y + 0.5 - b) / b);
      const double inside = (1 - e) * b / ramp;  // 1 at the ramp's inner edge
      *mask.Pixel(x, y) = static_cast<std::uint8_t>(std::clamp(inside, 0.0, 1.0) * 255);
    }
}

// The three drawing paths every effect is measured on (argument "path"):
// 0 opaque mask at blend 255, 1 the soft mask at blend 255, 2 the opaque
// mask at blend 128.
inline const char* PathName(int path) {
  return path == 1 ? "soft mask" : path == 2 ? "blend 128" : "opaque";
}
inline constexpr int kPaths[] = {0, 1, 2};

inline void SpriteScene::UsePath(int path) {
  if (path == 1) MakeSoftMask(mask);
  blend = path == 2 ? 128 : 255;
}

// Every row of `from` copied into `to`: what any drawing of the sprite must
// at least cost.
inline void CopyRows(const glissade::Image& from, glissade::Image& to) {
  const std::size_t bytes = static_cast<std::size_t>(from.Width()) * from.BytesPerPixel();
  for (std::int32_t y = 0; y < from.Height(); ++y)
    std::memcpy(to.Pixel(0, y), from.Pixel(0, y), bytes);
}

// Runs `render` for the benchmark's iterations, then each peer as many
// times, all timed in processor time so that other work on a shared machine
// does not move the figures. Counters: Mpx/s of the render, of each peer
// ("<name>_Mpx/s"), and their ratio ("vs_<name>", render / peer).
template <class Render, class... Peers>
void MeasureAgainstEach(benchmark::State& state, Render&& render,
                        std::pair<std::string, Peers>... peers) {
  const auto seconds = [](std::clock_t from, std::clock_t to) {
    return static_cast<double>(to - from) / CLOCKS_PER_SEC;
  };
  const std::clock_t begin = std::clock();
  for (auto _ : state) {
    render();
    benchmark::ClobberMemory();
  }
  const double renderSeconds = seconds(begin, std::clock());
  const std::int64_t frames = state.iterations();
  state.SetItemsProcessed(static_cast<std::int64_t>(frames * kPixels));
  const double renderRate = renderSeconds > 0 ? frames * kPixels / renderSeconds / 1e6 : 0;
  state.counters["Mpx/s"] = renderRate;
  const auto measure = [&](const std::string& name, auto& peer) {
    const std::clock_t peerBegin = std::clock();
    for (std::int64_t i = 0; i < frames; ++i) {
      peer();
      benchmark::ClobberMemory();
    }
    const double peerSeconds = seconds(peerBegin, std::clock());
    const double peerRate = peerSeconds > 0 ? frames * kPixels / peerSeconds / 1e6 : 0;
    state.counters[name + "_Mpx/s"] = peerRate;
    state.counters["vs_" + name] = peerRate > 0 ? renderRate / peerRate : 0;
  };
  (measure(peers.first, peers.second), ...);
}

template <class Render, class Peer>
void MeasureAgainst(benchmark::State& state, const std::string& name, Render&& render,
                    Peer&& peer) {
  MeasureAgainstEach(state, render, std::pair<std::string, Peer&>{name, peer});
}

// Against every row of the source copied into the destination: what any
// drawing of the sprite must at least cost.
template <class Render>
void MeasureAgainstCopy(benchmark::State& state, SpriteScene& scene, Render&& render) {
  MeasureAgainst(state, "copy", render, [&] { CopyRows(scene.source, scene.destination); });
}

// The cases of a sampled effect's benchmark (rotate, swirl, magnify):
// every depth, both samplings, every path.
struct SampledCase {
  int depth;
  bool bilinear;
  int path;

  static SampledCase Of(const benchmark::State& state) {
    return {static_cast<int>(state.range(0)), state.range(1) != 0, static_cast<int>(state.range(2))};
  }
  static void Register(benchmark::internal::Benchmark* b) {
    b->ArgsProduct({{32, 16, 8}, {0, 1}, {0, 1, 2}})
        ->ArgNames({"depth", "bilinear", "path"})
        ->Unit(benchmark::kMillisecond);
  }
  std::string Label() const {
    return std::to_string(depth) + "-bit " + (bilinear ? "bilinear" : "nearest") + ", " +
           PathName(path);
  }
};

// A sampled effect set for a case: its path, its sampling and one integer
// property (the angle or the percentage).
struct SampledScene : SpriteScene {
  SampledScene(const SampledCase& c, const Guid& classId, unsigned seed, const char* key,
               std::int32_t value)
      : SpriteScene(c.depth, classId, seed) {
    UsePath(c.path);
    configured = Apply(host.values().List(
        {{key, host.values().Integer(value)},
         {"interpolation", host.values().Integer(c.bilinear ? 1 : 0)}}));
  }
  bool configured = false;
};

}  // namespace vx::bench
