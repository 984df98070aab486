// A line skip instance driven through the module's exports and operation
// table as Glissade drives it, and the band pattern read back through the
// hit test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/core/host.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"

namespace vx::host {

using glissade::Image;
using glissade::ImageKind;
using Entries = std::vector<std::pair<std::string, HostValue>>;

inline AreaRect RectOf(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  AreaRect a{};
  a.left = a.originX = l;
  a.top = a.originY = t;
  a.right = r;
  a.bottom = b;
  a.width = r - l;
  a.height = b - t;
  a.area = a.width * a.height;
  return a;
}

// Rows `first` .. `first + count - 1` of the pattern of skip, draw and
// offset, written out period by period: 'S' skipped, 'D' drawn. The first
// period starts where offset + row is a multiple of the period.
inline std::string Bands(std::int64_t skip, std::int64_t draw, std::int64_t offset,
                         std::int64_t first, std::int64_t count) {
  const std::int64_t period = skip + draw;
  const std::string one = std::string(static_cast<std::size_t>(skip), 'S') +
                          std::string(static_cast<std::size_t>(draw), 'D');
  std::int64_t start = first + offset;  // row of `first` counted from a period start
  start -= (start / period - (start < 0 ? 1 : 0)) * period;
  std::string all;
  while (static_cast<std::int64_t>(all.size()) < start + count) all += one;
  return all.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(count));
}

class LineSkipHost : public ::testing::Test {
 protected:
  void SetUp() override { Fresh(); }

  // A new instance in place of the one before.
  void Fresh() {
    fx.Reset();
    instance.reset();
    instance = host.Create(kLineSkipClassId);
    ASSERT_TRUE(instance);
    fx = instance->Effect();
    ASSERT_TRUE(fx);
    services = host.MakeServices();
  }

  Values& values() { return host.values(); }
  HostValue Int(std::int32_t v) { return values().Integer(v); }
  HostValue Sym(const char* s) { return values().SymbolValue(s); }

  Status SetValue(const HostValue& list) {
    restarted = 0;
    changed = 0;
    return fx->ops->SetProperties(fx.get(), &list, 0, 0, &services, &restarted, &changed);
  }
  Status Set(const Entries& entries) { return SetValue(values().List(entries)); }

  std::int32_t NeedsRedraw() {
    std::int32_t out = -1;
    EXPECT_EQ(fx->ops->NeedsRedraw(fx.get(), &out, 0), kOk);
    return out;
  }

  // One frame on a small sprite: advances the animation.
  Status Step() {
    Image dst(ImageKind::kRgb32, 0, 0, 8, 8);
    Image src(ImageKind::kRgb32, 0, 0, 4, 4);
    Image mask(ImageKind::kIndexed8, 0, 0, 4, 4);
    AreaRect update = dst.view().bounds;
    ThresholdRecord t = glissade::MakeThresholdRecord(255, 0);
    return fx->ops->Render(fx.get(), dst.View(), src.View(), &update, mask.View(), nullptr, nullptr,
                           255, 0, 0, 0, &t);
  }

  // GetAlphaAt at stage point (x, y) of a sprite whose rectangle is
  // `sprite`, over an alpha view of the same size.
  std::int32_t AlphaAt(Image& alpha, const AreaRect& sprite, std::int32_t x, std::int32_t y) {
    SpriteDescription d{};
    d.words[kSpriteRectWord] = reinterpret_cast<Word>(&sprite);
    std::int32_t out = -1;
    EXPECT_EQ(fx->ops->GetAlphaAt(fx.get(), alpha.View(), y, x, &out, &d), kOk);
    return out;
  }

  // The pattern over stage rows first .. first + count - 1, read through the
  // hit test on an opaque sprite covering them.
  std::string Pattern(std::int32_t first = 0, std::int32_t count = 24) {
    Image alpha(ImageKind::kIndexed8, 0, 0, 2, count);
    alpha.Fill(255);
    const AreaRect sprite = RectOf(0, first, 2, first + count);
    std::string out;
    for (std::int32_t y = first; y < first + count; ++y) {
      const std::int32_t a = AlphaAt(alpha, sprite, 1, y);
      out += a == 0 ? 'S' : a == 255 ? 'D' : '?';
    }
    return out;
  }

  Host host{VX_MODULE_PATH};
  std::unique_ptr<Instance> instance;
  InterfaceRef<EffectInterface> fx;
  Services services{};
  std::int32_t restarted = 0, changed = 0;
};

}  // namespace vx::host
