// What every benchmark of an effect sets up: the module loaded by path, a
// 640 x 480 source and destination at one depth, an opaque mask, a random
// palette and an effect instance of one class.
#pragma once

#include <cstdint>
#include <memory>
#include <random>

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
};

}  // namespace vx::bench
