// Rotate drawing through the operation table: pixels placed by the turn,
// the sampling and mask rules on every format pair, colour plus alpha, the
// hit test against what was drawn, the private copy, allocation failure and
// views that would lead a careless loop out of its memory.
//
// Sampling happens at pixel centres: an unturned sprite the size of its
// destination maps pixel (x, y) to (x, y); a flipped one maps column x to
// column W - 1 - x.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "host/glissade/palette.h"
#include "tests/rotate/rotate_host.h"

namespace vx::host {
namespace {

using glissade::PaletteTable;

constexpr std::int32_t kN = 8;

struct Frame {
  std::int32_t blend = 255;
  std::int32_t draw = 1;
  std::int32_t align = 0;
  std::int32_t upper = 255, lower = 0;
  ColourTable* colours = nullptr;
  AreaRect* update = nullptr;  // the destination's bounds when null
};

class RotateRenderTest : public RotateHost {
 protected:
  Status Render(Image& dst, Image& src, Image& mask, const Frame& f = {}) {
    AreaRect update = dst.view().bounds;
    AreaRect* u = f.update != nullptr ? f.update : &update;
    thresholds = glissade::MakeThresholdRecord(f.upper, f.lower);
    thresholds.words[kThresholdAllocatorWord] =
        reinterpret_cast<Word>(host.allocator().Interface());
    thresholds.words[kThresholdOutRectWord] = reinterpret_cast<Word>(&outRect);
    return fx->ops->Render(fx.get(), dst.View(), src.View(), u, mask.View(), nullptr, f.colours,
                           f.blend, f.draw, f.align, 0, &thresholds);
  }

  Status RenderWithAlpha(Image& dstColour, Image& dstAlpha, Image& src, Image& mask,
                         ColourTable* colours = nullptr, std::int32_t lower = 0) {
    AreaRect update = dstColour.view().bounds;
    thresholds = glissade::MakeThresholdRecord(255, lower);
    thresholds.words[kThresholdOutRectWord] = reinterpret_cast<Word>(&outRect);
    thresholds.words[kThresholdOutRect2Word] = reinterpret_cast<Word>(&outRect2);
    return fx->ops->RenderWithAlpha(fx.get(), dstColour.View(), dstAlpha.View(), src.View(),
                                    mask.View(), &update, nullptr, colours, 255, 1, 0,
                                    &thresholds);
  }

  void Nearest() { ASSERT_EQ(Set({{"interpolation", values().Integer(0)}}), kOk); }
  void Turn(std::int32_t degrees) { ASSERT_EQ(Set({{"degrees", values().Integer(degrees)}}), kOk); }

  ThresholdRecord thresholds{};
  AreaRect outRect{}, outRect2{};
  std::mt19937 rng{4};
};

void FillMask(Image& mask, std::uint8_t v) {
  for (std::int32_t y = 0; y < mask.Height(); ++y)
    for (std::int32_t x = 0; x < mask.Width(); ++x) *mask.Pixel(x, y) = v;
}

void FillBgr(Image& img, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  for (std::int32_t y = 0; y < img.Height(); ++y)
    for (std::int32_t x = 0; x < img.Width(); ++x) {
      std::uint8_t* p = img.Pixel(x, y);
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
}

AreaRect MakeUpdate(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  return AreaRect{left, top, right, bottom, bottom - top, right - left,
                  (bottom - top) * (right - left), left, top, 0};
}

bool SameBgr(const std::uint8_t* a, const std::uint8_t* b) {
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// Where destination pixel (x, y) of a kN x kN sprite drawn into a kN x kN
// destination samples from, for the turns whose tables are exact.
struct Mapping {
  const char* name;
  std::int32_t degrees;
  bool flip;
  std::int32_t (*sx)(std::int32_t x, std::int32_t y);
  std::int32_t (*sy)(std::int32_t x, std::int32_t y);
};

const Mapping kMappings[] = {
    // Turned back by the angle, the destination's top-left corner lands on
    // the source's top-left, bottom-left, bottom-right or top-right corner.
    {"unturned", 0, false, [](std::int32_t x, std::int32_t) { return x; },
     [](std::int32_t, std::int32_t y) { return y; }},
    {"quarter", 90, false, [](std::int32_t, std::int32_t y) { return y; },
     [](std::int32_t x, std::int32_t) { return kN - 1 - x; }},
    {"half", 180, false, [](std::int32_t x, std::int32_t) { return kN - 1 - x; },
     [](std::int32_t, std::int32_t y) { return kN - 1 - y; }},
    {"three quarters", 270, false, [](std::int32_t, std::int32_t y) { return kN - 1 - y; },
     [](std::int32_t x, std::int32_t) { return x; }},
    {"mirrored", 0, true, [](std::int32_t x, std::int32_t) { return kN - 1 - x; },
     [](std::int32_t, std::int32_t y) { return y; }},
    {"mirrored quarter", 90, true, [](std::int32_t, std::int32_t y) { return y; },
     [](std::int32_t x, std::int32_t) { return x; }},
};

TEST_F(RotateRenderTest, ExactTurnsMovePixelsOneToOne) {
  for (const Mapping& m : kMappings) {
    SCOPED_TRACE(m.name);
    Nearest();
    Turn(m.degrees);
    ASSERT_EQ(Set({{"flip", values().Integer(m.flip ? 1 : 0)}}), kOk);
    Image src(ImageKind::kRgb32, 0, 0, kN, kN), mask(ImageKind::kIndexed8, 0, 0, kN, kN);
    Image dst(ImageKind::kRgb32, 0, 0, kN, kN);
    src.FillRandom(rng);
    dst.FillRandom(rng);
    FillMask(mask, 255);
    const std::vector<std::uint8_t> before = dst.Memory();
    ASSERT_EQ(Render(dst, src, mask), kOk);
    Image old(ImageKind::kRgb32, 0, 0, kN, kN);
    old.Assign(before);
    for (std::int32_t y = 0; y < kN; ++y)
      for (std::int32_t x = 0; x < kN; ++x) {
        const std::int32_t sx = m.sx(x, y), sy = m.sy(x, y);
        const bool inside = sx >= 0 && sx < kN && sy >= 0 && sy < kN;
        const std::uint8_t* expected = inside ? src.Pixel(sx, sy) : old.Pixel(x, y);
        EXPECT_TRUE(SameBgr(dst.Pixel(x, y), expected)) << x << "," << y;
        EXPECT_EQ(dst.Pixel(x, y)[3], old.Pixel(x, y)[3]);  // fourth byte never written
      }
    EXPECT_TRUE(dst.GuardsIntact());
  }
}

TEST_F(RotateRenderTest, BilinearUnturnedDrawsTheWholeSprite) {
  Image src(ImageKind::kRgb24, 0, 0, kN, kN), mask(ImageKind::kIndexed8, 0, 0, kN, kN);
  Image dst(ImageKind::kRgb32, 0, 0, kN, kN);
  FillBgr(src, 10, 120, 230);
  FillMask(mask, 255);
  dst.Fill(0);
  ASSERT_EQ(Render(dst, src, mask), kOk);  // interpolation 1 from create
  // The last column and row too: their missing neighbours weigh nothing.
  for (std::int32_t y = 0; y < kN; ++y)
    for (std::int32_t x = 0; x < kN; ++x) {
      EXPECT_EQ(dst.Pixel(x, y)[0], 10) << x << "," << y;
      EXPECT_EQ(dst.Pixel(x, y)[2], 230) << x << "," << y;
    }
}

TEST_F(RotateRenderTest, BilinearTurnOfAFlatSpriteKeepsItsColour) {
  Turn(30);
  Image src(ImageKind::kRgb32, 0, 0, 20, 12), mask(ImageKind::kIndexed8, 0, 0, 20, 12);
  Image dst(ImageKind::kRgb32, 0, 0, 30, 30);
  FillBgr(src, 40, 50, 60);
  FillMask(mask, 255);
  dst.Fill(0);
  ASSERT_EQ(Render(dst, src, mask), kOk);
  int full = 0;
  for (std::int32_t y = 0; y < 30; ++y)
    for (std::int32_t x = 0; x < 30; ++x) {
      const std::uint8_t* p = dst.Pixel(x, y);
      if (p[0] == 0) continue;
      // Inside, the interpolated mask is 255 and the colour stored as is;
      // at the edges it blends from black.
      EXPECT_LE(p[0], 40);
      EXPECT_LE(p[2], 60);
      if (p[0] == 40 && p[1] == 50 && p[2] == 60) ++full;
    }
  EXPECT_GT(full, 150);  // most of the 240 pixels
  EXPECT_TRUE(dst.GuardsIntact());
}

// Colours of one pixel in every format, for the format-pair table.
struct PairCase {
  ImageKind src, dst;
};

const PairCase kPairs[] = {
    {ImageKind::kRgb24, ImageKind::kRgb32},       {ImageKind::kRgb32, ImageKind::kRgb24},
    {ImageKind::kRgb555, ImageKind::kRgb555},     {ImageKind::kExpanded16, ImageKind::kRgb555},
    {ImageKind::kIndexed8, ImageKind::kIndexed8}, {ImageKind::kExpanded8, ImageKind::kIndexed8},
};

// Whether destination pixel `d` holds source pixel `s` stored outright.
bool Stored(const PairCase& pair, const PaletteTable& palette, const std::uint8_t* s,
            const std::uint8_t* d) {
  switch (pair.dst) {
    case ImageKind::kRgb24:
    case ImageKind::kRgb32:
      return SameBgr(d, s);
    case ImageKind::kRgb555: {
      const auto expected =
          pair.src == ImageKind::kRgb555
              ? static_cast<std::uint16_t>((s[0] | (s[1] << 8)) & 0x7FFF)
              : static_cast<std::uint16_t>(s[0] | (s[1] << 5) | (s[2] << 10));
      return (d[0] | (d[1] << 8)) == expected;
    }
    default: {
      // Even an outright store goes through the colour table and back.
      glissade::Colour c{s[2], s[1], s[0]};
      if (pair.src == ImageKind::kIndexed8) c = palette.ColourOf(s[0]);
      return d[0] == palette.InverseOf(c.r, c.g, c.b);
    }
  }
}

void FillSource(Image& src, std::mt19937& rng) {
  src.FillRandom(rng);
  if (src.Kind() == ImageKind::kExpanded16)
    for (std::int32_t y = 0; y < src.Height(); ++y)
      for (std::int32_t x = 0; x < src.Width(); ++x)
        for (int c = 0; c < 3; ++c) src.Pixel(x, y)[c] &= 31;
}

// Exact turns of sprites whose sides share the stage's parity, on every
// format pair and both samplings: the sprite turned pixel for pixel about
// its centre, in place, and nothing else on the stage touched.
TEST_F(RotateRenderTest, ExactTurnsOnEveryFormatPairAndSampling) {
  PaletteTable palette = PaletteTable::Random(rng);
  using To = std::pair<std::int32_t, std::int32_t>;
  struct TurnCase {
    const char* name;
    std::int32_t degrees;
    bool flip;
    // Where source pixel (x, y) of a w x h sprite lands in the turned box.
    To (*to)(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);
  };
  const TurnCase turns[] = {
      {"unturned", 0, false, [](std::int32_t x, std::int32_t y, std::int32_t, std::int32_t) { return To{x, y}; }},
      {"mirrored", 0, true, [](std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t) { return To{w - 1 - x, y}; }},
      {"quarter", 90, false, [](std::int32_t x, std::int32_t y, std::int32_t, std::int32_t h) { return To{h - 1 - y, x}; }},
      {"half", 180, false, [](std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) { return To{w - 1 - x, h - 1 - y}; }},
      {"three quarters", 270, false, [](std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t) { return To{y, w - 1 - x}; }},
      {"mirrored quarter", 90, true, [](std::int32_t x, std::int32_t y, std::int32_t, std::int32_t) { return To{y, x}; }},
  };
  struct Size {
    std::int32_t w, h, stage;
  };
  for (const PairCase& pair : kPairs)
    for (bool bilinear : {false, true})
      for (const Size size : {Size{7, 5, 21}, Size{6, 4, 20}, Size{1, 1, 9}})
        for (const TurnCase& t : turns) {
          SCOPED_TRACE(std::string(glissade::KindName(pair.src)) + " -> " +
                       glissade::KindName(pair.dst) + (bilinear ? " bilinear " : " nearest ") +
                       t.name + " " + std::to_string(size.w) + "x" + std::to_string(size.h));
          ASSERT_EQ(Set({{"interpolation", values().Integer(bilinear ? 1 : 0)}}), kOk);
          Turn(t.degrees);
          ASSERT_EQ(Set({{"flip", values().Integer(t.flip ? 1 : 0)}}), kOk);
          Image src(pair.src, 0, 0, size.w, size.h), mask(ImageKind::kIndexed8, 0, 0, size.w, size.h);
          Image dst(pair.dst, 0, 0, size.stage, size.stage);
          FillSource(src, rng);
          FillMask(mask, 255);
          dst.FillRandom(rng);
          const std::vector<std::uint8_t> before = dst.Memory();
          Frame f;
          f.colours = palette.Record();
          ASSERT_EQ(Render(dst, src, mask, f), kOk);
          Image old(pair.dst, 0, 0, size.stage, size.stage);
          old.Assign(before);
          // The turned box, centred where the sprite is placed.
          const bool swaps = t.degrees % 180 != 0;
          const std::int32_t bw = swaps ? size.h : size.w, bh = swaps ? size.w : size.h;
          const std::int32_t left = (size.stage - bw) / 2, top = (size.stage - bh) / 2;
          std::vector<bool> covered(static_cast<std::size_t>(size.stage * size.stage));
          for (std::int32_t y = 0; y < size.h; ++y)
            for (std::int32_t x = 0; x < size.w; ++x) {
              const auto [bx, by] = t.to(x, y, size.w, size.h);
              const std::int32_t dx = left + bx, dy = top + by;
              covered[static_cast<std::size_t>(dy * size.stage + dx)] = true;
              EXPECT_TRUE(Stored(pair, palette, src.Pixel(x, y), dst.Pixel(dx, dy)))
                  << x << "," << y << " -> " << dx << "," << dy;
            }
          for (std::int32_t y = 0; y < size.stage; ++y)
            for (std::int32_t x = 0; x < size.stage; ++x)
              if (!covered[static_cast<std::size_t>(y * size.stage + x)]) {
                EXPECT_TRUE(std::equal(dst.Pixel(x, y), dst.Pixel(x, y) + dst.BytesPerPixel(),
                                       old.Pixel(x, y)))
                    << x << "," << y;
              }
          EXPECT_TRUE(dst.GuardsIntact());
        }
}

TEST_F(RotateRenderTest, ThresholdsAndBlendLevel) {
  Nearest();
  struct Case {
    std::int32_t mask, blend, upper, lower;
    std::int32_t weight;  // -1: untouched, 256: stored outright
  };
  const Case cases[] = {
      {100, 255, 255, 100, -1},  // at the lower threshold: left alone
      {101, 255, 255, 100, 101},
      {200, 255, 200, 0, 256},   // at the upper threshold: stored
      {199, 255, 200, 0, 199},
      {255, 254, 255, 0, 253},   // blend below 255 always blends: (255 x 254) >> 8
      {128, 128, 255, 0, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask * 1000 + c.blend);
    Image src(ImageKind::kRgb32, 0, 0, kN, kN), mask(ImageKind::kIndexed8, 0, 0, kN, kN);
    Image dst(ImageKind::kRgb32, 0, 0, kN, kN);
    FillBgr(src, 250, 10, 128);
    FillBgr(dst, 50, 210, 128);
    FillMask(mask, static_cast<std::uint8_t>(c.mask));
    Frame f;
    f.blend = c.blend;
    f.upper = c.upper;
    f.lower = c.lower;
    ASSERT_EQ(Render(dst, src, mask, f), kOk);
    const auto blend = [&](std::int32_t d, std::int32_t s) {
      if (c.weight < 0) return d;
      if (c.weight == 256) return s;
      return d + (((s - d) * c.weight) >> 8);
    };
    const std::uint8_t* p = dst.Pixel(3, 3);
    EXPECT_EQ(p[0], blend(50, 250));
    EXPECT_EQ(p[1], blend(210, 10));  // negative difference: arithmetic shift
    EXPECT_EQ(p[2], 128);
  }
}

TEST_F(RotateRenderTest, DrawFlagZeroOnlyReportsTheRectangle) {
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("range")},
                 {"degrees", values().Integer(90)},
                 {"numFrames", values().Integer(4)}}),
            kOk);
  Image src(ImageKind::kRgb32, 0, 0, kN, kN), mask(ImageKind::kIndexed8, 0, 0, kN, kN);
  Image dst(ImageKind::kRgb32, 0, 0, 20, 20);
  src.FillRandom(rng);
  FillMask(mask, 255);
  dst.Fill(7);
  const std::vector<std::uint8_t> before = dst.Memory();
  outRect.height = outRect.width = outRect.area = -5;
  Frame f;
  f.draw = 0;
  ASSERT_EQ(Render(dst, src, mask, f), kOk);
  EXPECT_EQ(dst.Memory(), before);
  EXPECT_EQ(ShownAngle(), 16);  // the frame was stepped
  EXPECT_EQ(outRect.left, 0);
  EXPECT_EQ(outRect.top, 0);
  EXPECT_GE(outRect.right, kN);
  EXPECT_GE(outRect.bottom, kN);
  EXPECT_EQ(outRect.width, -5);  // only the four edges are written
}

TEST_F(RotateRenderTest, UpdateIsNarrowedToTheTurnedBounds) {
  Turn(45);
  Image src(ImageKind::kRgb32, 0, 0, 10, 10), mask(ImageKind::kIndexed8, 0, 0, 10, 10);
  Image dst(ImageKind::kRgb32, 0, 0, 40, 30);
  FillBgr(src, 1, 2, 3);
  FillMask(mask, 255);
  dst.Fill(0);
  AreaRect update = dst.view().bounds;
  Frame f;
  f.update = &update;
  ASSERT_EQ(Render(dst, src, mask, f), kOk);
  // A 10 x 10 square turned 45 degrees has its corners 5 * sqrt(2) = 7.07
  // from (20, 15): x in [12.93, 27.07], y in [7.93, 22.07]. The box holds
  // the pixels that reach, at most a pixel past the corners' floor and ceiling.
  EXPECT_GE(update.left, 11);
  EXPECT_LE(update.left, 13);
  EXPECT_GE(update.right, 27);
  EXPECT_LE(update.right, 29);
  EXPECT_GE(update.top, 6);
  EXPECT_LE(update.top, 8);
  EXPECT_GE(update.bottom, 22);
  EXPECT_LE(update.bottom, 24);
  EXPECT_EQ(outRect.right, update.right - update.left);
  EXPECT_EQ(outRect.bottom, update.bottom - update.top);
  // Nothing drawn outside it.
  for (std::int32_t y = 0; y < 30; ++y)
    for (std::int32_t x = 0; x < 40; ++x)
      if (x < update.left || x >= update.right || y < update.top || y >= update.bottom) {
        EXPECT_EQ(dst.Pixel(x, y)[0], 0) << x << "," << y;
      }
  EXPECT_EQ(dst.Pixel(20, 15)[0], 1);

  // An update away from the sprite leaves nothing to draw.
  update = MakeUpdate(0, 0, 5, 5);
  dst.Fill(0);
  ASSERT_EQ(Render(dst, src, mask, f), kOk);
  EXPECT_EQ(update.width * update.height, 0);
}

TEST_F(RotateRenderTest, AColourViewLargerThanTheMaskIsCutAboutItsCentre) {
  Nearest();
  Image src(ImageKind::kRgb32, 0, 0, kN + 4, kN + 2), mask(ImageKind::kIndexed8, 0, 0, kN, kN);
  Image dst(ImageKind::kRgb32, 0, 0, kN, kN);
  src.FillRandom(rng);
  FillMask(mask, 255);
  const std::size_t blocks = host.allocator().LiveBlocks();
  const std::size_t requests = host.allocator().RequestCount();
  ASSERT_EQ(Render(dst, src, mask), kOk);
  for (std::int32_t y = 0; y < kN; ++y)
    for (std::int32_t x = 0; x < kN; ++x)
      EXPECT_TRUE(SameBgr(dst.Pixel(x, y), src.Pixel(x + 2, y + 1))) << x << "," << y;
  EXPECT_EQ(host.allocator().RequestCount(), requests + 1);  // one temporary view
  EXPECT_EQ(host.allocator().LiveBlocks(), blocks);          // given back
}

TEST_F(RotateRenderTest, AlignmentCutsTheSourceToItsClipRectangle) {
  Nearest();
  Image src(ImageKind::kRgb32, 0, 0, kN, kN), mask(ImageKind::kIndexed8, 0, 0, kN, kN);
  Image dst(ImageKind::kRgb32, 0, 0, kN, kN);
  src.FillRandom(rng);
  FillMask(mask, 255);
  dst.Fill(0);
  // Only the left half and the top three quarters of the source are valid.
  src.View()->clip = MakeUpdate(0, 0, kN / 2, kN - 2);
  Frame f;
  f.align = 1;
  ASSERT_EQ(Render(dst, src, mask, f), kOk);
  for (std::int32_t y = 0; y < kN; ++y)
    for (std::int32_t x = 0; x < kN; ++x) {
      if (x < kN / 2 && y < kN - 2)
        EXPECT_TRUE(SameBgr(dst.Pixel(x, y), src.Pixel(x, y))) << x << "," << y;
      else
        EXPECT_EQ(dst.Pixel(x, y)[0] | dst.Pixel(x, y)[1] | dst.Pixel(x, y)[2], 0) << x << "," << y;
    }
  // The same frame without alignment draws it all.
  ASSERT_EQ(Render(dst, src, mask), kOk);
  EXPECT_TRUE(SameBgr(dst.Pixel(kN - 1, kN - 1), src.Pixel(kN - 1, kN - 1)));
}

TEST_F(RotateRenderTest, PrivateCopyIsSampledAndRefreshed) {
  Nearest();
  Image src(ImageKind::kRgb24, 0, 0, kN, kN), mask(ImageKind::kIndexed8, 0, 0, kN, kN);
  Image dst(ImageKind::kRgb32, 0, 0, kN, kN);
  src.FillRandom(rng);
  FillMask(mask, 255);
  Frame f;
  f.align = 2;
  const std::size_t blocks = host.allocator().LiveBlocks();
  ASSERT_EQ(Render(dst, src, mask, f), kOk);
  EXPECT_EQ(host.allocator().LiveBlocks(), blocks + 2);  // view and pixels
  for (std::int32_t y = 0; y < kN; ++y)
    for (std::int32_t x = 0; x < kN; ++x) EXPECT_TRUE(SameBgr(dst.Pixel(x, y), src.Pixel(x, y)));
  FillBgr(src, 9, 8, 7);
  ASSERT_EQ(Render(dst, src, mask, f), kOk);
  EXPECT_EQ(dst.Pixel(5, 5)[0], 9);
  EXPECT_EQ(host.allocator().LiveBlocks(), blocks + 2);  // reused
  // A source of another size replaces the copy.
  Image other(ImageKind::kRgb24, 0, 0, kN + 2, kN + 2);
  FillBgr(other, 4, 5, 6);
  ASSERT_EQ(Render(dst, other, mask, f), kOk);
  EXPECT_EQ(dst.Pixel(5, 5)[0], 4);
  EXPECT_EQ(host.allocator().LiveBlocks(), blocks + 2);
  Destroy();
  EXPECT_EQ(host.allocator().LiveBlocks(), baselineBlocks);
  EXPECT_EQ(host.allocator().BadFreeCount(), 0u);
}

TEST_F(RotateRenderTest, AllocationFailureStopsBeforeTheFrameIsStepped) {
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("range")},
                 {"degrees", values().Integer(90)},
                 {"numFrames", values().Integer(4)}}),
            kOk);
  Image src(ImageKind::kRgb32, 0, 0, kN, kN), mask(ImageKind::kIndexed8, 0, 0, kN, kN);
  Image big(ImageKind::kRgb32, 0, 0, kN + 2, kN + 2);
  Image dst(ImageKind::kRgb32, 0, 0, 12, 12);
  src.FillRandom(rng);
  big.FillRandom(rng);
  FillMask(mask, 255);
  dst.Fill(0);
  const std::vector<std::uint8_t> before = dst.Memory();
  Frame copy;
  copy.align = 2;
  struct Case {
    const char* what;
    Image* source;
    std::uint32_t failing;
    std::int32_t align;
  };
  const Case cases[] = {{"private copy view", &src, 1, 2},
                        {"private copy pixels", &src, 2, 2},
                        {"temporary view", &big, 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    host.allocator().FailNth(c.failing);
    Frame f;
    f.align = c.align;
    EXPECT_EQ(Render(dst, *c.source, mask, f), kOutOfMemory);
    host.allocator().FailNth(0);
    EXPECT_EQ(ShownAngle(), 0);  // not stepped
    EXPECT_EQ(dst.Memory(), before);
  }
  // The view kept from the failed pixel allocation gets its pixels now.
  ASSERT_EQ(Render(dst, src, mask, copy), kOk);
  EXPECT_EQ(ShownAngle(), 16);
  EXPECT_NE(dst.Memory(), before);
  host.allocator().FailAll(true);
  EXPECT_EQ(Render(dst, big, mask), kOutOfMemory);
  host.allocator().FailAll(false);
  Destroy();
  EXPECT_EQ(host.allocator().LiveBlocks(), baselineBlocks);
}

// Views that claim more than their memory holds, absurd rectangles and views
// without memory: the render answers 0 and nothing outside the buffers moves.
TEST_F(RotateRenderTest, HostileViewsAreNeverWalkedOutOfTheirMemory) {
  Turn(33);
  const std::int32_t huge = 1 << 23;
  for (int variant = 0; variant < 6; ++variant) {
    SCOPED_TRACE(variant);
    Image src(ImageKind::kRgb32, 0, 0, kN, kN), mask(ImageKind::kIndexed8, 0, 0, kN, kN);
    Image dst(ImageKind::kRgb32, 0, 0, 16, 16);
    src.FillRandom(rng);
    FillMask(mask, 255);
    AreaRect update = dst.view().bounds;
    switch (variant) {
      case 0:  // a destination claiming 2^23 columns
        dst.View()->bounds.right = huge;
        dst.View()->bounds.width = huge;
        break;
      case 1:  // a mask and source claiming 2^23 columns
        mask.View()->bounds.right = huge;
        mask.View()->bounds.width = huge;
        src.View()->bounds.right = huge;
        src.View()->bounds.width = huge;
        break;
      case 2:  // an update far larger than the destination
        update.left = update.top = -huge;
        update.right = update.bottom = huge;
        break;
      case 3:  // no memory behind the source
        src.DropMemory();
        break;
      case 4:  // a destination row length too short for its width
        dst.View()->rowLength = 4;
        dst.View()->rowStep = -4;
        break;
      case 5:  // inverted bounds
        mask.View()->bounds.left = kN;
        mask.View()->bounds.right = 0;
        break;
    }
    Frame f;
    f.update = &update;
    f.align = variant % 3;
    EXPECT_EQ(Render(dst, src, mask, f), kOk);
    EXPECT_TRUE(dst.GuardsIntact());
    EXPECT_TRUE(src.GuardsIntact());
    EXPECT_TRUE(mask.GuardsIntact());
  }
  Destroy();
  EXPECT_EQ(host.allocator().LiveBlocks(), baselineBlocks);
}

// --- Colour plus alpha.

TEST_F(RotateRenderTest, AlphaOutputPairsEveryColourWithItsMaskByte) {
  PaletteTable palette = PaletteTable::Random(rng);
  struct AlphaCase {
    ImageKind src, dst;
  };
  const AlphaCase cases[] = {{ImageKind::kRgb32, ImageKind::kRgb32},
                             {ImageKind::kRgb24, ImageKind::kExpanded16},
                             {ImageKind::kIndexed8, ImageKind::kExpanded8},
                             {ImageKind::kRgb555, ImageKind::kExpanded16}};
  for (const AlphaCase& c : cases) {
    for (std::int32_t degrees : {0, 90, 30}) {
      SCOPED_TRACE(std::string(glissade::KindName(c.src)) + " " + std::to_string(degrees));
      Nearest();
      Turn(degrees);
      Image src(c.src, 0, 0, kN, kN), mask(ImageKind::kIndexed8, 0, 0, kN, kN);
      Image dst(c.dst, 0, 0, kN, kN, 4), alpha(ImageKind::kIndexed8, 0, 0, kN, kN);
      // Mask byte 1 + x + 8y, and a source colour that names its pixel.
      for (std::int32_t y = 0; y < kN; ++y)
        for (std::int32_t x = 0; x < kN; ++x) {
          *mask.Pixel(x, y) = static_cast<std::uint8_t>(1 + x + kN * y);
          std::uint8_t* s = src.Pixel(x, y);
          if (c.src == ImageKind::kIndexed8) {
            s[0] = static_cast<std::uint8_t>(x + kN * y);
          } else if (c.src == ImageKind::kRgb555) {
            const int v = (x & 31) | ((y & 31) << 5) | (7 << 10);
            s[0] = static_cast<std::uint8_t>(v);
            s[1] = static_cast<std::uint8_t>(v >> 8);
          } else {
            s[0] = static_cast<std::uint8_t>(x);
            s[1] = static_cast<std::uint8_t>(y);
            s[2] = 7;
          }
        }
      dst.Fill(0xEE);
      alpha.Fill(0xEE);
      ASSERT_EQ(RenderWithAlpha(dst, alpha, src, mask, palette.Record()), kOk);
      int drawn = 0;
      for (std::int32_t y = 0; y < kN; ++y)
        for (std::int32_t x = 0; x < kN; ++x) {
          const std::int32_t a = *alpha.Pixel(x, y);
          ASSERT_NE(a, 0xEE) << "alpha written everywhere";
          const std::uint8_t* d = dst.Pixel(x, y);
          if (a == 0) {
            EXPECT_EQ(d[0], 0xEE);
            continue;
          }
          ++drawn;
          const std::int32_t sx = (a - 1) % kN, sy = (a - 1) / kN;
          if (c.src == ImageKind::kIndexed8) {
            const glissade::Colour col = palette.ColourOf(static_cast<std::uint8_t>(a - 1));
            EXPECT_EQ(d[0], col.b);
            EXPECT_EQ(d[1], col.g);
            EXPECT_EQ(d[2], col.r);
          } else {
            EXPECT_EQ(d[0], sx);
            EXPECT_EQ(d[1], sy);
            EXPECT_EQ(d[2], 7);
          }
          EXPECT_EQ(d[3], 0xEE);
        }
      EXPECT_GE(drawn, degrees == 30 ? 30 : 49);
      // The bounds go out twice, in destination coordinates.
      EXPECT_EQ(outRect.right, outRect2.right);
      EXPECT_EQ(outRect2.height, outRect2.bottom - outRect2.top);
      EXPECT_TRUE(dst.GuardsIntact());
      EXPECT_TRUE(alpha.GuardsIntact());
    }
  }
}

TEST_F(RotateRenderTest, AlphaOutputWithoutALoopForThePairDrawsNothing) {
  Image src(ImageKind::kIndexed8, 0, 0, kN, kN), mask(ImageKind::kIndexed8, 0, 0, kN, kN);
  Image dst(ImageKind::kExpanded16, 0, 0, kN, kN), alpha(ImageKind::kIndexed8, 0, 0, kN, kN);
  FillMask(mask, 255);
  dst.Fill(0xEE);
  alpha.Fill(0xEE);
  ASSERT_EQ(RenderWithAlpha(dst, alpha, src, mask), kOk);
  EXPECT_EQ(*alpha.Pixel(3, 3), 0xEE);
  EXPECT_EQ(dst.Pixel(3, 3)[0], 0xEE);
}

// --- The hit test answers for what was drawn.

// Random sprites (odd and even sides), turns, flips, stage placements,
// update rectangles and samplings, drawn as colour plus alpha (the alpha
// byte tells where anything was drawn) and through `Render`:
//  - every pixel drawn lies in the box both renders report;
//  - the box is at most a pixel past the floor and ceiling of the sprite's
//    corners turned exactly;
//  - with nearest sampling the hit test answers at every pixel the mask
//    byte that was drawn there.
TEST_F(RotateRenderTest, DrawingStaysInTheBoxAndTheHitTestAgrees) {
  const auto pick = [&](std::int32_t lo, std::int32_t hi) {
    return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng);
  };
  for (int round = 0; round < 300; ++round) {
    const std::int32_t w = pick(1, 23), h = pick(1, 23);
    const std::int32_t sw = pick(w, 44), sh = pick(h, 44);
    const std::int32_t left = pick(-50, 50), top = pick(-50, 50);
    const std::int32_t degrees = pick(0, 359);
    const bool flip = pick(0, 1) != 0, bilinear = pick(0, 1) != 0;
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " on " + std::to_string(sw) +
                 "x" + std::to_string(sh) + " at " + std::to_string(degrees) +
                 (flip ? " flipped" : "") + (bilinear ? " bilinear" : " nearest"));
    Turn(degrees);
    ASSERT_EQ(Set({{"flip", values().Integer(flip ? 1 : 0)},
                   {"interpolation", values().Integer(bilinear ? 1 : 0)}}),
              kOk);
    Image src(ImageKind::kRgb32, 0, 0, w, h), mask(ImageKind::kIndexed8, 0, 0, w, h);
    for (std::int32_t y = 0; y < h; ++y)
      for (std::int32_t x = 0; x < w; ++x) {
        std::uint8_t* p = src.Pixel(x, y);
        p[0] = static_cast<std::uint8_t>(x);
        p[1] = static_cast<std::uint8_t>(y);
        p[2] = 200;
        *mask.Pixel(x, y) = static_cast<std::uint8_t>(pick(1, 255));
      }
    Image colour(ImageKind::kRgb32, left, top, left + sw, top + sh);
    Image alpha(ImageKind::kIndexed8, 0, 0, sw, sh);
    colour.Fill(0);
    alpha.Fill(0);
    const std::int32_t ul = pick(left, left + sw - 1), ut = pick(top, top + sh - 1);
    AreaRect update = MakeUpdate(ul, ut, pick(ul + 1, left + sw), pick(ut + 1, top + sh));
    const AreaRect given = update;
    thresholds = glissade::MakeThresholdRecord(255, 0);
    thresholds.words[kThresholdOutRectWord] = reinterpret_cast<Word>(&outRect);
    thresholds.words[kThresholdOutRect2Word] = reinterpret_cast<Word>(&outRect2);
    ASSERT_EQ(fx->ops->RenderWithAlpha(fx.get(), colour.View(), alpha.View(), src.View(),
                                       mask.View(), &update, nullptr, nullptr, 255, 1, 0,
                                       &thresholds),
              kOk);
    const AreaRect box = outRect2;
    EXPECT_EQ(outRect.left, box.left);
    EXPECT_EQ(outRect.bottom, box.bottom);

    // The exactly turned corners about the placed sprite's centre.
    const double turn = (degrees * 256 / 360) * 6.283185307179586 / 256;
    const double cx = left + (sw >> 1) - (w >> 1) + w / 2.0;
    const double cy = top + (sh >> 1) - (h >> 1) + h / 2.0;
    const double ex = w / 2.0 * std::fabs(std::cos(turn)) + h / 2.0 * std::fabs(std::sin(turn));
    const double ey = w / 2.0 * std::fabs(std::sin(turn)) + h / 2.0 * std::fabs(std::cos(turn));
    EXPECT_GE(box.left, std::floor(cx - ex) - 1);
    EXPECT_LE(box.right, std::ceil(cx + ex) + 1);
    EXPECT_GE(box.top, std::floor(cy - ey) - 1);
    EXPECT_LE(box.bottom, std::ceil(cy + ey) + 1);

    AreaRect spriteRect = colour.view().bounds;
    SpriteDescription sprite{};
    sprite.words[kSpriteRectWord] = reinterpret_cast<Word>(&spriteRect);
    for (std::int32_t y = given.top; y < given.bottom; ++y)
      for (std::int32_t x = given.left; x < given.right; ++x) {
        const std::uint8_t a = *alpha.Pixel(x - left, y - top);
        if (a != 0) {
          EXPECT_TRUE(x >= box.left && x < box.right && y >= box.top && y < box.bottom)
              << x << "," << y;
        }
        if (!bilinear) {
          std::int32_t value = -1;
          ASSERT_EQ(fx->ops->GetAlphaAt(fx.get(), mask.View(), y, x, &value, &sprite), kOk);
          EXPECT_EQ(value, a) << x << "," << y;
          // And the colour is that of the sprite pixel holding that byte.
          if (a != 0) {
            const std::uint8_t* c = colour.Pixel(x, y);
            EXPECT_EQ(*mask.Pixel(c[0], c[1]), a) << x << "," << y;
          }
        }
      }

    // `Render` draws into the same box and reports its size.
    colour.Fill(0);
    update = given;
    Frame f;
    f.update = &update;
    ASSERT_EQ(Render(colour, src, mask, f), kOk);
    EXPECT_EQ(outRect.right - outRect.left, box.right - box.left);
    EXPECT_EQ(outRect.bottom - outRect.top, box.bottom - box.top);
    for (std::int32_t y = top; y < top + sh; ++y)
      for (std::int32_t x = left; x < left + sw; ++x)
        if (colour.Pixel(x, y)[2] != 0) {
          EXPECT_TRUE(x >= box.left && x < box.right && y >= box.top && y < box.bottom &&
                      x >= given.left && x < given.right && y >= given.top && y < given.bottom)
              << x << "," << y;
        }
    EXPECT_TRUE(colour.GuardsIntact());
    EXPECT_TRUE(alpha.GuardsIntact());
  }
}

TEST_F(RotateRenderTest, HitTestAtTheCentreAndFarAway) {
  Turn(77);
  // The centre pixel of an odd-sized sprite samples its own centre at
  // every angle.
  Image mask(ImageKind::kIndexed8, 0, 0, 11, 7);
  FillMask(mask, 0);
  *mask.Pixel(5, 3) = 99;
  AreaRect spriteRect = MakeUpdate(100, 200, 111, 207);
  SpriteDescription sprite{};
  sprite.words[kSpriteRectWord] = reinterpret_cast<Word>(&spriteRect);
  std::int32_t value = -1;
  ASSERT_EQ(fx->ops->GetAlphaAt(fx.get(), mask.View(), 203, 105, &value, &sprite), kOk);
  EXPECT_EQ(value, 99);
  FillMask(mask, 255);
  for (auto [y, x] : {std::pair{0, 0}, std::pair{203, 130}, std::pair{-2000000000, 2000000000}}) {
    ASSERT_EQ(fx->ops->GetAlphaAt(fx.get(), mask.View(), y, x, &value, &sprite), kOk);
    EXPECT_EQ(value, 0);
  }
  mask.DropMemory();
  ASSERT_EQ(fx->ops->GetAlphaAt(fx.get(), mask.View(), 203, 105, &value, &sprite), kOk);
  EXPECT_EQ(value, 0);
}

}  // namespace
}  // namespace vx::host
