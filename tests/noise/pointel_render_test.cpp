// Pointel's drawing: every loop against a plain per-pixel model of the dot
// rules on random sprites, maps and settings; the dot shapes on a single
// speck; the alpha form's clearing; the hit test.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "effects/noise/pointel.h"
#include "tests/noise/noise_support.h"

namespace vx::noise_test {
namespace {

struct DotShape {
  std::vector<std::pair<int, int>> offsets;
  int left, top, right, bottom;  // how far the update is pulled in
};
DotShape ShapeFor(std::int32_t radius) {
  if (radius <= 1) return {{{0, 0}}, 0, 0, 0, 0};
  if (radius == 2) return {{{0, 0}, {1, 0}, {0, 1}, {1, 1}}, 0, 0, 1, 1};
  DotShape round{{}, 1, 1, 2, 2};
  for (int dy = -1; dy <= 2; ++dy)
    for (int dx = -1; dx <= 2; ++dx)
      if ((dx == -1 || dx == 2) != (dy == -1 || dy == 2) || (dx >= 0 && dx <= 1 && dy >= 0 && dy <= 1))
        round.offsets.push_back({dx, dy});
  return round;
}

struct Pair {
  ImageKind source, destination;
};
const Pair kPairs[] = {{ImageKind::kRgb24, ImageKind::kRgb24},
                       {ImageKind::kRgb32, ImageKind::kRgb32},
                       {ImageKind::kRgb555, ImageKind::kRgb555},
                       {ImageKind::kExpanded16, ImageKind::kRgb555},
                       {ImageKind::kIndexed8, ImageKind::kIndexed8},
                       {ImageKind::kExpanded8, ImageKind::kIndexed8}};

class PointelRender : public NoiseEffect {
 protected:
  void SetUp() override {
    live_ = Open(kPointelClassId);
    ASSERT_TRUE(live_.effect);
    ASSERT_EQ(Set(live_, {}), kOk);
  }
  Pointel& P() { return Instance<Pointel>(live_); }

  // The bytes a dot writes for the source pixel `s`, by the dot rules.
  std::vector<std::uint8_t> DotBytes(const Image& src, const std::uint8_t* s, bool alphaForm) {
    const glissade::PaletteTable& pal = *palette_;
    // The alpha form reads every expanded source as three colour bytes.
    if (alphaForm && src.BytesPerPixel() >= 3) return {s[0], s[1], s[2]};
    switch (src.Kind()) {
      case ImageKind::kRgb24:
      case ImageKind::kRgb32:
        return {s[0], s[1], s[2]};
      case ImageKind::kExpanded16: {
        const std::uint16_t w = ((s[2] & 31) << 10) | ((s[1] & 31) << 5) | (s[0] & 31);
        return {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8)};
      }
      case ImageKind::kRgb555: {
        const std::uint16_t w = (s[0] | (s[1] << 8)) & 0x7FFF;
        if (alphaForm)
          return {static_cast<std::uint8_t>(w & 31), static_cast<std::uint8_t>((w >> 5) & 31),
                  static_cast<std::uint8_t>(w >> 10)};
        return {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8)};
      }
      case ImageKind::kExpanded8:
        return {pal.InverseOf(s[2], s[1], s[0])};
      case ImageKind::kIndexed8: {
        const glissade::Colour c = pal.ColourOf(s[0]);
        if (alphaForm) return {c.b, c.g, c.r};
        return {pal.InverseOf(c.r, c.g, c.b)};
      }
    }
    return {};
  }

  // Draws the expected picture into `dst` (and `alpha`): the update clipped
  // to the destination and to the mask centred on it, pulled in, walked row
  // by row; a pixel above the lower threshold with a speck under any layer
  // paints its dot.
  void Expected(Image& dst, Image* alpha, const Image& src, const Image& mask, AreaRect update,
                std::int32_t lower) {
    const Pointel& p = P();
    const AreaRect& d = dst.view().bounds;
    const std::int32_t mw = mask.Width(), mh = mask.Height();
    const std::int32_t ml = d.left + d.width / 2 - mw / 2, mt = d.top + d.height / 2 - mh / 2;
    const std::int32_t l = std::max({update.left, d.left, ml});
    const std::int32_t t = std::max({update.top, d.top, mt});
    const std::int32_t r = std::min({update.right, d.right, ml + mw});
    const std::int32_t b = std::min({update.bottom, d.bottom, mt + mh});
    if (alpha) alpha->Fill(0);
    const DotShape shape = ShapeFor(p.dotRadius);
    const std::int32_t wl = l + shape.left, wt = t + shape.top;
    const std::int32_t wr = r - shape.right, wb = b - shape.bottom;
    if (wr <= wl || wb <= wt) return;
    // Source and mask share bounds at the origin here.
    const AreaRect clip = src.view().clip;
    for (std::int32_t y = wt; y < wb; ++y)
      for (std::int32_t x = wl; x < wr; ++x) {
        if (*mask.Pixel(x - ml, y - mt) <= lower) continue;
        if (SumAt(p.noise, clip, wl - ml, wt - mt, x - wl, y - wt) == 0) continue;
        const std::vector<std::uint8_t> bytes =
            DotBytes(src, src.Pixel(x - ml, y - mt), alpha != nullptr);
        for (auto [dx, dy] : shape.offsets) {
          std::copy(bytes.begin(), bytes.end(), dst.Pixel(x + dx, y + dy));
          if (alpha) *alpha->Pixel(x + dx - d.left, y + dy - d.top) = 255;
        }
      }
  }

  Status Render(Image& dst, Image& src, Image& mask, AreaRect update, std::int32_t lower) {
    ThresholdRecord thresholds = glissade::MakeThresholdRecord(255, lower);
    return live_.effect->ops->Render(live_.effect.get(), dst.View(), src.View(), &update,
                                     mask.View(), nullptr, palette_->Record(), 128, 1, 1, 0,
                                     &thresholds);
  }
  Status RenderWithAlpha(Image& dst, Image& alpha, Image& src, Image& mask, AreaRect update,
                         std::int32_t lower) {
    ThresholdRecord thresholds = glissade::MakeThresholdRecord(255, lower);
    return live_.effect->ops->RenderWithAlpha(live_.effect.get(), dst.View(), alpha.View(),
                                              src.View(), mask.View(), &update, nullptr,
                                              palette_->Record(), 255, 1, 0, &thresholds);
  }

  void RandomMap(int oneIn) {
    for (int i = 0; i < kMapBytes; ++i)
      P().noise.plasmaMap->base[i] = rng_() % oneIn == 0 ? 255 : 0;
  }

  host::LiveEffect live_;
  std::unique_ptr<glissade::PaletteTable> palette_ =
      std::make_unique<glissade::PaletteTable>(glissade::PaletteTable::Random(rng_));
};

TEST_F(PointelRender, EveryLoopMatchesThePlainModel) {
  for (int trial = 0; trial < 120; ++trial) {
    const Pair pair = kPairs[trial % std::size(kPairs)];
    const bool alphaForm = trial % 4 == 3;
    const ImageKind dstKind = alphaForm ? ImageKind::kRgb32 : pair.destination;
    SCOPED_TRACE(::testing::Message() << "trial " << trial << " " << KindName(pair.source)
                                      << (alphaForm ? " alpha form" : ""));
    Set(live_, {{"intensity", Int(1 + rng_() % 5)}, {"radius", Int(rng_() % 5)}});
    RandomMap(2 + rng_() % 12);
    const std::int32_t mw = 1 + rng_() % 40, mh = 1 + rng_() % 30;
    Image src(pair.source, 0, 0, mw, mh, 3 + rng_() % 2);
    Image mask(ImageKind::kIndexed8, 0, 0, mw, mh);
    src.FillRandom(rng_);
    mask.FillRandom(rng_);
    const std::int32_t dl = static_cast<std::int32_t>(rng_() % 20) - 10;
    const std::int32_t dt = static_cast<std::int32_t>(rng_() % 20) - 10;
    Image dst(dstKind, dl, dt, dl + 1 + rng_() % 60, dt + 1 + rng_() % 50, 3 + rng_() % 2);
    Image alpha(ImageKind::kIndexed8, 0, 0, dst.Width(), dst.Height());
    dst.FillRandom(rng_);
    alpha.FillRandom(rng_);
    Image expected(dstKind, dl, dt, dl + dst.Width(), dt + dst.Height(),
                   std::max(dst.BytesPerPixel(), 3));
    Image expectedAlpha(ImageKind::kIndexed8, 0, 0, dst.Width(), dst.Height());
    expected.Assign(dst.Memory());
    expectedAlpha.Assign(alpha.Memory());
    const std::int32_t ul = dl + static_cast<std::int32_t>(rng_() % 30) - 5;
    const std::int32_t ut = dt + static_cast<std::int32_t>(rng_() % 30) - 5;
    const AreaRect update = MakeRect(ul, ut, ul + rng_() % 70, ut + rng_() % 60);
    const std::int32_t lower = static_cast<std::int32_t>(rng_() % 300) - 20;
    const Status status = alphaForm ? RenderWithAlpha(dst, alpha, src, mask, update, lower)
                                    : Render(dst, src, mask, update, lower);
    ASSERT_EQ(status, kOk);
    // Compared with the phases the render moved to.
    Expected(expected, alphaForm ? &expectedAlpha : nullptr, src, mask, update, lower);
    ASSERT_EQ(dst.Memory(), expected.Memory());
    if (alphaForm) {
      ASSERT_EQ(alpha.Memory(), expectedAlpha.Memory());
    }
    ASSERT_TRUE(dst.GuardsIntact());
    ASSERT_TRUE(alpha.GuardsIntact());
  }
}

// One speck, one still layer: the dot lands at the pixel whose offset from
// the map's centre is the speck's, in the shape of its radius.
TEST_F(PointelRender, DotShapesOnASingleSpeck) {
  Set(live_, {{"intensity", Int(1)}, {"speed", Int(0)}});
  StillLayers(P().noise);
  // A 320 x 200 sprite maps cell (r, c) to its pixel (c, r).
  SetMap(P().noise, {{100, 160}});
  Image src(ImageKind::kRgb32, 0, 0, 320, 200);
  Image mask(ImageKind::kIndexed8, 0, 0, 320, 200);
  src.Fill(0x40);
  mask.Fill(255);
  struct Case {
    std::int32_t radius;
    int painted;
  };
  for (Case c : {Case{0, 1}, {1, 1}, {2, 4}, {3, 12}, {9, 12}}) {
    Set(live_, {{"radius", Int(c.radius)}});
    Image dst(ImageKind::kRgb32, 0, 0, 320, 200);
    dst.Fill(0);
    ASSERT_EQ(Render(dst, src, mask, MakeRect(0, 0, 320, 200), 0), kOk);
    const DotShape shape = ShapeFor(c.radius);
    int painted = 0;
    for (std::int32_t y = 0; y < 200; ++y)
      for (std::int32_t x = 0; x < 320; ++x) {
        const bool inDot = std::find(shape.offsets.begin(), shape.offsets.end(),
                                     std::pair<int, int>{x - 160, y - 100}) !=
                           shape.offsets.end();
        const bool set = dst.Pixel(x, y)[0] == 0x40;
        EXPECT_EQ(set, inDot) << "radius " << c.radius << " at " << x << "," << y;
        painted += set;
      }
    EXPECT_EQ(painted, c.painted);
  }
  // Below the lower threshold the pixel is no dot centre.
  Image dst(ImageKind::kRgb32, 0, 0, 320, 200);
  dst.Fill(0);
  *mask.Pixel(160, 100) = 7;
  ASSERT_EQ(Render(dst, src, mask, MakeRect(0, 0, 320, 200), 7), kOk);
  const std::vector<std::uint8_t> after = dst.Memory();
  EXPECT_EQ(std::count(after.begin(), after.end(), 0x40), 0);
}

TEST_F(PointelRender, AlphaFormClearsTheAlphaAlsoWhenTheUpdateMissesTheSprite) {
  Image src(ImageKind::kRgb32, 0, 0, 10, 10);
  Image mask(ImageKind::kIndexed8, 0, 0, 10, 10);
  Image dst(ImageKind::kRgb32, 0, 0, 40, 40);
  Image alpha(ImageKind::kIndexed8, 0, 0, 40, 40);
  alpha.Fill(200);
  dst.Fill(9);
  const std::vector<std::uint8_t> before = dst.Memory();
  ASSERT_EQ(RenderWithAlpha(dst, alpha, src, mask, MakeRect(0, 0, 5, 5), 0), kOk);
  EXPECT_EQ(alpha.Memory(), std::vector<std::uint8_t>(alpha.MemoryBytes(), 0));
  EXPECT_EQ(dst.Memory(), before);
  alpha.DropMemory();
  EXPECT_EQ(RenderWithAlpha(dst, alpha, src, mask, MakeRect(0, 0, 40, 40), 0),
            static_cast<Status>(-306));
}

TEST_F(PointelRender, NothingIsDrawnOrMovedWhenTheUpdateMissesTheSprite) {
  Image src(ImageKind::kRgb32, 0, 0, 10, 10);
  Image mask(ImageKind::kIndexed8, 0, 0, 10, 10);
  Image dst(ImageKind::kRgb32, 0, 0, 40, 40);
  src.Fill(1);
  mask.Fill(255);
  RandomMap(2);
  const std::vector<float> phases(P().noise.layerPhases, P().noise.layerPhases + 8);
  const std::vector<std::uint8_t> before = dst.Memory();
  ASSERT_EQ(Render(dst, src, mask, MakeRect(0, 0, 5, 5), 0), kOk);
  EXPECT_EQ(dst.Memory(), before);
  EXPECT_EQ(std::vector<float>(P().noise.layerPhases, P().noise.layerPhases + 8), phases);
  EXPECT_EQ(P().anim.frame, 0);
  ASSERT_EQ(Render(dst, src, mask, MakeRect(0, 0, 40, 40), 0), kOk);
  EXPECT_NE(std::vector<float>(P().noise.layerPhases, P().noise.layerPhases + 8), phases);
  EXPECT_EQ(P().anim.frame, 1);
}

TEST_F(PointelRender, HitTestReadsTheSpritesOwnAlpha) {
  Image alpha(ImageKind::kIndexed8, 0, 0, 6, 4);
  for (std::int32_t y = 0; y < 4; ++y)
    for (std::int32_t x = 0; x < 6; ++x) *alpha.Pixel(x, y) = static_cast<std::uint8_t>(10 * y + x);
  AreaRect sprite = MakeRect(100, 50, 110, 60);  // the alpha is centred in it: at (102, 53)
  SpriteDescription description{};
  description.words[kSpriteRectWord] = reinterpret_cast<Word>(&sprite);
  auto hit = [&](std::int32_t x, std::int32_t y) {
    std::int32_t out = -1;
    EXPECT_EQ(live_.effect->ops->GetAlphaAt(live_.effect.get(), alpha.View(), y, x, &out,
                                            &description),
              kOk);
    return out;
  };
  EXPECT_EQ(hit(102, 53), 0);
  EXPECT_EQ(hit(105, 55), 23);
  EXPECT_EQ(hit(107, 56), 35);
  EXPECT_EQ(hit(108, 56), 0);   // right of the alpha
  EXPECT_EQ(hit(101, 54), 0);   // left of it
  EXPECT_EQ(hit(-2147483647 - 1, 54), 0);
  alpha.DropMemory();
  EXPECT_EQ(hit(105, 55), 0);
}

}  // namespace
}  // namespace vx::noise_test
