// Snow's drawing: every colour-pass loop against the plain compositing
// reference with the snow rule worked out per pixel, and the rule's edge
// cases on single pixels through the operation table.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "effects/noise/snow.h"
#include "framework/compositing.h"
#include "host/glissade/reference.h"
#include "tests/noise/noise_support.h"

namespace vx::noise_test {
namespace {

using glissade::ReferencePath;

struct Case {
  ImageKind source;
  ImageKind destination;
  ReferencePath path;
};
const Case kCases[] = {
    {ImageKind::kRgb32, ImageKind::kRgb32, ReferencePath::kThreshold},
    {ImageKind::kRgb24, ImageKind::kRgb24, ReferencePath::kRun},
    {ImageKind::kRgb555, ImageKind::kRgb555, ReferencePath::kThreshold},
    {ImageKind::kRgb555, ImageKind::kRgb555, ReferencePath::kRun},
    {ImageKind::kExpanded16, ImageKind::kRgb555, ReferencePath::kThreshold},
    {ImageKind::kIndexed8, ImageKind::kIndexed8, ReferencePath::kThreshold},
    {ImageKind::kExpanded8, ImageKind::kIndexed8, ReferencePath::kRun},
    {ImageKind::kRgb32, ImageKind::kExpanded8, ReferencePath::kHardMask},
    {ImageKind::kRgb555, ImageKind::kExpanded16, ReferencePath::kHardMask},
    {ImageKind::kIndexed8, ImageKind::kRgb32, ReferencePath::kHardMask},
};

// The snow rule on one pixel: channels in 5-bit units (`five`) or 8-bit.
Bgrx SnowRule(Bgrx c, bool five, std::int32_t sum, std::int32_t shift, std::int32_t bits) {
  std::int32_t s = sum >> shift;
  if (five) s >>= 3;
  const std::int32_t top = five ? 31 : 255;
  auto ch = [&](std::int32_t v, int bit) {
    return static_cast<std::uint8_t>((bits >> bit) & 1 ? std::max(v + (-s - 1), 0)
                                                       : std::min(v + s, top));
  };
  return Bgrx{ch(c.b, 2), ch(c.g, 1), ch(c.r, 0), 0};
}

class SnowRender : public NoiseEffect {
 protected:
  void SetUp() override {
    live_ = Open(kSnowClassId);
    ASSERT_TRUE(live_.effect);
    ASSERT_EQ(Set(live_, {}), kOk);
  }
  Snow& S() { return Instance<Snow>(live_); }

  Status Render(Image& dst, Image& src, Image& mask, AreaRect update,
                const std::vector<std::uint16_t>* runs, std::int32_t blend, std::int32_t hard,
                std::int32_t upper, std::int32_t lower) {
    ThresholdRecord thresholds = glissade::MakeThresholdRecord(upper, lower);
    return live_.effect->ops->Render(live_.effect.get(), dst.View(), src.View(), &update,
                                     mask.View(), runs ? runs->data() : nullptr,
                                     palette_->Record(), blend, 1, 1, hard, &thresholds);
  }

  // A one-pixel sprite of colour `c` (blue, green, red in the kind's units)
  // drawn over black with `specks` still layers all over one speck.
  Bgrx OnePixel(ImageKind kind, Bgrx c, std::int32_t layers, bool speck) {
    Set(live_, {{"intensity", Int(layers)}});
    StillLayers(S().noise);
    // A 1 x 1 sprite reads the map's centre cell.
    SetMap(S().noise, speck ? std::vector<std::pair<int, int>>{{100, 160}}
                            : std::vector<std::pair<int, int>>{});
    Image src(kind, 0, 0, 1, 1), dst(kind, 0, 0, 1, 1), mask(ImageKind::kIndexed8, 0, 0, 1, 1);
    mask.Fill(255);
    dst.Fill(0);
    std::uint8_t* p = src.Pixel(0, 0);
    if (kind == ImageKind::kRgb555) {
      const std::uint16_t w = static_cast<std::uint16_t>((c.r << 10) | (c.g << 5) | c.b);
      std::memcpy(p, &w, 2);
    } else {
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
    }
    EXPECT_EQ(Render(dst, src, mask, MakeRect(0, 0, 1, 1), nullptr, 255, 0, 255, 0), kOk);
    const std::uint8_t* d = dst.Pixel(0, 0);
    if (kind == ImageKind::kRgb555) {
      const std::uint16_t w = static_cast<std::uint16_t>(d[0] | (d[1] << 8));
      return Bgrx{static_cast<std::uint8_t>(w & 31), static_cast<std::uint8_t>((w >> 5) & 31),
                  static_cast<std::uint8_t>(w >> 10), 0};
    }
    return Bgrx{d[0], d[1], d[2], 0};
  }

  host::LiveEffect live_;
  std::unique_ptr<glissade::PaletteTable> palette_ =
      std::make_unique<glissade::PaletteTable>(glissade::PaletteTable::Random(rng_));
};

bool Same(Bgrx a, Bgrx b) { return a.b == b.b && a.g == b.g && a.r == b.r; }
#define EXPECT_BGR(c, B, G, R) EXPECT_TRUE(Same((c), Bgrx{B, G, R, 0})) \
    << int((c).b) << "," << int((c).g) << "," << int((c).r)

TEST_F(SnowRender, TheRuleOnSinglePixels) {
  const Bgrx grey{128, 128, 128, 0};
  // Defaults: strength 4, white; one speck under one layer pushes 63.
  EXPECT_BGR(OnePixel(ImageKind::kRgb24, grey, 1, true), 191, 191, 191);
  EXPECT_BGR(OnePixel(ImageKind::kRgb24, grey, 1, false), 128, 128, 128);
  // Four specks on one pixel: 1020 >> 2 = 255.
  EXPECT_BGR(OnePixel(ImageKind::kRgb24, Bgrx{0, 0, 0, 0}, 4, true), 255, 255, 255);
  // 5-bit loops push 63 >> 3 = 7.
  EXPECT_BGR(OnePixel(ImageKind::kRgb555, Bgrx{10, 20, 30, 0}, 1, true), 17, 27, 31);
  // Strength 6 turns a pixel white; strength 0 adds 3.
  Set(live_, {{"strength", Int(6)}});
  EXPECT_BGR(OnePixel(ImageKind::kRgb32, Bgrx{1, 2, 3, 0}, 1, true), 255, 255, 255);
  Set(live_, {{"strength", Int(0)}});
  EXPECT_BGR(OnePixel(ImageKind::kRgb32, Bgrx{1, 2, 3, 0}, 1, true), 4, 5, 6);
  // Black chroma darkens by s + 1: even without a speck, but not below 0.
  Set(live_, {{"strength", Int(4)}, {"chroma", Int(1)}});
  EXPECT_BGR(OnePixel(ImageKind::kRgb24, Bgrx{0, 50, 100, 0}, 1, false), 0, 49, 99);
  // Blue on grey: red and green drop by 64, blue rises by 63.
  Set(live_, {{"chroma", Int(5)}});
  EXPECT_BGR(OnePixel(ImageKind::kRgb24, grey, 1, true), 191, 64, 64);
  // The colour walk: white first, then bits 0 + 63 (black) for the next pixel.
  Set(live_, {{"chroma", Int(2)}});
  EXPECT_BGR(OnePixel(ImageKind::kRgb24, grey, 1, true), 191, 191, 191);
  EXPECT_EQ(S().colourBits, 63);
  EXPECT_BGR(OnePixel(ImageKind::kRgb24, grey, 1, true), 64, 64, 64);
  EXPECT_EQ(S().colourBits, 126);
}

TEST_F(SnowRender, EveryLoopMatchesTheReference) {
  int drawn = 0;
  for (int trial = 0; trial < 200; ++trial) {
    const Case c = kCases[trial % std::size(kCases)];
    const bool run = c.path == ReferencePath::kRun;
    const bool hard = c.path == ReferencePath::kHardMask;
    SCOPED_TRACE(::testing::Message() << "trial " << trial << " " << KindName(c.source) << " to "
                                      << KindName(c.destination));
    // The walk's colours follow drawn pixels; the reference asks for every
    // pixel, so it models the walk only where the mask alone decides.
    const std::int32_t chroma = static_cast<std::int32_t>(rng_() % 9);
    if (chroma == 2 && run) continue;
    Set(live_, {{"intensity", Int(1 + rng_() % 6)},
                {"strength", Int(rng_() % 7)},
                {"chroma", Int(chroma)}});
    for (int i = 0; i < kMapBytes; ++i)
      S().noise.plasmaMap->base[i] = rng_() % 6 == 0 ? 255 : 0;
    const std::int32_t dw = 1 + rng_() % 50, dh = 1 + rng_() % 12;
    Image dst(c.destination, 0, 0, dw, dh, 3 + rng_() % 2);
    dst.FillRandom(rng_);
    Image expected(c.destination, 0, 0, dw, dh, std::max(dst.BytesPerPixel(), 3));
    expected.Assign(dst.Memory());
    const std::int32_t mw = run ? 1 + rng_() % dw : 1 + rng_() % (dw + 6);
    const std::int32_t mh = run ? 1 + rng_() % dh : 1 + rng_() % (dh + 3);
    Image mask(ImageKind::kIndexed8, 0, 0, mw, mh);
    for (std::int32_t y = 0; y < mh; ++y)
      for (std::int32_t x = 0; x < mw; ++x) {
        const int pick = static_cast<int>(rng_() % 6);
        *mask.Pixel(x, y) = pick < 2 ? 255 : pick < 4 ? 0 : static_cast<std::uint8_t>(rng_());
      }
    Image src(c.source, 0, 0, mw, mh, 3 + rng_() % 2);
    src.FillRandom(rng_);
    std::vector<std::uint16_t> runs;
    if (run) runs = glissade::MakeMaskRuns(mask);
    const AreaRect update = run || rng_() % 2 ? dst.view().bounds
                                              : MakeRect(rng_() % 8, rng_() % 4, rng_() % (dw + 4),
                                                     rng_() % (dh + 3));
    const std::int32_t blend = rng_() % 3 == 0 ? static_cast<std::int32_t>(rng_() % 256) : 255;
    const std::int32_t lower = rng_() % 3 == 0 ? static_cast<std::int32_t>(rng_() % 256) : 0;

    AreaRect maskRect = mask.view().bounds;
    AreaRect clipped = update;
    const std::int32_t clip = ClipToSprite(mask.View(), dst.View(), &clipped, &maskRect);
    if (clip == 0 || (run && clip != 1)) continue;
    ++drawn;
    const std::int32_t left = clipped.left - maskRect.left, top = clipped.top - maskRect.top;
    ASSERT_EQ(Render(dst, src, mask, update, run ? &runs : nullptr, blend, hard, 255, lower),
              kOk);

    // The layers as this render placed them (the phases have moved).
    const NoiseLayers& n = S().noise;
    glissade::ReferenceJob ref;
    ref.destination = &expected;
    ref.update = clipped;
    ref.mask = &mask;
    ref.maskLeft = left;
    ref.maskTop = top;
    ref.path = c.path;
    ref.blend = blend;
    ref.lower = lower;
    ref.runs = run ? runs.data() : nullptr;
    ref.palette = palette_.get();
    // The chroma table: 0 white, 1 black, 2 the walk from white, then bits c - 2.
    std::int32_t walkBits = chroma == 1 ? 7 : chroma >= 3 ? chroma - 2 : 0;
    const std::int32_t walkMask = chroma == 2 ? 65535 : 0;
    ref.colour = [&](std::int32_t x, std::int32_t y) {
      const std::uint8_t* p = src.Pixel(left + x, top + y);
      bool five = false;
      Bgrx in{p[0], p[1], p[2], 0};
      if (c.source == ImageKind::kIndexed8) {
        const glissade::Colour pc = palette_->ColourOf(p[0]);
        in = Bgrx{pc.b, pc.g, pc.r, 0};
      } else if (c.source == ImageKind::kRgb555) {
        const int w = p[0] | (p[1] << 8);
        in = Bgrx{static_cast<std::uint8_t>(w & 31), static_cast<std::uint8_t>((w >> 5) & 31),
                  static_cast<std::uint8_t>((w >> 10) & 31), 0};
        five = true;
      } else if (c.source == ImageKind::kExpanded16 && !hard) {
        in = Bgrx{static_cast<std::uint8_t>(p[0] & 31), static_cast<std::uint8_t>(p[1] & 31),
                  static_cast<std::uint8_t>(p[2] & 31), 0};
        five = true;
      }
      const std::int32_t sum = SumAt(n, src.view().clip, left, top, x, y);
      const Bgrx out = SnowRule(in, five, sum, S().snowShift, walkBits);
      if (*mask.Pixel(left + x, top + y) > lower) {
        std::int32_t s = sum >> S().snowShift;
        if (five) s >>= 3;
        walkBits += walkMask & s;
      }
      return glissade::ReferenceColour{
          out.b, out.g, out.r, palette_->InverseOf(out.r, out.g, out.b),
          static_cast<std::uint16_t>((out.r << 10) | (out.g << 5) | out.b)};
    };
    glissade::ReferenceComposite(ref);
    ASSERT_EQ(dst.Memory(), expected.Memory()) << "chroma " << chroma << " blend " << blend;
    ASSERT_TRUE(dst.GuardsIntact());
  }
  EXPECT_GT(drawn, 100);
}

TEST_F(SnowRender, PhasesMoveOnlyWhenSomethingIsVisible) {
  Image src(ImageKind::kRgb32, 0, 0, 10, 10), mask(ImageKind::kIndexed8, 0, 0, 10, 10);
  Image dst(ImageKind::kRgb32, 0, 0, 40, 40);
  mask.Fill(255);
  const std::vector<float> phases(S().noise.layerPhases, S().noise.layerPhases + 8);
  ASSERT_EQ(Render(dst, src, mask, MakeRect(0, 0, 5, 5), nullptr, 255, 0, 255, 0), kOk);
  EXPECT_EQ(std::vector<float>(S().noise.layerPhases, S().noise.layerPhases + 8), phases);
  // A source without memory draws nothing, but the frame has moved on.
  src.DropMemory();
  const std::vector<std::uint8_t> before = dst.Memory();
  ASSERT_EQ(Render(dst, src, mask, MakeRect(0, 0, 40, 40), nullptr, 255, 0, 255, 0), kOk);
  EXPECT_EQ(dst.Memory(), before);
  EXPECT_NE(std::vector<float>(S().noise.layerPhases, S().noise.layerPhases + 8), phases);
  EXPECT_EQ(S().anim.frame, 1);
}

}  // namespace
}  // namespace vx::noise_test
