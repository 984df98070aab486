// The colour pass against a plain per-pixel reference: random stages,
// sprites, updates, thresholds, blend levels and mask runs, every loop of
// the pass, byte for byte; and the walk hooks seen by the colour function.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "effects/colour/colour_pass.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "host/glissade/palette.h"
#include "host/glissade/reference.h"

namespace vx {
namespace {

using glissade::Image;
using glissade::ImageKind;
using glissade::ReferenceColour;
using glissade::ReferencePath;

std::uint32_t Hash(std::uint32_t seed, std::int32_t x, std::int32_t y) {
  std::uint32_t h = seed ^ (static_cast<std::uint32_t>(x) * 0x9E3779B1u) ^
                    (static_cast<std::uint32_t>(y) * 0x85EBCA77u);
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 13;
  return h;
}

// Test colour functions: the result depends on the input colour and on the
// position, which a walking function knows only from its hooks.
Bgrx MixEight(std::uint32_t seed, Bgrx c, std::int32_t x, std::int32_t y) {
  const std::uint32_t h = Hash(seed, x, y);
  return Bgrx{static_cast<std::uint8_t>(c.b ^ h), static_cast<std::uint8_t>(c.g + (h >> 8)),
              static_cast<std::uint8_t>(c.r * 3 + (h >> 16)), 0};
}
Bgrx MixFive(std::uint32_t seed, Bgrx c, std::int32_t x, std::int32_t y) {
  const Bgrx e = MixEight(seed, c, x, y);
  return Bgrx{static_cast<std::uint8_t>(e.b & 31), static_cast<std::uint8_t>(e.g & 31),
              static_cast<std::uint8_t>(e.r & 31), 0};
}

// How the test functions behave: a plain one with Eight only, a walker with
// every hook and Five, a walker with Step alone (Skip then falls back to
// steps) and Eight only, and the plain one colouring runs at once.
enum class Fn { kPlain, kWalkerFive, kStepOnly, kRuns };

struct Plain {
  std::uint32_t seed;
  std::int32_t calls = 0;
  Bgrx Eight(Bgrx c) {
    ++calls;
    return MixEight(seed, c, 0, 0);
  }
};

struct Runs : Plain {
  void EightRun(Bgrx* c, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) c[i] = MixEight(seed, c[i], 0, 0);
  }
};

template <bool kFive, bool kSkip>
struct Walker {
  std::uint32_t seed;
  std::int32_t width;
  std::int32_t calls = 0, x = 0, y = 0;
  bool rowsCovered = true;  // every row ended after exactly `width` pixels
  Bgrx Eight(Bgrx c) {
    ++calls;
    return MixEight(seed, c, x, y);
  }
  Bgrx Five(Bgrx c)
    requires kFive
  {
    ++calls;
    return MixFive(seed, c, x, y);
  }
  void Step() { ++x; }
  void Skip(std::int32_t k)
    requires kSkip
  {
    x += k;
  }
  void EndRow()
    requires kFive
  {
    rowsCovered = rowsCovered && x == width;
    x = 0;
    ++y;
  }
};

// One loop of the pass: the source and destination images it joins.
struct PassCase {
  const char* name;
  ImageKind source;
  std::int32_t sourceBytes;  // pixel size of expanded kinds
  ImageKind destination;
  std::int32_t destinationBytes;
  ReferencePath path;
};

const PassCase kCases[] = {
    {"HardExpanded32", ImageKind::kRgb32, 4, ImageKind::kExpanded8, 4, ReferencePath::kHardMask},
    {"HardExpanded16Bytes", ImageKind::kExpanded16, 3, ImageKind::kExpanded16, 4,
     ReferencePath::kHardMask},
    {"Hard555", ImageKind::kRgb555, 4, ImageKind::kExpanded16, 3, ReferencePath::kHardMask},
    {"HardIndex", ImageKind::kIndexed8, 4, ImageKind::kExpanded8, 4, ReferencePath::kHardMask},
    {"Threshold32", ImageKind::kRgb32, 4, ImageKind::kRgb32, 4, ReferencePath::kThreshold},
    {"Threshold24To32", ImageKind::kRgb24, 3, ImageKind::kRgb32, 4, ReferencePath::kThreshold},
    {"ThresholdExpanded16", ImageKind::kExpanded16, 4, ImageKind::kRgb555, 4,
     ReferencePath::kThreshold},
    {"Threshold555", ImageKind::kRgb555, 4, ImageKind::kRgb555, 4, ReferencePath::kThreshold},
    {"ThresholdExpanded8", ImageKind::kExpanded8, 3, ImageKind::kIndexed8, 4,
     ReferencePath::kThreshold},
    {"ThresholdIndex", ImageKind::kIndexed8, 4, ImageKind::kIndexed8, 4,
     ReferencePath::kThreshold},
    {"Run24", ImageKind::kRgb24, 3, ImageKind::kRgb24, 3, ReferencePath::kRun},
    {"Run32", ImageKind::kRgb32, 4, ImageKind::kRgb32, 4, ReferencePath::kRun},
    {"RunExpanded16", ImageKind::kExpanded16, 3, ImageKind::kRgb555, 4, ReferencePath::kRun},
    {"Run555", ImageKind::kRgb555, 4, ImageKind::kRgb555, 4, ReferencePath::kRun},
    {"RunExpanded8", ImageKind::kExpanded8, 4, ImageKind::kIndexed8, 4, ReferencePath::kRun},
    {"RunIndex", ImageKind::kIndexed8, 4, ImageKind::kIndexed8, 4, ReferencePath::kRun},
};

std::int32_t Pick(std::mt19937& rng, std::int32_t lo, std::int32_t hi) {
  return lo + static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(hi - lo + 1));
}

std::uint8_t MaskByte(std::mt19937& rng) {
  const int pick = static_cast<int>(rng() % 8);
  if (pick < 3) return 255;
  if (pick < 5) return 0;
  return static_cast<std::uint8_t>(rng());
}

// The source colour of a pixel as the pass's rules read it: its units
// (true: 5-bit) and blue, green, red.
struct SourceColour {
  bool five;
  Bgrx c;
};

SourceColour ReadSource(const Image& source, std::int32_t x, std::int32_t y, ReferencePath path,
                        const glissade::PaletteTable& palette) {
  const std::uint8_t* p = source.Pixel(x, y);
  const bool hard = path == ReferencePath::kHardMask;
  switch (source.Kind()) {
    case ImageKind::kIndexed8: {
      const glissade::Colour c = palette.ColourOf(p[0]);
      return {false, Bgrx{c.b, c.g, c.r, 0}};
    }
    case ImageKind::kRgb555: {
      const int v = p[0] | (p[1] << 8);
      return {true, Bgrx{static_cast<std::uint8_t>(v & 31),
                         static_cast<std::uint8_t>((v >> 5) & 31),
                         static_cast<std::uint8_t>((v >> 10) & 31), 0}};
    }
    case ImageKind::kExpanded16:
      // Taken as 8-bit values on the hard-mask path.
      if (hard) return {false, Bgrx{p[0], p[1], p[2], 0}};
      return {true, Bgrx{static_cast<std::uint8_t>(p[0] & 31), static_cast<std::uint8_t>(p[1] & 31),
                         static_cast<std::uint8_t>(p[2] & 31), 0}};
    default:
      return {false, Bgrx{p[0], p[1], p[2], 0}};
  }
}

// The function's result for one pixel, in the source's units.
// A step-only walker never hears of row ends: its x runs on through the rows.
Bgrx Expected(Fn fn, std::uint32_t seed, SourceColour s, std::int32_t x, std::int32_t y,
              std::int32_t width) {
  if (fn == Fn::kPlain || fn == Fn::kRuns) x = y = 0;
  if (fn == Fn::kStepOnly) {
    x += y * width;
    y = 0;
  }
  if (!s.five) return MixEight(seed, s.c, x, y);
  if (fn == Fn::kWalkerFive) return MixFive(seed, s.c, x, y);
  const Bgrx wide{static_cast<std::uint8_t>(s.c.b * 8), static_cast<std::uint8_t>(s.c.g * 8),
                  static_cast<std::uint8_t>(s.c.r * 8), 0};
  const Bgrx e = MixEight(seed, wide, x, y);
  return Bgrx{static_cast<std::uint8_t>(e.b >> 3), static_cast<std::uint8_t>(e.g >> 3),
              static_cast<std::uint8_t>(e.r >> 3), 0};
}

// Pixels the rules draw (threshold and hard mask: above the lower
// threshold; runs: partial and opaque pixels).
std::int32_t DrawnCount(const Image& mask, std::int32_t maskLeft, std::int32_t maskTop,
                        std::int32_t w, std::int32_t h, ReferencePath path, std::int32_t lower,
                        const std::vector<std::uint16_t>& runs) {
  std::int32_t n = 0;
  if (path != ReferencePath::kRun) {
    for (std::int32_t y = 0; y < h; ++y)
      for (std::int32_t x = 0; x < w; ++x) n += *mask.Pixel(maskLeft + x, maskTop + y) > lower;
    return n;
  }
  const std::uint16_t* r = runs.data();
  for (std::int32_t y = 0; y < h; ++y, r += 3) {
    std::int64_t x = 0;
    for (; r[0] || r[1] || r[2]; r += 3) {
      x += r[0];
      const std::int64_t end = std::min<std::int64_t>(w, x + r[1] + r[2]);
      n += static_cast<std::int32_t>(std::max<std::int64_t>(0, end - std::min<std::int64_t>(w, x)));
      x += r[1] + r[2];
    }
  }
  return n;
}

class ColourPassSweep : public ::testing::TestWithParam<PassCase> {};

TEST_P(ColourPassSweep, MatchesThePlainReferenceByteForByte) {
  const PassCase c = GetParam();
  std::mt19937 rng(std::hash<std::string>{}(c.name) & 0xFFFFFFu);
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng, 2, 3);
  const bool runPath = c.path == ReferencePath::kRun;
  int drawnScenes = 0;
  const int kTrials = 240;
  for (int trial = 0; trial < kTrials; ++trial) {
    SCOPED_TRACE(::testing::Message() << "trial " << trial);
    // Stage, sprite (mask) and a source as large or larger, at random places.
    const std::int32_t dl = Pick(rng, -5, 5), dt = Pick(rng, -5, 5);
    const std::int32_t dw = Pick(rng, 1, 40), dh = Pick(rng, 1, 9);
    Image dst(c.destination, dl, dt, dl + dw, dt + dh, c.destinationBytes);
    dst.FillRandom(rng);
    Image expected(c.destination, dl, dt, dl + dw, dt + dh, c.destinationBytes);
    expected.Assign(dst.Memory());
    const std::int32_t mw = runPath ? Pick(rng, 1, dw) : Pick(rng, 1, dw + 8);
    const std::int32_t mh = runPath ? Pick(rng, 1, dh) : Pick(rng, 1, dh + 3);
    // Masks start at the origin, as Glissade's do; off it they are moved by
    // the same amount and land off centre.
    const bool offOrigin = !runPath && rng() % 4 == 0;
    const std::int32_t ml = offOrigin ? Pick(rng, -3, 3) : 0, mt = offOrigin ? Pick(rng, -3, 3) : 0;
    Image mask(rng() % 4 == 0 ? ImageKind::kRgb24 : ImageKind::kIndexed8, ml, mt, ml + mw,
               mt + mh);
    mask.FillRandom(rng);
    for (std::int32_t y = mt; y < mt + mh; ++y)
      for (std::int32_t x = ml; x < ml + mw; ++x) *mask.Pixel(x, y) = MaskByte(rng);
    const std::int32_t sw = mw + Pick(rng, 0, 3) * 2, sh = mh + Pick(rng, 0, 2) * 2;
    const std::int32_t sl = Pick(rng, -4, 4), st = Pick(rng, -4, 4);
    Image src(c.source, sl, st, sl + sw, st + sh, c.sourceBytes);
    src.FillRandom(rng);
    std::vector<std::uint16_t> runs;
    if (runPath) runs = glissade::MakeMaskRuns(mask);

    AreaRect update = runPath || rng() % 2 == 0
                          ? dst.view().bounds
                          : MakeRect(dl + Pick(rng, -3, dw), dt + Pick(rng, -3, dh),
                                     dl + Pick(rng, 0, dw + 3), dt + Pick(rng, 0, dh + 3));
    const std::int32_t blend = rng() % 3 == 0 ? static_cast<std::int32_t>(rng() % 256) : 255;
    const std::int32_t upper = rng() % 3 == 0 ? Pick(rng, 0, 256) : 255;
    const std::int32_t lower = rng() % 3 == 0 ? Pick(rng, -1, 255) : 0;
    ThresholdRecord thresholds = glissade::MakeThresholdRecord(upper, lower);

    // Where the rules place things: the mask centred on the stage, the
    // source centred on the mask.
    AreaRect maskRect = mask.view().bounds;
    AreaRect clipped = update;
    const std::int32_t clip = ClipToSprite(mask.View(), dst.View(), &clipped, &maskRect);
    if (clip == 0 || (runPath && clip != 1)) continue;
    const std::int32_t srcLeft = maskRect.left + (maskRect.width >> 1) - (sw >> 1);
    const std::int32_t srcTop = maskRect.top + (maskRect.height >> 1) - (sh >> 1);
    const std::int32_t w = clipped.width, h = clipped.height;
    const std::int32_t maskLeft = clipped.left - maskRect.left + ml;
    const std::int32_t maskTop = clipped.top - maskRect.top + mt;
    const std::int32_t srcX = clipped.left - srcLeft + sl, srcY = clipped.top - srcTop + st;

    const Fn fn = static_cast<Fn>(trial % 4);
    const std::uint32_t seed = rng();
    glissade::ReferenceJob ref;
    ref.destination = &expected;
    ref.update = clipped;
    ref.mask = &mask;
    ref.maskLeft = maskLeft;
    ref.maskTop = maskTop;
    ref.path = c.path;
    ref.blend = blend;
    ref.upper = upper;
    ref.lower = lower;
    ref.runs = runPath ? runs.data() : nullptr;
    ref.palette = &palette;
    ref.colour = [&](std::int32_t x, std::int32_t y) {
      const SourceColour s = ReadSource(src, srcX + x, srcY + y, c.path, palette);
      const Bgrx out = Expected(fn, seed, s, x, y, w);
      ReferenceColour rc{out.b, out.g, out.r, palette.InverseOf(out.r, out.g, out.b),
                         static_cast<std::uint16_t>((out.r << 10) | (out.g << 5) | out.b)};
      return rc;
    };
    glissade::ReferenceComposite(ref);

    const ColourPassCall call{dst.View(),
                              src.View(),
                              &update,
                              mask.View(),
                              runPath ? runs.data() : nullptr,
                              palette.Record(),
                              blend,
                              c.path == ReferencePath::kHardMask ? 1 : 0,
                              &thresholds};
    const std::int32_t drawn = DrawnCount(mask, maskLeft, maskTop, w, h, c.path, lower, runs);
    bool ran = false;
    std::int32_t calls = 0;
    switch (fn) {
      case Fn::kPlain: {
        // Every other time in two bands of rows, which must draw the same.
        Plain f{seed};
        if (rng() % 2 == 0) {
          ran = RunColourPass(call, f);
        } else {
          ColourPassPlan plan;
          ran = PlanColourPass(call, &plan) == ColourPassReady::kReady;
          const std::int32_t split = Pick(rng, 0, h);
          ran = ran && RunColourPlan(PlanRows(plan, 0, split), f);
          ran = ran && RunColourPlan(PlanRows(plan, split, h), f);
        }
        calls = f.calls;
        break;
      }
      case Fn::kWalkerFive: {
        Walker<true, true> f{seed, w};
        ran = RunColourPass(call, f);
        calls = f.calls;
        EXPECT_TRUE(f.rowsCovered);
        EXPECT_EQ(f.y, h) << "row ends";
        break;
      }
      case Fn::kRuns: {
        Runs f{{seed}};
        ran = RunColourPass(call, f);
        calls = drawn;  // runs may colour pixels that are not drawn
        break;
      }
      case Fn::kStepOnly: {
        Walker<false, false> f{seed, w};
        ran = RunColourPass(call, f);
        calls = f.calls;
        break;
      }
    }
    ASSERT_TRUE(ran);
    ++drawnScenes;
    EXPECT_EQ(calls, drawn) << "one call per drawn pixel";
    EXPECT_TRUE(update.left == clipped.left && update.top == clipped.top &&
                update.right == clipped.right && update.bottom == clipped.bottom);
    ASSERT_EQ(dst.Memory(), expected.Memory())
        << "fn " << static_cast<int>(fn) << " blend " << blend << " upper " << upper
        << " lower " << lower;
    ASSERT_TRUE(dst.GuardsIntact() && src.GuardsIntact() && mask.GuardsIntact());
  }
  EXPECT_GT(drawnScenes, kTrials / 3);
}

INSTANTIATE_TEST_SUITE_P(EveryLoop, ColourPassSweep, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PassCase>& info) {
                           return std::string(info.param.name);
                         });

// Sources and destinations that the table does not pair draw nothing.
TEST(ColourPass, UnpairedFormatsAndOddDepthsDrawNothing) {
  struct Odd {
    ImageKind source;
    std::int32_t sourceDepth;  // 0: the kind's own
    ImageKind destination;
    std::int32_t hardMask;
  };
  const Odd kOdd[] = {
      {ImageKind::kRgb32, 0, ImageKind::kRgb555, 0},      // 32-bit into 5-5-5
      {ImageKind::kRgb555, 0, ImageKind::kRgb32, 0},      // 5-5-5 into 32-bit
      {ImageKind::kIndexed8, 0, ImageKind::kRgb24, 0},    // index into 24-bit
      {ImageKind::kExpanded8, 0, ImageKind::kRgb555, 0},  // expanded 8 into 5-5-5
      {ImageKind::kRgb32, 12, ImageKind::kRgb32, 0},      // depth 12
      {ImageKind::kRgb555, 0, ImageKind::kRgb555, 1},     // hard mask into 5-5-5
  };
  std::mt19937 rng(5);
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng);
  for (const Odd& o : kOdd) {
    Image dst(o.destination, 0, 0, 6, 4);
    Image src(o.source, 0, 0, 6, 4);
    Image mask(ImageKind::kIndexed8, 0, 0, 6, 4);
    dst.FillRandom(rng);
    src.FillRandom(rng);
    mask.Fill(255);
    if (o.sourceDepth) src.View()->depth = o.sourceDepth;
    const auto before = dst.Memory();
    AreaRect update = MakeRect(0, 0, 6, 4);
    ThresholdRecord thresholds = glissade::MakeThresholdRecord(255, 0);
    Plain fn{1};
    EXPECT_FALSE(RunColourPass(ColourPassCall{dst.View(), src.View(), &update, mask.View(),
                                              nullptr, palette.Record(), 255, o.hardMask,
                                              &thresholds},
                               fn));
    EXPECT_EQ(fn.calls, 0);
    EXPECT_EQ(dst.Memory(), before);
  }
}

}  // namespace
}  // namespace vx
