// Swirl drawing through the operation table against a plain per-pixel
// reference written from the rules (angle carried as float sums per
// quadrant, single mask byte at the sample, colour taps outside the sprite
// clamped into it), on random sprites, stages, updates, formats, blend
// levels, thresholds and interpolation levels; and the rules' own cases.
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/geometric/render_scene.h"

namespace vx::geometric_test {
namespace {

using host::EffectHost;

// The swirl's tables from their rule: truncated, no quarter-turn fixes.
struct SwirlTables {
  SwirlTables() {
    for (int i = 0; i < 256; ++i) {
      const float a = static_cast<float>(i * 6.283185308 / 256);
      sine[i] = static_cast<std::int32_t>(std::sin(static_cast<double>(a)) * 256.0);
      cosine[i] = static_cast<std::int32_t>(std::cos(static_cast<double>(a)) * 256.0);
    }
  }
  std::int32_t sine[256], cosine[256];
};

struct SwirlSample {
  std::int32_t m = 0;
  Components c;
};

// Every pixel of `u` (the clipped update) sampled by the rule.
std::vector<SwirlSample> SwirlSamples(const Scene& s, const AreaRect& u, std::int32_t swirlAngle,
                                      bool bilinear) {
  static const SwirlTables t;
  std::vector<SwirlSample> out(static_cast<std::size_t>(u.width * u.height));
  const AreaRect& d = s.destination.view().bounds;
  const std::int32_t W = s.mask.Width(), H = s.mask.Height();
  const std::int32_t cx = d.left + (d.width >> 1), cy = d.top + (d.height >> 1);
  const std::int32_t hw = (W + 1) / 2, hh = (H + 1) / 2;
  const std::int32_t bl = -(W >> 1), bt = -(H >> 1), br = bl + W, bb = bt + H;
  const auto inside = [&](std::int32_t x, std::int32_t y) {
    return x >= bl && x < br && y >= bt && y < bb;
  };
  const auto clampX = [&](std::int32_t x) { return std::clamp(x, bl, br - 1); };
  const auto clampY = [&](std::int32_t y) { return std::clamp(y, bt, bb - 1); };
  const auto tap = [&](std::int32_t x, std::int32_t y) {
    return ReadTap(s.source, x - bl, y - bt, &s.palette);
  };
  const float k = static_cast<float>(swirlAngle) / static_cast<float>(hh);
  const AreaRect quadrants[4] = {MakeRect(d.left, d.top, cx, cy),
                                 MakeRect(cx, d.top, d.right, cy),
                                 MakeRect(d.left, cy, cx, d.bottom),
                                 MakeRect(cx, cy, d.right, d.bottom)};
  const int signs[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
  for (int qi = 0; qi < 4; ++qi) {
    const AreaRect q = Overlap(quadrants[qi], u);
    if (q.area == 0) continue;
    float rowAngle = static_cast<float>(hh - std::abs(q.top - cy)) * k;
    const float rowStep = static_cast<float>(signs[qi][1]) * k;
    for (std::int32_t y = q.top; y < q.bottom; ++y) {
      const float sc = rowAngle / static_cast<float>(hw);
      float theta = sc * static_cast<float>(hw - std::abs(q.left - cx));
      const float thetaStep = sc * static_cast<float>(signs[qi][0]);
      for (std::int32_t x = q.left; x < q.right; ++x) {
        const std::int32_t a = static_cast<std::int32_t>(static_cast<std::int64_t>(theta) & 255);
        const std::int32_t dx = x - cx, dy = y - cy;
        const std::int32_t X = dx * t.cosine[a] - dy * t.sine[a];
        const std::int32_t Y = dx * t.sine[a] + dy * t.cosine[a];
        const std::int32_t ix = X >> 8, iy = Y >> 8;
        SwirlSample& o = out[static_cast<std::size_t>((y - u.top) * u.width + (x - u.left))];
        if (inside(ix, iy)) {
          o.m = *s.mask.Pixel(ix - bl, iy - bt);
          if (o.m <= s.lower) o.m = 0;
          if (!bilinear) {
            o.c = tap(ix, iy);
          } else {
            const Components taps[4] = {tap(clampX(ix), clampY(iy)), tap(clampX(ix + 1), clampY(iy)),
                                        tap(clampX(ix), clampY(iy + 1)),
                                        tap(clampX(ix + 1), clampY(iy + 1))};
            o.c = Bilinear(taps, X - (ix << 8), Y - (iy << 8));
          }
        }
        theta += thetaStep;
      }
      rowAngle += rowStep;
    }
  }
  return out;
}

class SwirlRender : public EffectHost {
 protected:
  SwirlRender() : EffectHost(kSwirlClassId, "swirl") {}

  // A static swirl of `degrees`; `level` 3 is level 0 with InterpolateNow.
  // Whether the next frame is bilinear.
  bool Configure(std::int32_t degrees, std::int32_t level) {
    EXPECT_EQ(Set({{"animMode", values().SymbolValue("static")},
                   {"degrees", values().Integer(degrees)},
                   {"interpolation", values().Integer(level == 3 ? 0 : level)}}),
              kOk);
    if (level == 3) {
      EXPECT_EQ(Call("InterpolateNow"), kOk);
    }
    return level != 0;  // standing still, level 2 interpolates too
  }

  Status Render(Scene& s, AreaRect* update) {
    ThresholdRecord t = s.Thresholds();
    return fx->ops->Render(fx.get(), s.destination.View(), s.source.View(), update,
                           s.mask.View(), nullptr, s.palette.Record(), s.blend, 1, 0, 0, &t);
  }
};

TEST_F(SwirlRender, MatchesThePlainReferenceOnRandomScenes) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 600; ++round) {
    const KindPair& pair = kRenderPairs[round % std::size(kRenderPairs)];
    // Every eighth stage is wide enough that a quadrant row runs past the
    // loops' batches of positions (64 pixels) and their remainders.
    const std::int32_t wide = round % 8 == 7 ? 120 + static_cast<std::int32_t>(rng() % 200) : 0;
    Scene s(rng, SharedPalette(), pair, 1 + static_cast<std::int32_t>(rng() % 23) + wide,
            1 + static_cast<std::int32_t>(rng() % 19),
            1 + static_cast<std::int32_t>(rng() % 30) + wide, 1 + static_cast<std::int32_t>(rng() % 30));
    const std::int32_t degrees = s.Int(0, 3) == 0 ? 0 : s.Int(-800, 800);
    const bool bilinear = Configure(degrees, s.Int(0, 3));
    Image expected(pair.destination, 0, 0, s.destination.Width(), s.destination.Height(),
                   pair.destinationBytes);
    expected.Assign(s.destination.Memory());
    AreaRect update = s.update;
    ASSERT_EQ(Render(s, &update), kOk);

    const AreaRect u = Overlap(Overlap(s.update, s.destination.view().bounds), s.Placed());
    if (u.area != 0 && RenderPairDrawn(s.source, s.destination)) {
      const auto samples = SwirlSamples(s, u, -((degrees * 256) / 360), bilinear);
      glissade::ReferenceJob job;
      job.destination = &expected;
      job.update = u;
      job.blend = s.blend;
      job.upper = s.upper;
      job.lower = s.lower;
      job.palette = &s.palette;
      const auto at = [&](std::int32_t x, std::int32_t y) -> const SwirlSample& {
        return samples[static_cast<std::size_t>(y * u.width + x)];
      };
      job.maskAt = [&](std::int32_t x, std::int32_t y) { return at(x, y).m; };
      job.colour = [&](std::int32_t x, std::int32_t y) {
        return ForDestination(at(x, y).c, pair.destination, &s.palette);
      };
      glissade::ReferenceComposite(job);
    }
    ASSERT_EQ(s.destination.Memory(), expected.Memory())
        << "round " << round << " " << glissade::KindName(pair.source) << " -> "
        << glissade::KindName(pair.destination) << " degrees " << degrees
        << (bilinear ? " bilinear" : " nearest");
    ASSERT_TRUE(s.destination.GuardsIntact());
  }
}

TEST_F(SwirlRender, ColourAndAlphaMatchThePlainReference) {
  std::mt19937 rng(77);
  for (int round = 0; round < 300; ++round) {
    const KindPair& pair = kAlphaPairs[round % std::size(kAlphaPairs)];
    Scene s(rng, SharedPalette(), pair, 1 + static_cast<std::int32_t>(rng() % 21), 1 + static_cast<std::int32_t>(rng() % 17),
            1 + static_cast<std::int32_t>(rng() % 26), 1 + static_cast<std::int32_t>(rng() % 26));
    Image alpha(ImageKind::kIndexed8, 0, 0, s.destination.Width(), s.destination.Height());
    alpha.FillRandom(rng);
    const std::int32_t degrees = s.Int(-400, 400);
    const bool bilinear = Configure(degrees, s.Int(0, 1));
    const auto colourBefore = s.destination.Memory();
    Image expectedColour(pair.destination, 0, 0, s.destination.Width(), s.destination.Height(),
                         pair.destinationBytes);
    Image expectedAlpha(ImageKind::kIndexed8, 0, 0, alpha.Width(), alpha.Height());
    expectedColour.Assign(colourBefore);
    expectedAlpha.Assign(alpha.Memory());
    AreaRect update = s.update;
    ThresholdRecord t = s.Thresholds();
    ASSERT_EQ(fx->ops->RenderWithAlpha(fx.get(), s.destination.View(), alpha.View(),
                                       s.source.View(), s.mask.View(), &update, nullptr,
                                       s.palette.Record(), 255, 1, 0, &t),
              kOk);
    const AreaRect u = Overlap(Overlap(s.update, s.destination.view().bounds), s.Placed());
    if (u.area != 0 && AlphaPairDrawn(s.source, s.destination)) {
      const auto samples = SwirlSamples(s, u, -((degrees * 256) / 360), bilinear);
      for (std::int32_t y = 0; y < u.height; ++y)
        for (std::int32_t x = 0; x < u.width; ++x) {
          const SwirlSample& o = samples[static_cast<std::size_t>(y * u.width + x)];
          *expectedAlpha.Pixel(u.left + x, u.top + y) = static_cast<std::uint8_t>(o.m);
          if (o.m == 0) continue;
          std::uint8_t* d = expectedColour.Pixel(u.left + x, u.top + y);
          d[0] = static_cast<std::uint8_t>(o.c.b);
          d[1] = static_cast<std::uint8_t>(o.c.g);
          d[2] = static_cast<std::uint8_t>(o.c.r);
        }
    }
    ASSERT_EQ(s.destination.Memory(), expectedColour.Memory()) << "round " << round;
    ASSERT_EQ(alpha.Memory(), expectedAlpha.Memory()) << "round " << round;
  }
}

// At angle 0 every pixel of the sprite lands in place, whatever the sizes,
// the formats and the sampling.
TEST_F(SwirlRender, AngleZeroDrawsTheSpriteExactly) {
  std::mt19937 rng(9);
  for (const KindPair& pair : kRenderPairs) {
    for (std::int32_t level : {0, 1}) {
      Scene s(rng, SharedPalette(), pair, 7, 5, 12, 9);
      s.mask.Fill(255);
      s.blend = 255;
      s.lower = 0;
      s.upper = 255;
      Configure(0, level);
      AreaRect update = s.destination.view().bounds;
      Image expected(pair.destination, 0, 0, 12, 9, pair.destinationBytes);
      expected.Assign(s.destination.Memory());
      DrawSpriteInPlace(s, expected);
      ASSERT_EQ(Render(s, &update), kOk);
      EXPECT_EQ(s.destination.Memory(), expected.Memory())
          << glissade::KindName(pair.source) << " -> " << glissade::KindName(pair.destination)
          << " level " << level;
    }
  }
}

TEST_F(SwirlRender, AnglesAnimateLikeRotateButInfiniteRepeatsTheRange) {
  // A range to 720 degrees ends there: GetAngle is not reduced to a turn.
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("range")},
                 {"numFrames", values().Integer(4)},
                 {"endDegrees", values().Integer(720)}}),
            kOk);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(Step(), kOk);
  ASSERT_EQ(Call("GetAngle"), kOk);
  std::int32_t degrees = 0;
  ASSERT_EQ(values().ToInteger(result, &degrees), kOk);
  EXPECT_EQ(degrees, 720);

  // Infinite from 0 to 90 over 10 frames: 9 frames on the way, then 0 again.
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("infinite")},
                 {"numFrames", values().Integer(10)},
                 {"startDegrees", values().Integer(0)},
                 {"endDegrees", values().Integer(90)}}),
            kOk);
  std::vector<std::int32_t> shown;
  for (int i = 0; i < 11; ++i) {
    ASSERT_EQ(Step(), kOk);
    shown.push_back(ScriptAngle());
  }
  // 90 degrees is 64 in 1/256 turn; frame f shows trunc(f x 6.4).
  const std::vector<std::int32_t> expected = {6, 12, 19, 25, 32, 38, 44, 51, 57, 0, 6};
  EXPECT_EQ(shown, expected);
}

TEST_F(SwirlRender, HitTestAnswersTheCentreAndNothingOutside) {
  Image mask(ImageKind::kIndexed8, 0, 0, 9, 7);
  std::mt19937 rng(3);
  mask.FillRandom(rng);
  AreaRect spriteRect = MakeRect(100, 50, 109, 57);
  SpriteDescription sprite{};
  sprite.words[kSpriteRectWord] = reinterpret_cast<Word>(&spriteRect);
  Configure(250, 1);
  AreaRect update{};
  Scene s(rng, SharedPalette(), kRenderPairs[2], 9, 7, 20, 20);
  ASSERT_EQ(Render(s, &update), kOk);  // the hit test uses the last render's angle
  std::int32_t value = -1;
  ASSERT_EQ(fx->ops->GetAlphaAt(fx.get(), mask.View(), 53, 104, &value, &sprite), kOk);
  EXPECT_EQ(value, *mask.Pixel(4, 3));
  ASSERT_EQ(fx->ops->GetAlphaAt(fx.get(), mask.View(), 10, 10, &value, &sprite), kOk);
  EXPECT_EQ(value, 0);
}

}  // namespace
}  // namespace vx::geometric_test
