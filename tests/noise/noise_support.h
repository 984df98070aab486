// Snow and Pointel driven through the effect interface of the loaded module,
// with their instances read (and their speck maps and phases set) through
// the module's own instance layout.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "effects/noise/noise_layers.h"
#include "framework/area_rect.h"
#include "host/core/host.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "host/glissade/palette.h"
#include "tests/effects/effect_table.h"

namespace vx::noise_test {

using glissade::Image;
using glissade::ImageKind;
using Entries = std::vector<std::pair<std::string, HostValue>>;

// The sum of the map under every layer at pixel (x, y) of a rectangle whose
// first pixel the layers were located for with (clip, left, top).
inline std::int32_t SumAt(const NoiseLayers& n, const AreaRect& clip, std::int64_t left,
                          std::int64_t top, std::int32_t x, std::int32_t y) {
  std::int32_t sum = 0;
  for (std::int32_t i = 0; i < UsableLayers(n); ++i) {
    const LayerCell c = LocateLayer(n, clip, left, top, i);
    sum += n.plasmaMap->base[((c.row + y) % kMapRows) * kMapColumns + (c.column + x) % kMapColumns];
  }
  return sum;
}

class NoiseEffect : public ::testing::Test {
 protected:
  host::LiveEffect Open(const Guid& classId) { return host::OpenEffect(host_, classId); }

  template <class E>
  static E& Instance(host::LiveEffect& live) {
    return *static_cast<E*>(live.instance->Memory());
  }

  Status Set(host::LiveEffect& live, const Entries& entries, std::int32_t* restarted = nullptr,
             std::int32_t* changed = nullptr) {
    HostValue list = host_.values().List(entries);
    std::int32_t r = 0, c = 0;
    const Status s =
        live.effect->ops->SetProperties(live.effect.get(), &list, 0, 0, &services_, &r, &c);
    if (restarted) *restarted = r;
    if (changed) *changed = c;
    return s;
  }
  HostValue Int(std::int32_t v) { return host_.values().Integer(v); }

  // Replaces the instance's map by `cells` (row, column) specks.
  static void SetMap(NoiseLayers& n, const std::vector<std::pair<int, int>>& cells) {
    std::memset(n.plasmaMap->base, 0, kMapBytes);
    for (auto [row, column] : cells) n.plasmaMap->base[row * kMapColumns + column] = 255;
  }
  // Every phase at 64 (cosine 0) and no movement: each layer starts on the
  // cell under the pixel's offset from the map's centre.
  static void StillLayers(NoiseLayers& n) {
    for (std::int32_t j = 0; j < 2 * n.layerCount; ++j) {
      n.layerPhases[j] = 64.0f;
      n.layerRates[j] = 0.0f;
    }
  }

  host::Host host_{VX_MODULE_PATH};
  Services services_ = host_.MakeServices();
  std::mt19937 rng_{2026};
};

}  // namespace vx::noise_test
