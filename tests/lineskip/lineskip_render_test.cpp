// Line skip's drawing and hit test through the operation table.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "host/glissade/palette.h"
#include "host/glissade/reference.h"
#include "lineskip_host.h"

namespace vx::host {
namespace {

using LineSkipRender = LineSkipHost;

TEST_F(LineSkipRender, HitTestAnswersTheAlphaOfDrawnRowsOnly) {
  Image alpha(ImageKind::kIndexed8, 0, 0, 6, 4);
  for (std::int32_t y = 0; y < 4; ++y)
    for (std::int32_t x = 0; x < 6; ++x)
      *alpha.Pixel(x, y) = static_cast<std::uint8_t>(10 * y + x + 1);
  // The 6 x 4 view centred in the sprite's rectangle: its top-left at (22, 13).
  const AreaRect sprite = RectOf(20, 10, 30, 20);
  ASSERT_EQ(Set({{"linesToSkip", Int(1)}, {"linesToDraw", Int(1)}}), kOk);
  EXPECT_EQ(AlphaAt(alpha, sprite, 25, 13), 4);  // odd stage row: drawn
  EXPECT_EQ(AlphaAt(alpha, sprite, 27, 15), 26);
  EXPECT_EQ(AlphaAt(alpha, sprite, 25, 14), 0);  // even: skipped, though its byte is 14
  EXPECT_EQ(AlphaAt(alpha, sprite, 21, 13), 0);  // left of the view
  EXPECT_EQ(AlphaAt(alpha, sprite, 28, 13), 0);  // right of it
  EXPECT_EQ(AlphaAt(alpha, sprite, 22, 17), 0);  // below it
  SpriteDescription none{};
  std::int32_t out = -1;
  EXPECT_EQ(fx->ops->GetAlphaAt(fx.get(), alpha.View(), 13, 25, &out, &none), kOk);
  EXPECT_EQ(out, 0);
  alpha.DropMemory();
  EXPECT_EQ(AlphaAt(alpha, sprite, 25, 13), 0);
  EXPECT_TRUE(alpha.GuardsIntact());
}

// Rows drawn ('D'), skipped ('S') or outside the update ('-'), read off a
// render of an opaque sprite that covers the whole stage.
TEST_F(LineSkipRender, TheUpdateStartsWhereverThePatternIs) {
  ASSERT_EQ(Set({{"linesToSkip", Int(2)}, {"linesToDraw", Int(3)}, {"offset", Int(1)}}), kOk);
  Image dst(ImageKind::kRgb32, 0, 0, 4, 16), src(ImageKind::kRgb32, 0, 0, 4, 16);
  Image mask(ImageKind::kIndexed8, 0, 0, 4, 16);
  dst.Fill(0);
  src.Fill(200);
  mask.Fill(255);
  const std::vector<std::uint16_t> runs = glissade::MakeMaskRuns(mask);
  ThresholdRecord t = glissade::MakeThresholdRecord(255, 0);
  AreaRect update = RectOf(0, 3, 4, 13);  // row 3 is the fifth row of its period
  // The runs and the hard-mask flag change nothing drawn.
  ASSERT_EQ(fx->ops->Render(fx.get(), dst.View(), src.View(), &update, mask.View(), runs.data(),
                            nullptr, 255, 1, 0, 1, &t),
            kOk);
  std::string rows;
  for (std::int32_t y = 0; y < 16; ++y)
    rows += y < 3 || y >= 13 ? (dst.Pixel(0, y)[0] == 0 ? '-' : '?')
                             : (dst.Pixel(0, y)[0] == 200 ? 'D' : 'S');
  EXPECT_EQ(rows, "---DSSDDDSSDD---");
  EXPECT_TRUE(dst.GuardsIntact());
}

// Source and stage kinds of the five loops (24 and 32 bits share one).
struct KindPair {
  ImageKind source, stage;
};
const KindPair kPairs[] = {
    {ImageKind::kIndexed8, ImageKind::kIndexed8},  {ImageKind::kRgb555, ImageKind::kRgb555},
    {ImageKind::kExpanded8, ImageKind::kIndexed8}, {ImageKind::kExpanded16, ImageKind::kRgb555},
    {ImageKind::kRgb24, ImageKind::kRgb24},        {ImageKind::kRgb32, ImageKind::kRgb32},
};

// The source pixel's colour as each stage stores or blends it.
glissade::ReferenceColour SourceColour(const Image& src, std::int32_t x, std::int32_t y,
                                       ImageKind stage, const glissade::PaletteTable& palette) {
  const std::uint8_t* p = src.Pixel(x, y);
  glissade::ReferenceColour c{};
  switch (src.Kind()) {
    case ImageKind::kIndexed8: {
      const glissade::Colour k = palette.ColourOf(p[0]);
      c = {k.b, k.g, k.r, 0, 0};
      break;
    }
    case ImageKind::kRgb555: {
      std::uint16_t v;
      std::memcpy(&v, p, 2);
      c.pixel = v & 0x7FFF;
      break;
    }
    case ImageKind::kExpanded16:
      c.pixel = static_cast<std::uint16_t>(((p[2] & 31) << 10) | ((p[1] & 31) << 5) | (p[0] & 31));
      break;
    default:
      c = {p[0], p[1], p[2], 0, 0};
  }
  if (stage == ImageKind::kIndexed8) c.index = palette.InverseOf(c.r, c.g, c.b);
  return c;
}

// Random patterns, animations, update rectangles, blend levels, thresholds
// and paths: every stage row inside the update is composited exactly as the
// sprite would be without the effect when the hit test calls it drawn, and
// left byte for byte when it calls it skipped; nothing else changes.
TEST_F(LineSkipRender, EveryRowIsDrawnOrLeftAsTheHitTestSays) {
  std::mt19937 rng(5202);
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng);
  auto pick = [&](std::int32_t lo, std::int32_t hi) {
    return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng);
  };
  for (int round = 0; round < 300; ++round) {
    const KindPair kinds = kPairs[round % 6];
    SCOPED_TRACE(::testing::Message()
                 << "round " << round << " " << glissade::KindName(kinds.source));
    Fresh();
    const std::int32_t W = pick(1, 40), H = pick(1, 40), w = pick(1, W + 4), h = pick(1, H + 6);
    Image dst(kinds.stage, 0, 0, W, H), src(kinds.source, 0, 0, w, h);
    Image mask(ImageKind::kIndexed8, 0, 0, w, h);
    dst.FillRandom(rng);
    src.FillRandom(rng);
    mask.FillRandom(rng);
    for (std::int32_t y = 0; y < h; ++y) {  // opaque stretches as well as soft pixels
      const std::int32_t from = pick(0, w), to = pick(from, w);
      for (std::int32_t x = from; x < to; ++x) *mask.Pixel(x, y) = 255;
    }
    const std::vector<std::uint16_t> runs = glissade::MakeMaskRuns(mask);
    if (pick(0, 1) == 0) {
      ASSERT_EQ(Set({{"linesToSkip", Int(pick(-2, 6))},
                     {"linesToDraw", Int(pick(-1, 6))},
                     {"offset", Int(pick(-30, 30))}}),
                kOk);
    } else {
      ASSERT_EQ(Set({{"animMode", Sym(pick(0, 1) ? "pendulum" : "range")},
                     {"startSkip", Int(pick(0, 5))},
                     {"linesToSkip", Int(pick(0, 5))},
                     {"startDraw", Int(pick(0, 5))},
                     {"linesToDraw", Int(pick(0, 5))},
                     {"startOffset", Int(pick(-9, 9))},
                     {"offset", Int(pick(-9, 9))},
                     {"numFrames", Int(pick(1, 6))}}),
                kOk);
      for (int i = pick(0, 4); i > 0; --i) ASSERT_EQ(Step(), kOk);
    }
    const std::int32_t blend = pick(0, 3) ? 255 : pick(0, 255);
    const std::int32_t lower = pick(0, 2) ? 0 : pick(0, 120),
                       upper = pick(0, 2) ? 255 : pick(100, 255);
    AreaRect update = pick(0, 2) ? RectOf(0, 0, W, H)
                                 : RectOf(pick(-3, W), pick(-3, H), pick(0, W + 3), pick(0, H + 3));
    const AreaRect given = update;

    // The picture without the effect, by the rules, clipped as a host clips.
    const std::vector<std::uint8_t> before = dst.Memory();
    const std::int32_t maskLeft = W / 2 - w / 2, maskTop = H / 2 - h / 2;
    glissade::ReferenceJob job;
    job.destination = &dst;
    job.update =
        RectOf(std::max({given.left, 0, maskLeft}), std::max({given.top, 0, maskTop}),
               std::min({given.right, W, maskLeft + w}), std::min({given.bottom, H, maskTop + h}));
    const bool visible = job.update.left < job.update.right && job.update.top < job.update.bottom;
    if (visible) {
      job.mask = &mask;
      job.maskLeft = job.update.left - maskLeft;
      job.maskTop = job.update.top - maskTop;
      job.blend = blend;
      job.upper = upper;
      job.lower = lower;
      job.palette = &palette;
      job.colour = [&](std::int32_t x, std::int32_t y) {
        return SourceColour(src, job.maskLeft + x, job.maskTop + y, kinds.stage, palette);
      };
      glissade::ReferenceComposite(job);
    }
    const std::vector<std::uint8_t> whole = dst.Memory();
    dst.Assign(before);

    ThresholdRecord t = glissade::MakeThresholdRecord(upper, lower);
    ASSERT_EQ(fx->ops->Render(fx.get(), dst.View(), src.View(), &update, mask.View(),
                              pick(0, 1) ? runs.data() : nullptr, palette.Record(), blend, 1,
                              pick(0, 1), pick(0, 1), &t),
              kOk);
    ASSERT_TRUE(dst.GuardsIntact());
    const std::string pattern = Pattern(0, H);
    for (std::int32_t y = 0; y < H; ++y) {
      const std::size_t at = dst.Pixel(0, y) - dst.Base(), n = dst.RowLength();
      const std::vector<std::uint8_t>& want = pattern[y] == 'D' ? whole : before;
      ASSERT_EQ(std::memcmp(dst.Base() + at, want.data() + at, n), 0)
          << "row " << y << " " << pattern[y] << " of " << pattern;
    }
  }
}

// The alpha form in its three loops: skipped rows of the update turn
// transparent with their colour left; drawn rows take the source's alpha,
// and its colour unblended where that alpha is above the lower threshold.
TEST_F(LineSkipRender, AlphaFormClearsSkippedRowsAndCopiesDrawnOnes) {
  std::mt19937 rng(52);
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng);
  const KindPair loops[] = {{ImageKind::kRgb32, ImageKind::kRgb32},
                            {ImageKind::kRgb555, ImageKind::kExpanded16},
                            {ImageKind::kIndexed8, ImageKind::kExpanded8}};
  for (const KindPair& kinds : loops) {
    SCOPED_TRACE(glissade::KindName(kinds.source));
    Fresh();
    ASSERT_EQ(Set({{"linesToSkip", Int(1)}, {"linesToDraw", Int(2)}, {"offset", Int(-1)}}), kOk);
    Image dst(kinds.stage, 0, 0, 9, 12), dstAlpha(ImageKind::kIndexed8, 0, 0, 9, 12);
    Image src(kinds.source, 0, 0, 7, 10), srcAlpha(ImageKind::kIndexed8, 0, 0, 7, 10);
    for (Image* image : {&dst, &dstAlpha, &src, &srcAlpha}) image->FillRandom(rng);
    Image colourBefore(kinds.stage, 0, 0, 9, 12), alphaBefore(ImageKind::kIndexed8, 0, 0, 9, 12);
    colourBefore.Assign(dst.Memory());
    alphaBefore.Assign(dstAlpha.Memory());
    ThresholdRecord t = glissade::MakeThresholdRecord(255, 90);
    AreaRect update = RectOf(0, 2, 8, 12);  // the sprite lies at (1, 1)-(8, 11)
    ASSERT_EQ(
        fx->ops->RenderWithAlpha(fx.get(), dst.View(), dstAlpha.View(), src.View(), srcAlpha.View(),
                                 &update, nullptr, palette.Record(), 255, 1, 0, &t),
        kOk);
    for (std::int32_t y = 0; y < 12; ++y) {
      for (std::int32_t x = 0; x < 9; ++x) {
        SCOPED_TRACE(::testing::Message() << x << "," << y);
        std::uint8_t colour[4], alpha = *alphaBefore.Pixel(x, y);
        std::memcpy(colour, colourBefore.Pixel(x, y), 4);
        if (x >= 1 && x < 8 && y >= 2 && y < 11) {
          if ((y - 1) % 3 == 0) {  // offset -1: rows 1, 4, 7, 10 skipped
            alpha = 0;
          } else {
            alpha = *srcAlpha.Pixel(x - 1, y - 1);
            if (alpha > 90) {
              const glissade::ReferenceColour c =
                  SourceColour(src, x - 1, y - 1, kinds.stage, palette);
              if (kinds.source == ImageKind::kRgb555) {
                colour[0] = c.pixel & 31;
                colour[1] = (c.pixel >> 5) & 31;
                colour[2] = (c.pixel >> 10) & 31;
              } else {
                colour[0] = c.b;
                colour[1] = c.g;
                colour[2] = c.r;
              }
            }
          }
        }
        ASSERT_EQ(*dstAlpha.Pixel(x, y), alpha);
        ASSERT_EQ(std::memcmp(dst.Pixel(x, y), colour, 4), 0);
      }
    }
    EXPECT_TRUE(dst.GuardsIntact() && dstAlpha.GuardsIntact());
  }
}

}  // namespace
}  // namespace vx::host
