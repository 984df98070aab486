// Views a host should not hand over but might, found by the fuzz targets:
// each render answers 0 and leaves every pixel and guard alone.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>
#include <string>

#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "host/glissade/palette.h"
#include "tests/effects/effect_table.h"

namespace vx::host {
namespace {

using glissade::Image;
using glissade::ImageKind;

struct Case {
  const char* what;
  const Guid* classId;
  std::int32_t align;
  // The sprite's source: its bounds, then anything done to its view.
  std::int32_t sourceWidth, sourceHeight;
  std::function<void(PixelView&)> lie;
};

const Case kCases[] = {
    // A source larger than its mask is cut to the mask's size; a row step
    // near INT_MIN once overflowed the cut view's derived fields.
    {"rotate, source row step INT_MIN + 1", &kRotateClassId, 1, 25, 19,
     [](PixelView& v) { v.rowStep = INT_MIN + 1; }},
    {"rotate, source row step INT_MAX", &kRotateClassId, 0, 25, 19, [](PixelView& v) { v.rowStep = INT_MAX; }},
    // A private copy of an empty source (whose clip still covers the
    // sprite) has nothing to copy: not a failed allocation.
    {"swirl, empty source copied", &kSwirlClassId, 2, 29, 0,
     [](PixelView& v) { v.clip = glissade::HostRect(-40, -40, 40, 40); }},
    {"rotate, empty source copied", &kRotateClassId, 2, 29, 0,
     [](PixelView& v) { v.clip = glissade::HostRect(-40, -40, 40, 40); }},
};

TEST(HostileViews, RendersAnswerZeroAndDrawNothing) {
  Host host(VX_MODULE_PATH);
  std::mt19937 rng(15);
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    LiveEffect live = OpenEffect(host, *c.classId);
    ASSERT_TRUE(live.effect);
    Image dst(ImageKind::kRgb32, 0, 0, 37, 29), src(ImageKind::kRgb32, 0, 0, c.sourceWidth, c.sourceHeight);
    Image mask(ImageKind::kIndexed8, 0, 0, 21, 15);
    dst.FillRandom(rng), src.FillRandom(rng), mask.Fill(255);
    if (c.lie) c.lie(*src.View());
    ThresholdRecord thresholds = glissade::MakeThresholdRecord(200, 10);
    thresholds.words[kThresholdAllocatorWord] = reinterpret_cast<Word>(host.allocator().Interface());
    const std::vector<std::uint8_t> before = dst.Memory();
    AreaRect update = glissade::HostRect(0, 0, 37, 29);
    EffectInterface* e = live.effect.get();
    EXPECT_EQ(e->ops->Render(e, dst.View(), src.View(), &update, mask.View(), nullptr, palette.Record(), 255, 1,
                             c.align, 0, &thresholds),
              kOk);
    EXPECT_TRUE(dst.Memory() == before) << "drew from a source it cannot read";
    EXPECT_TRUE(dst.GuardsIntact() && src.GuardsIntact() && mask.GuardsIntact());
    live.effect.Reset();
    live.instance.reset();
    EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
  }
}

// The private copy of the source (align 2) lives across frames; a later
// source of the same bounds but wider pixels once reused it and wrote its
// rows past the copy's block.
TEST(HostileViews, PrivateCopyFollowsTheSourcesPixelSize) {
  Host host(VX_MODULE_PATH);
  std::mt19937 rng(16);
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng);
  for (const Guid* classId : {&kRotateClassId, &kSwirlClassId}) {
    LiveEffect live = OpenEffect(host, *classId);
    ASSERT_TRUE(live.effect);
    EffectInterface* e = live.effect.get();
    for (ImageKind kind : {ImageKind::kIndexed8, ImageKind::kRgb555, ImageKind::kRgb32, ImageKind::kIndexed8}) {
      Image dst(kind, 0, 0, 37, 29), src(kind, 0, 0, 21, 15), mask(ImageKind::kIndexed8, 0, 0, 21, 15);
      dst.FillRandom(rng), src.FillRandom(rng), mask.Fill(255);
      ThresholdRecord thresholds = glissade::MakeThresholdRecord(200, 10);
      AreaRect update = glissade::HostRect(0, 0, 37, 29);
      EXPECT_EQ(e->ops->Render(e, dst.View(), src.View(), &update, mask.View(), nullptr, palette.Record(), 255, 1,
                               2, 0, &thresholds),
                kOk);
      EXPECT_TRUE(host.allocator().GuardsIntact()) << glissade::KindName(kind) << ": wrote past the copy";
      EXPECT_TRUE(dst.GuardsIntact()) << glissade::KindName(kind);
    }
    live.effect.Reset();
    live.instance.reset();
    EXPECT_EQ(host.allocator().BrokenGuardCount(), 0u);
    EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
  }
}

}  // namespace
}  // namespace vx::host
