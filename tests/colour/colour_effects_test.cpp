// RGB and HSB shift driven through the module's exports as Glissade drives
// them: the colours their rules give for chosen pixels, how property lists
// set and animate the shifts, and what a render on bad input leaves.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/effects/effect_table.h"
#include "host/core/host.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"

namespace vx::host {
namespace {

using glissade::Image;
using glissade::ImageKind;
using Entries = std::vector<std::pair<std::string, HostValue>>;
using Rgb = std::array<int, 3>;  // red, green, blue

class ColourEffect : public ::testing::Test {
 protected:
  // A fresh instance; the interface goes before the instance it points into.
  void Open(const Guid& classId) {
    live_.effect.Reset();
    live_.instance.reset();
    live_ = OpenEffect(host_, classId);
    ASSERT_TRUE(live_.effect);
  }
  EffectInterface* fx() { return live_.effect.get(); }

  HostValue Int(std::int32_t v) { return host_.values().Integer(v); }
  HostValue Sym(const char* s) { return host_.values().SymbolValue(s); }

  Status Set(const Entries& entries) {
    restarted_ = 0;
    const HostValue list = host_.values().List(entries);
    std::int32_t changed = 0;
    return fx()->ops->SetProperties(fx(), &list, 0, 0, &services_, &restarted_, &changed);
  }

  std::int32_t NeedsRedraw() {
    std::int32_t out = -1;
    EXPECT_EQ(fx()->ops->NeedsRedraw(fx(), &out, 0), kOk);
    return out;
  }
  std::int32_t IsStill() {
    std::int32_t out = -1;
    EXPECT_EQ(fx()->ops->IsStill(fx(), &out, 0), kOk);
    return out;
  }

  // One render of a one-row sprite of these pixels over a black stage of the
  // same size, opaque, through its runs at blend 255; the pixels drawn.
  std::vector<Rgb> Draw(const std::vector<Rgb>& pixels, ImageKind kind = ImageKind::kRgb24) {
    const auto n = static_cast<std::int32_t>(pixels.size());
    Image src(kind, 0, 0, n, 1), dst(kind, 0, 0, n, 1), mask(ImageKind::kIndexed8, 0, 0, n, 1);
    for (std::int32_t x = 0; x < n; ++x) Put(src, x, 0, pixels[x]);
    dst.Fill(0);
    mask.Fill(255);
    const auto runs = glissade::MakeMaskRuns(mask);
    EXPECT_EQ(Render(dst, src, mask, runs.data(), 255), kOk);
    EXPECT_TRUE(dst.GuardsIntact());
    std::vector<Rgb> out;
    for (std::int32_t x = 0; x < n; ++x) out.push_back(Get(dst, x, 0));
    return out;
  }
  Rgb DrawOne(Rgb pixel, ImageKind kind = ImageKind::kRgb24) { return Draw({pixel}, kind)[0]; }

  Status Render(Image& dst, Image& src, Image& mask, const std::uint16_t* runs,
                std::int32_t blend, std::int32_t lower = 0) {
    AreaRect update = dst.view().bounds;
    ThresholdRecord thresholds = glissade::MakeThresholdRecord(255, lower);
    return fx()->ops->Render(fx(), dst.View(), src.View(), &update, mask.View(), runs, nullptr,
                             blend, 1, 0, 0, &thresholds);
  }

  // Pixels as red, green, blue: bytes at 24 bits, 5-bit fields at 16.
  static void Put(Image& image, std::int32_t x, std::int32_t y, Rgb c) {
    std::uint8_t* p = image.Pixel(x, y);
    if (image.Kind() == ImageKind::kRgb555) {
      const int v = (c[0] << 10) | (c[1] << 5) | c[2];
      p[0] = static_cast<std::uint8_t>(v);
      p[1] = static_cast<std::uint8_t>(v >> 8);
    } else {
      p[0] = static_cast<std::uint8_t>(c[2]);
      p[1] = static_cast<std::uint8_t>(c[1]);
      p[2] = static_cast<std::uint8_t>(c[0]);
    }
  }
  static Rgb Get(const Image& image, std::int32_t x, std::int32_t y) {
    const std::uint8_t* p = image.Pixel(x, y);
    if (image.Kind() == ImageKind::kRgb555) {
      const int v = p[0] | (p[1] << 8);
      return {(v >> 10) & 31, (v >> 5) & 31, v & 31};
    }
    return {p[2], p[1], p[0]};
  }

  Host host_{VX_MODULE_PATH};
  Services services_ = host_.MakeServices();
  LiveEffect live_;
  std::int32_t restarted_ = 0;
};

// ---------------------------------------------------------------------------
// HSB: the conversion's own values.

class Hsb : public ColourEffect {
 protected:
  void SetUp() override { Open(kHsbClassId); }
};

TEST_F(Hsb, TheRoundTripIsInexactButKeepsGreys) {
  const std::vector<Rgb> in = {{255, 0, 0},   {200, 100, 50},  {0, 0, 255}, {0, 0, 0},
                               {128, 128, 128}, {255, 255, 255}, {7, 7, 7}};
  const std::vector<Rgb> out = {{255, 2, 1},    {200, 101, 51},  {2, 1, 255}, {0, 0, 0},
                                {128, 128, 128}, {255, 255, 255}, {7, 7, 7}};
  EXPECT_EQ(Draw(in), out) << "fresh instance";
  ASSERT_EQ(Set({{"animMode", Sym("static")}, {"hueShift", Int(0)}}), kOk);
  EXPECT_EQ(Draw(in), out) << "static, all shifts 0";
}

struct ShiftCase {
  const char* what;
  std::vector<std::pair<const char*, std::int32_t>> keys;
  Rgb in, out;
};

TEST_F(Hsb, ShiftsAndForcedChannels) {
  const ShiftCase kCases[] = {
      {"hue +120", {{"hueShift", 120}}, {255, 0, 0}, {1, 255, 2}},
      {"hue -240 wraps once", {{"hueShift", -240}}, {255, 0, 0}, {1, 255, 2}},
      {"brightness -100", {{"brightShift", -100}}, {255, 0, 0}, {155, 2, 1}},
      {"grey takes hue 0", {{"satShift", 255}}, {128, 128, 128}, {128, 1, 1}},
      {"forced red on white", {{"forceHue", 0}, {"forceSat", 255}}, {255, 255, 255}, {255, 2, 1}},
      {"black keeps black", {{"forceHue", 0}, {"forceSat", 255}}, {0, 0, 0}, {0, 0, 0}},
      {"forced hue 400 is 40", {{"forceHue", 400}, {"forceSat", 255}}, {255, 255, 255},
       {255, 171, 1}},
      {"forced saturation clamps", {{"forceSat", 900}}, {0, 0, 200}, {2, 1, 200}},
      {"forced brightness", {{"forceBright", 100}}, {255, 0, 0}, {100, 1, 1}},
      {"end key when the shift key is missing", {{"endBright", -100}}, {255, 0, 0}, {155, 2, 1}},
  };
  for (const ShiftCase& c : kCases) {
    SCOPED_TRACE(c.what);
    Open(kHsbClassId);
    Entries list = {{"animMode", Sym("static")}};
    for (const auto& [key, value] : c.keys) list.emplace_back(key, Int(value));
    ASSERT_EQ(Set(list), kOk);
    EXPECT_EQ(DrawOne(c.in), c.out);
  }
}

TEST_F(Hsb, SixteenBitChannelsEnterScaledByEight) {
  // 31 enters as 248, so 248 - 100 = 148 comes back as 148 >> 3 = 18 (from
  // 255 it would be 19).
  ASSERT_EQ(Set({{"animMode", Sym("static")}, {"brightShift", Int(-100)}}), kOk);
  EXPECT_EQ(DrawOne({31, 0, 0}, ImageKind::kRgb555), (Rgb{18, 0, 0}));
  EXPECT_EQ(DrawOne({16, 16, 16}, ImageKind::kRgb555), (Rgb{3, 3, 3}));
}

TEST_F(Hsb, ForceWithShiftAnimatesFromTheForcedValue) {
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"numFrames", Int(2)},
                 {"forceHue", Int(0)},
                 {"hueShift", Int(120)},
                 {"forceSat", Int(255)}}),
            kOk);
  EXPECT_EQ(DrawOne({255, 255, 255}), (Rgb{255, 255, 1})) << "hue 60";
  EXPECT_EQ(DrawOne({255, 255, 255}), (Rgb{1, 255, 2})) << "hue 120";
  EXPECT_EQ(IsStill(), 1);
}

TEST_F(Hsb, InfiniteHueTurnsWithTheSignOfTheFrameCount) {
  for (const auto& [frames, expected] : {std::pair{4, Rgb{129, 255, 1}},     // hue 90
                                         std::pair{-4, Rgb{129, 1, 255}}}) {  // hue 270
    Open(kHsbClassId);
    ASSERT_EQ(Set({{"animMode", Sym("infinite")},
                   {"numFrames", Int(frames)},
                   {"forceHue", Int(0)},
                   {"forceSat", Int(255)}}),
              kOk);
    EXPECT_EQ(DrawOne({255, 255, 255}), expected) << frames;
  }
}

TEST_F(Hsb, AListOfIgnoredKeysRerunsTheSetUp) {
  ASSERT_EQ(Set({{"animMode", Sym("static")}, {"brightShift", Int(-100)}}), kOk);
  EXPECT_EQ(NeedsRedraw(), 1);
  EXPECT_EQ(NeedsRedraw(), 0);
  ASSERT_EQ(Set({{"hue", Int(50)}}), kOk);
  EXPECT_EQ(NeedsRedraw(), 1);
  EXPECT_EQ(NeedsRedraw(), 0);
  EXPECT_EQ(DrawOne({255, 0, 0}), (Rgb{155, 2, 1})) << "the look stays";
}

// ---------------------------------------------------------------------------
// RGB.

class RgbFx : public ColourEffect {
 protected:
  void SetUp() override { Open(kRgbClassId); }
  std::int32_t Red() { return DrawOne({0, 0, 0})[0]; }
};

TEST_F(RgbFx, StaticShiftsClampEachChannel) {
  ASSERT_EQ(Set({{"animMode", Sym("static")}, {"redShift", Int(255)}}), kOk);
  EXPECT_EQ(Draw({{0, 10, 20}, {200, 200, 200}}),
            (std::vector<Rgb>{{255, 10, 20}, {255, 200, 200}}));
  ASSERT_EQ(Set({{"redShift", Int(-255)}, {"greenShift", Int(100)}}), kOk);
  EXPECT_EQ(DrawOne({250, 200, 7}), (Rgb{0, 255, 7}));
  ASSERT_EQ(Set({{"redShift", Int(0)}, {"greenShift", Int(0)}, {"blueShift", Int(2000000000)}}),
            kOk);
  EXPECT_EQ(DrawOne({1, 2, 3}), (Rgb{1, 2, 255})) << "a huge shift saturates";
}

TEST_F(RgbFx, SixteenBitShiftsAreUnscaled) {
  ASSERT_EQ(Set({{"animMode", Sym("static")}, {"blueShift", Int(10)}}), kOk);
  EXPECT_EQ(Draw({{0, 0, 20}, {0, 0, 25}}, ImageKind::kRgb555),
            (std::vector<Rgb>{{0, 0, 30}, {0, 0, 31}}));
}

TEST_F(RgbFx, EndKeysCountOnlyWithoutTheShiftKey) {
  ASSERT_EQ(Set({{"animMode", Sym("static")}, {"redShift", Int(40)}, {"endRed", Int(90)}}), kOk);
  EXPECT_EQ(Red(), 40);
  ASSERT_EQ(Set({{"endRed", Int(90)}}), kOk);
  EXPECT_EQ(Red(), 90);
}

TEST_F(RgbFx, RangeReachesItsEndAndStays) {
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"numFrames", Int(10)},
                 {"startRed", Int(0)},
                 {"redShift", Int(100)}}),
            kOk);
  EXPECT_EQ(restarted_, 1);
  for (int k = 1; k <= 10; ++k) EXPECT_EQ(Red(), 10 * k) << "render " << k;
  EXPECT_EQ(IsStill(), 1);
  EXPECT_EQ(Red(), 100);
}

TEST_F(RgbFx, ANewListWhileRunningKeepsTheRunningEnds) {
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"numFrames", Int(10)},
                 {"startRed", Int(0)},
                 {"redShift", Int(100)}}),
            kOk);
  for (int k = 1; k <= 5; ++k) Red();
  ASSERT_EQ(Set({{"greenShift", Int(50)}}), kOk);
  EXPECT_EQ(restarted_, 0);
  EXPECT_EQ(DrawOne({0, 0, 0}), (Rgb{10, 5, 0})) << "first frame again, same red end";
  // Only ignored keys: the same animation from its first frame.
  Red();
  ASSERT_EQ(Set({{"colorShift", Int(1)}, {"red", Int(7)}}), kOk);
  EXPECT_EQ(DrawOne({0, 0, 0}), (Rgb{10, 5, 0}));
}

// ---------------------------------------------------------------------------
// Both: blending, runs and sources the loops cannot read.

class EitherEffect : public ColourEffect, public ::testing::WithParamInterface<const Guid*> {
 protected:
  void SetUp() override { Open(*GetParam()); }
};

TEST_P(EitherEffect, HalfBlendOnAnOpaqueMaskWeighs127) {
  // No runs: the threshold path; (128 x 255) >> 8 = 127, so 100 over 0
  // gives 100 x 127 >> 8 = 49.
  Image src(ImageKind::kRgb32, 0, 0, 2, 1), dst(ImageKind::kRgb32, 0, 0, 2, 1);
  Image mask(ImageKind::kIndexed8, 0, 0, 2, 1);
  src.Fill(100);
  dst.Fill(0);
  mask.Fill(255);
  ASSERT_EQ(Render(dst, src, mask, nullptr, 128), kOk);
  EXPECT_EQ(Get(dst, 0, 0), (Rgb{49, 49, 49}));
  EXPECT_EQ(dst.Pixel(0, 0)[3], 0) << "fourth byte untouched";
}

TEST_P(EitherEffect, AnEmptyTripleLeavesItsRowAlone) {
  Image src(ImageKind::kRgb24, 0, 0, 3, 2), dst(ImageKind::kRgb24, 0, 0, 3, 2);
  Image mask(ImageKind::kIndexed8, 0, 0, 3, 2);
  src.Fill(60);
  dst.Fill(0);
  mask.Fill(255);
  const std::vector<std::uint16_t> runs = {0, 0, 0,           // top row: ends at once
                                           1, 0, 2, 0, 0, 0};  // bottom row: 1 skipped, 2 drawn
  ASSERT_EQ(Render(dst, src, mask, runs.data(), 255), kOk);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(Get(dst, x, 0), (Rgb{0, 0, 0})) << x;
  EXPECT_EQ(Get(dst, 0, 1), (Rgb{0, 0, 0}));
  EXPECT_EQ(Get(dst, 1, 1), (Rgb{60, 60, 60}));
  EXPECT_EQ(Get(dst, 2, 1), (Rgb{60, 60, 60}));
}

TEST_P(EitherEffect, AnUnreadableSourceDepthDrawsNothingButTheFrameAdvances) {
  // Brightness (HSB) or red (RGB) runs 0 -> 100 over 10 frames; a grey
  // pixel of 0 shows the value.
  const bool hsb = GetParam() == &kHsbClassId;
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"numFrames", Int(10)},
                 {hsb ? "brightShift" : "redShift", Int(100)}}),
            kOk);
  Image src(ImageKind::kRgb32, 0, 0, 1, 1), dst(ImageKind::kRgb32, 0, 0, 1, 1);
  Image mask(ImageKind::kIndexed8, 0, 0, 1, 1);
  src.Fill(0);
  dst.Fill(0);
  mask.Fill(255);
  const auto runs = glissade::MakeMaskRuns(mask);
  src.View()->depth = 12;
  for (int k = 0; k < 3; ++k) {
    ASSERT_EQ(Render(dst, src, mask, runs.data(), 255), kOk);
    ASSERT_EQ(Render(dst, src, mask, nullptr, 255), kOk);
  }
  EXPECT_EQ(Get(dst, 0, 0), (Rgb{0, 0, 0}));
  EXPECT_TRUE(dst.GuardsIntact());
  EXPECT_EQ(DrawOne({0, 0, 0})[0], 70) << "the seventh frame";
}

INSTANTIATE_TEST_SUITE_P(RgbAndHsb, EitherEffect, ::testing::Values(&kRgbClassId, &kHsbClassId),
                         [](const ::testing::TestParamInfo<const Guid*>& info) {
                           return std::string(info.param == &kHsbClassId ? "Hsb" : "Rgb");
                         });

}  // namespace
}  // namespace vx::host
