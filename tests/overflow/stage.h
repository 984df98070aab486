// Effects driven through their operation tables on views placed anywhere in
// the 32-bit plane: a stage (colour destination and its alpha), a sprite
// (source and mask) and the calls a host makes on them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "host/core/host.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "tests/effects/effect_table.h"

namespace vx::host {

using glissade::Image;
using glissade::ImageKind;

inline constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// Where a view lies: its left and top; sizes are fixed per scene.
struct At {
  std::int32_t x = 0, y = 0;
};

struct Sizes {
  std::int32_t stageW = 40, stageH = 30, spriteW = 20, spriteH = 16;
};

// The same pixels wherever the views are placed (random bytes from a fixed
// seed, the mask opaque over its upper half and graded below).
class Stage {
 public:
  Stage(const Sizes& s, At d, At a, At c, At m)
      : destination(ImageKind::kRgb32, d.x, d.y, d.x + s.stageW, d.y + s.stageH),
        alpha(ImageKind::kIndexed8, a.x, a.y, a.x + s.stageW, a.y + s.stageH),
        source(ImageKind::kRgb32, c.x, c.y, c.x + s.spriteW, c.y + s.spriteH),
        mask(ImageKind::kIndexed8, m.x, m.y, m.x + s.spriteW, m.y + s.spriteH) {
    std::mt19937 rng(2026);
    for (Image* image : {&destination, &alpha, &source}) image->FillRandom(rng);
    for (std::int32_t y = 0; y < s.spriteH; ++y)
      for (std::int32_t x = 0; x < s.spriteW; ++x)
        *mask.Pixel(m.x + x, m.y + y) =
            static_cast<std::uint8_t>(y < s.spriteH / 2 ? 255 : 16 * x);
    runs = glissade::MakeMaskRuns(mask);
    thresholds = glissade::MakeThresholdRecord(255, 0);
  }

  // The destination's whole rectangle.
  AreaRect Whole() const { return destination.view().bounds; }

  Status Render(EffectInterface* e, AreaRect update, std::int32_t align = 0) {
    return e->ops->Render(e, destination.View(), source.View(), &update, mask.View(),
                          runs.data(), nullptr, 255, 1, align, 0, &thresholds);
  }
  Status RenderWithAlpha(EffectInterface* e, AreaRect update, std::int32_t align = 0) {
    return e->ops->RenderWithAlpha(e, destination.View(), alpha.View(), source.View(),
                                   mask.View(), &update, runs.data(), nullptr, 255, 1, align,
                                   &thresholds);
  }

  bool GuardsIntact() const {
    return destination.GuardsIntact() && alpha.GuardsIntact() && source.GuardsIntact() &&
           mask.GuardsIntact();
  }
  // What was drawn: the stage's colour and alpha bytes.
  std::vector<std::uint8_t> Drawn() const {
    std::vector<std::uint8_t> bytes = destination.Memory();
    const std::vector<std::uint8_t> a = alpha.Memory();
    bytes.insert(bytes.end(), a.begin(), a.end());
    return bytes;
  }

  Image destination, alpha, source, mask;
  std::vector<std::uint16_t> runs;
  ThresholdRecord thresholds{};
};

inline AreaRect Shifted(const AreaRect& r, std::int32_t dx, std::int32_t dy) {
  return glissade::HostRect(r.left + dx, r.top + dy, r.right + dx, r.bottom + dy);
}

// A host with one effect open, property lists and script calls.
class Driver {
 public:
  // The host refuses blocks above a megabyte: an author's count of a
  // billion layers is asked for, and refused, without taking the time.
  explicit Driver(const Guid& classId) : classId_(classId), live_(Open(host_, classId)) {
    services_ = host_.MakeServices();
  }
  // A fresh instance of the class in the same host (loading one costs more).
  void Reopen() {
    live_.effect.Reset();  // the interface before the instance it lives in
    live_.instance.reset();
    live_ = Open(host_, classId_);
  }
  EffectInterface* fx() { return live_.effect.get(); }
  Values& values() { return host_.values(); }
  Host& host() { return host_; }

  using Entries = std::vector<std::pair<std::string, HostValue>>;
  Status Set(const Entries& entries) {
    const HostValue list = values().List(entries);
    std::int32_t restarted = 0, changed = 0;
    return fx()->ops->SetProperties(fx(), &list, 0, 0, &services_, &restarted, &changed);
  }
  HostValue Int(std::int32_t v) { return values().Integer(v); }
  HostValue Sym(const char* s) { return values().SymbolValue(s); }

  // The script functions the effect's description offers.
  std::vector<std::string> Functions() {
    char* text = nullptr;
    if (fx()->ops->GetDescription(fx(), &text, &services_) != kOk || text == nullptr) return {};
    const std::string description(text);
    host_.allocator().Free(text);
    return DescribedFunctions(description);
  }

  // `name` with `args` from index `first`, the count as given.
  Status Call(const std::string& name, const std::vector<HostValue>& args, std::int32_t count,
              std::int32_t first, HostValue* result) {
    std::int32_t restarted = 0, changed = 0;
    *result = HostValue{};
    return fx()->ops->CallFunction(fx(), values().Intern(name), args.data(), count, first,
                                   result, &services_, &restarted, &changed);
  }

 private:
  static LiveEffect Open(Host& host, const Guid& classId) {
    host.allocator().FailAbove(1 << 20);
    return OpenEffect(host, classId);
  }

  Host host_{VX_MODULE_PATH};
  const Guid& classId_;
  LiveEffect live_;
  Services services_{};
};

}  // namespace vx::host
