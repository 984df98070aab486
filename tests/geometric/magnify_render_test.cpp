// Magnify drawing through the operation table against a plain per-pixel
// reference from the rules (source at the anchor plus the scaled offset
// from the centre, taps outside the source taking its nearest pixel, the
// mask byte at the destination pixel), on random scenes; and the rules'
// own cases.
#include <cstdint>
#include <random>
#include <vector>

#include "effects/geometric/magnify_geometry.h"
#include "tests/geometric/render_scene.h"

namespace vx::geometric_test {
namespace {

using host::EffectHost;

class MagnifyRender : public EffectHost {
 protected:
  MagnifyRender() : EffectHost(kMagnifyClassId, "magnify") {}

  // A static magnification; `level` 3 is level 0 with InterpolateNow.
  // Whether the next frame is bilinear.
  bool Configure(std::int32_t percentage, std::int32_t ox, std::int32_t oy, std::int32_t level) {
    EXPECT_EQ(Set({{"animMode", values().SymbolValue("static")},
                   {"percentage", values().Integer(percentage)},
                   {"magPoint", values().Point(oy, ox)},
                   {"interpolation", values().Integer(level == 3 ? 0 : level)}}),
              kOk);
    if (level == 3) {
      EXPECT_EQ(Call("InterpolateNow"), kOk);
    }
    return level != 0;
  }

  Status Render(Scene& s, AreaRect* update, std::int32_t hardMask = 0) {
    ThresholdRecord t = s.Thresholds();
    return fx->ops->Render(fx.get(), s.destination.View(), s.source.View(), update,
                           s.mask.View(), nullptr, s.palette.Record(), s.blend, 1, 0, hardMask,
                           &t);
  }
};

// What the rules draw into `expected` for a static magnification.
void MagnifyReference(Scene& s, Image& expected, std::int32_t percentage, std::int32_t ox,
                      std::int32_t oy, bool bilinear, bool hardMask) {
  const std::int32_t step = 25600 / percentage;
  const AreaRect& d = s.destination.view().bounds;
  const AreaRect placed = s.Placed();
  const StagePoint point{d.left + (d.width >> 1) + ox, d.top + (d.height >> 1) + oy};
  AreaRect clipped = s.update;
  FixScaleClip(&clipped, placed, placed, point, step);
  const AreaRect u = Overlap(Overlap(clipped, placed), d);
  const bool drawn = hardMask ? Expanded(s.source) && Expanded(s.destination)
                              : RenderPairDrawn(s.source, s.destination);
  if (u.area == 0 || !drawn) return;
  const std::int32_t cx = placed.left + (placed.width >> 1);
  const std::int32_t cy = placed.top + (placed.height >> 1);
  const std::int64_t ax = s.source.Width() / 2 + ox, ay = s.source.Height() / 2 + oy;
  const std::int32_t w = s.source.Width(), h = s.source.Height();
  const auto tap = [&](std::int64_t x, std::int64_t y) {
    return ReadTap(s.source, static_cast<std::int32_t>(std::clamp<std::int64_t>(x, 0, w - 1)),
                   static_cast<std::int32_t>(std::clamp<std::int64_t>(y, 0, h - 1)), &s.palette);
  };
  glissade::ReferenceJob job;
  job.destination = &expected;
  job.update = u;
  job.mask = &s.mask;
  job.maskLeft = u.left - placed.left;
  job.maskTop = u.top - placed.top;
  job.path = hardMask ? glissade::ReferencePath::kHardMask : glissade::ReferencePath::kThreshold;
  job.blend = s.blend;
  job.upper = s.upper;
  job.lower = s.lower;
  job.palette = &s.palette;
  job.colour = [&](std::int32_t x, std::int32_t y) {
    const std::int64_t X = ax * 256 + (std::int64_t{u.left} + x - cx) * step;
    const std::int64_t Y = ay * 256 + (std::int64_t{u.top} + y - cy) * step;
    const std::int64_t ix = X >> 8, iy = Y >> 8;
    Components c = tap(ix, iy);
    if (bilinear) {
      const Components taps[4] = {c, tap(ix + 1, iy), tap(ix, iy + 1), tap(ix + 1, iy + 1)};
      c = Bilinear(taps, static_cast<std::int32_t>(X & 255), static_cast<std::int32_t>(Y & 255));
    }
    return ForDestination(c, s.destination.Kind(), &s.palette);
  };
  glissade::ReferenceComposite(job);
}

TEST_F(MagnifyRender, MatchesThePlainReferenceOnRandomScenes) {
  std::mt19937 rng(515);
  for (int round = 0; round < 700; ++round) {
    const KindPair& pair = kRenderPairs[round % std::size(kRenderPairs)];
    // The first round is the case the written clipping lets past the right
    // edge: 14 x 11 at 200 % about (3, -2), bilinear.
    const bool edgeCase = round == 0;
    const std::int32_t w = edgeCase ? 14 : 1 + static_cast<std::int32_t>(rng() % 23);
    const std::int32_t h = edgeCase ? 11 : 1 + static_cast<std::int32_t>(rng() % 19);
    Scene s(rng, SharedPalette(), pair, w, h, 1 + static_cast<std::int32_t>(rng() % 30),
            1 + static_cast<std::int32_t>(rng() % 30));
    const std::int32_t pct = edgeCase ? 200 : s.Int(0, 3) == 0 ? 100 : s.Int(20, 450);
    const std::int32_t ox = edgeCase ? 3 : s.Int(-12, 12), oy = edgeCase ? -2 : s.Int(-12, 12);
    const bool bilinear = Configure(pct, ox, oy, edgeCase ? 1 : s.Int(0, 3));
    const std::int32_t hardMask = Expanded(s.destination) && s.Int(0, 3) == 0 ? 1 : 0;
    Image expected(pair.destination, 0, 0, s.destination.Width(), s.destination.Height(),
                   pair.destinationBytes);
    expected.Assign(s.destination.Memory());
    AreaRect update = s.update;
    ASSERT_EQ(Render(s, &update, hardMask), kOk);
    MagnifyReference(s, expected, pct, ox, oy, bilinear, hardMask != 0);
    ASSERT_EQ(s.destination.Memory(), expected.Memory())
        << "round " << round << " " << glissade::KindName(pair.source) << " -> "
        << glissade::KindName(pair.destination) << " " << pct << "% at " << ox << "," << oy
        << (bilinear ? " bilinear" : " nearest") << (hardMask ? " hard" : "");
    ASSERT_TRUE(s.destination.GuardsIntact());
  }
}

// At 100 % with no offset the sprite is drawn exactly, in place.
TEST_F(MagnifyRender, HundredPercentDrawsTheSpriteExactly) {
  std::mt19937 rng(8);
  for (const KindPair& pair : kRenderPairs) {
    for (std::int32_t level : {0, 1}) {
      Scene s(rng, SharedPalette(), pair, 9, 6, 13, 10);
      s.mask.Fill(255);
      s.blend = 255;
      s.lower = 0;
      s.upper = 255;
      Configure(100, 0, 0, level);
      Image expected(pair.destination, 0, 0, 13, 10, pair.destinationBytes);
      expected.Assign(s.destination.Memory());
      DrawSpriteInPlace(s, expected);
      AreaRect update = s.destination.view().bounds;
      ASSERT_EQ(Render(s, &update), kOk);
      EXPECT_EQ(s.destination.Memory(), expected.Memory())
          << glissade::KindName(pair.source) << " -> " << glissade::KindName(pair.destination)
          << " level " << level;
    }
  }
}

// A point set by script moves the picture by minus the offset inside the
// unchanged outline; columns whose source would lie past the edge are left.
TEST_F(MagnifyRender, SetMagPointShiftsThePicture) {
  std::mt19937 rng(4);
  Scene s(rng, SharedPalette(), kRenderPairs[2], 12, 8, 12, 8);
  s.mask.Fill(255);
  s.blend = 255;
  s.lower = 0;
  s.upper = 255;
  Configure(100, 0, 0, 0);
  ASSERT_EQ(Call("SetMagPoint", {values().Integer(5), values().Integer(-2)}), kOk);
  const auto before = s.destination.Memory();
  Image original(ImageKind::kRgb32, 0, 0, 12, 8);
  original.Assign(before);
  AreaRect update = s.destination.view().bounds;
  ASSERT_EQ(Render(s, &update), kOk);
  for (std::int32_t y = 0; y < 8; ++y)
    for (std::int32_t x = 0; x < 12; ++x) {
      const bool hasSource = x + 5 < 12 && y - 2 >= 0;
      const std::uint8_t* want = hasSource ? s.source.Pixel(x + 5, y - 2) : original.Pixel(x, y);
      const std::uint8_t* got = s.destination.Pixel(x, y);
      ASSERT_EQ(std::vector<int>(got, got + 3), std::vector<int>(want, want + 3)) << x << "," << y;
    }
}

// Level 2 samples nearest while the animation runs and bilinear once it has
// finished; a range from 100 % to 200 % moves the step from 256 to 128.
TEST_F(MagnifyRender, LevelTwoInterpolatesOnlyStandingStill) {
  std::mt19937 rng(12);
  Scene s(rng, SharedPalette(), kRenderPairs[2], 10, 10, 10, 10);
  s.blend = 255;
  s.lower = 0;
  s.upper = 255;
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("range")},
                 {"numFrames", values().Integer(2)},
                 {"startPercentage", values().Integer(100)},
                 {"percentage", values().Integer(200)},
                 {"magPointX", values().Integer(1)},
                 {"interpolation", values().Integer(2)}}),
            kOk);
  // Frame 1: step 192 (75 %), nearest.  Frame 2: step 128, the range is over,
  // bilinear.
  for (const auto& [pct, bilinear] : {std::pair{25600 / 192, false}, std::pair{200, true}}) {
    Image expected(ImageKind::kRgb32, 0, 0, 10, 10);
    expected.Assign(s.destination.Memory());
    AreaRect update = s.destination.view().bounds;
    ASSERT_EQ(Render(s, &update), kOk);
    MagnifyReference(s, expected, pct, 1, 0, bilinear, false);
    EXPECT_EQ(s.destination.Memory(), expected.Memory()) << pct;
  }
}

}  // namespace
}  // namespace vx::geometric_test
