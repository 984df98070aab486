#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/compositing.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "host/glissade/palette.h"
#include "host/glissade/reference.h"

namespace vx {
namespace {

using glissade::Image;
using glissade::ImageKind;
using glissade::ReferenceColour;

// Every colour a test source hands out, in every format's units, from a hash
// of the position.
ReferenceColour ColourAt(std::uint32_t seed, std::int32_t x, std::int32_t y) {
  std::uint32_t h = seed ^ (static_cast<std::uint32_t>(x) * 0x9E3779B1u) ^
                    (static_cast<std::uint32_t>(y) * 0x85EBCA77u);
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return ReferenceColour{static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(h >> 8),
                         static_cast<std::uint8_t>(h >> 16), static_cast<std::uint8_t>(h >> 24),
                         static_cast<std::uint16_t>(h ^ (h >> 13))};
}

template <class Fmt>
typename Fmt::Colour InFormat(const ReferenceColour& c) {
  if constexpr (std::is_same_v<Fmt, Rgb555>)
    return c.pixel;
  else
    return Bgrx{c.b, c.g, c.r, c.index};
}

// A colour per pixel.
template <class Fmt>
struct PixelSource {
  explicit PixelSource(std::uint32_t seed) : seed(seed) {}
  void BeginRow(std::int32_t y) { row = y; }
  typename Fmt::Colour At(std::int32_t x) { return InFormat<Fmt>(ColourAt(seed, x, row)); }
  std::uint32_t seed;
  std::int32_t row = 0;
};

// Flat colour across stretches of `width` pixels, as tiles are; tells the
// loops so through SameColourFrom.
template <class Fmt>
struct StretchSource {
  StretchSource(std::uint32_t seed, std::int32_t width) : seed(seed), width(width) {}
  void BeginRow(std::int32_t y) { row = y; }
  typename Fmt::Colour At(std::int32_t x) {
    return InFormat<Fmt>(ColourAt(seed, x / width, row));
  }
  std::int32_t SameColourFrom(std::int32_t x) { return width - x % width; }
  std::uint32_t seed;
  std::int32_t width;
  std::int32_t row = 0;
};

ReferenceColour StretchColour(std::uint32_t seed, std::int32_t width, std::int32_t x,
                              std::int32_t y) {
  return ColourAt(seed, x / width, y);
}

PixelFormat FormatOf(const Image& image) { return DestinationFormat(image.view()); }

CompositePath PathOf(glissade::ReferencePath p) {
  switch (p) {
    case glissade::ReferencePath::kRun: return CompositePath::kRun;
    case glissade::ReferencePath::kHardMask: return CompositePath::kHardMask;
    default: return CompositePath::kThreshold;
  }
}

// One composite through the module's loops and the reference, on copies of
// the same destination.
struct Scene {
  std::unique_ptr<Image> destination, expected, mask;
  glissade::PaletteTable* palette = nullptr;
  std::vector<std::uint16_t> runs;
  AreaRect update{};
  AreaRect maskRect{};
  std::int32_t clipResult = 0;
  glissade::ReferencePath path = glissade::ReferencePath::kThreshold;
  std::int32_t blend = 255, upper = 255, lower = 0;

  // Clips as a render does; false when nothing is left to draw.
  bool Clip() {
    maskRect = mask->view().bounds;
    clipResult = ClipToSprite(mask->View(), destination->View(), &update, &maskRect);
    if (path == glissade::ReferencePath::kRun && clipResult != 1) return false;
    return clipResult != 0;
  }

  AreaRect MaskArea() const {
    AreaRect r = update;
    Subtract(&r, maskRect.left, maskRect.top);
    return r;
  }

  // Runs `SourceT` through CompositeInFormat; the reference gets `colour`.
  template <template <class> class SourceT, class Colour, class... Args>
  bool Run(const Colour& colour, Args... args) {
    CompositeJob job;
    const AreaRect maskArea = MaskArea();
    if (!OpenWalk(destination->View(), update, &job.destination)) return false;
    if (!OpenWalk(mask->View(), maskArea, &job.mask)) return false;
    job.path = PathOf(path);
    job.blend = blend;
    const ThresholdRecord record = glissade::MakeThresholdRecord(upper, lower);
    job.thresholds = ReadThresholds(&record);
    job.runs = runs.empty() ? nullptr : runs.data();
    if (palette) ReadPalette(palette->Record(), &job.palette);
    const bool drawn = CompositeInFormat<SourceT>(FormatOf(*destination), job, args...);

    glissade::ReferenceJob ref;
    ref.destination = expected.get();
    ref.update = update;
    ref.mask = mask.get();
    ref.maskLeft = maskArea.left;
    ref.maskTop = maskArea.top;
    ref.path = path;
    ref.blend = blend;
    ref.upper = upper;
    ref.lower = lower;
    ref.runs = job.runs;
    ref.palette = palette;
    ref.colour = colour;
    glissade::ReferenceComposite(ref);
    return drawn;
  }
};

// ---------------------------------------------------------------------------
// Hand-checked cases of the rule on one pixel.

class OnePixel : public ::testing::Test {
 protected:
  // A 1 x 1 composite of `colour` over `before` with mask byte `m`.
  std::vector<std::uint8_t> Composite24(std::uint8_t before, std::uint8_t colour, std::uint8_t m,
                                        std::int32_t blend, std::int32_t upper = 255,
                                        std::int32_t lower = 0) {
    Image dst(ImageKind::kRgb24, 0, 0, 1, 1);
    Image mask(ImageKind::kIndexed8, 0, 0, 1, 1);
    dst.Fill(before);
    *mask.Pixel(0, 0) = m;
    CompositeJob job;
    EXPECT_TRUE(OpenWalk(dst.View(), MakeRect(0, 0, 1, 1), &job.destination));
    EXPECT_TRUE(OpenWalk(mask.View(), MakeRect(0, 0, 1, 1), &job.mask));
    job.blend = blend;
    job.thresholds = MaskThresholds{upper, lower};
    struct Flat {
      void BeginRow(std::int32_t) {}
      Bgrx At(std::int32_t) { return c; }
      Bgrx c;
    } source{Bgrx{colour, colour, colour, 0}};
    EXPECT_TRUE(Composite<Bgr3>(job, source));
    EXPECT_TRUE(dst.GuardsIntact());
    return {dst.Pixel(0, 0), dst.Pixel(0, 0) + 3};
  }
};

TEST_F(OnePixel, HalfBlendMovesHalfWayRoundedDown) {
  // Weight (255 x 128) >> 8 = 127.
  EXPECT_EQ(Composite24(0, 200, 255, 128)[0], 99);
  // -200 x 127 >> 8 is -100 with an arithmetic shift (division gives -99).
  EXPECT_EQ(Composite24(200, 0, 255, 128)[0], 100);
}

TEST_F(OnePixel, ThresholdsDecideLeftOutrightOrBlended) {
  EXPECT_EQ(Composite24(10, 250, 40, 255, 200, 40)[0], 10);    // at the lower: left
  EXPECT_EQ(Composite24(10, 250, 41, 255, 200, 40)[0], 48);    // 10 + 240 x 41 >> 8
  EXPECT_EQ(Composite24(10, 250, 200, 255, 200, 40)[0], 250);  // at the upper: outright
  EXPECT_EQ(Composite24(10, 250, 199, 255, 200, 40)[0], 196);  // 10 + 240 x 199 >> 8
  // Below 255 even a fully opaque pixel is blended: weight 255 x 254 >> 8.
  EXPECT_EQ(Composite24(0, 255, 255, 254)[0], 252);
}

TEST_F(OnePixel, BlendLevelsBeyondTheRangeActAsTheirEnds) {
  EXPECT_EQ(Composite24(10, 250, 255, 1000)[0], 250);
  EXPECT_EQ(Composite24(10, 250, 255, -5)[0], 10);
}

TEST(Formats, OutrightAndBlendedStoresPerFormat) {
  Palette none;
  std::uint16_t pixel = 0x7FFF;  // white
  Rgb555::Store(none, reinterpret_cast<std::uint8_t*>(&pixel), 0x8000 | (1 << 10));
  EXPECT_EQ(pixel, 0x8000 | (1 << 10));  // outright keeps the pixel as given
  pixel = 0x7FFF;
  Rgb555::Blend(none, reinterpret_cast<std::uint8_t*>(&pixel), 0x8000, 128);
  // 31 + (-31 x 128 >> 8) = 15 in every field; bit 15 clear.
  EXPECT_EQ(pixel, (15 << 10) | (15 << 5) | 15);

  std::uint8_t wide[4] = {1, 2, 3, 4};
  Bgr4::Store(none, wide, Bgrx{9, 8, 7, 6});
  EXPECT_EQ(wide[3], 4);
  EXPECT_EQ(wide[0], 9);
  EXPECT_EQ(wide[2], 7);
}

TEST(Formats, IndexedBlendsThroughThePalette) {
  std::vector<glissade::Colour> colours(256, glissade::Colour{0, 0, 0});
  colours[1] = {200, 100, 0};
  colours[2] = {100, 50, 0};
  glissade::PaletteTable table(colours);
  Palette p;
  ASSERT_TRUE(ReadPalette(table.Record(), &p));
  std::uint8_t index = 1;
  // Blending half-way to black gives 100, 50, 0: the inverse table's pick.
  Indexed8::Blend(p, &index, Bgrx{0, 0, 0, 0}, 128);
  EXPECT_EQ(index, table.InverseOf(100, 50, 0));
  EXPECT_EQ(index, 2);
  Indexed8::Store(p, &index, Bgrx{0, 0, 0, 7});
  EXPECT_EQ(index, 7);
}

TEST(Paths, PathFollowsTheClipResultRunsAndHardMask) {
  const std::uint16_t runs[3] = {};
  EXPECT_EQ(ChoosePath(1, runs, 0), CompositePath::kRun);
  EXPECT_EQ(ChoosePath(2, runs, 0), CompositePath::kThreshold);
  EXPECT_EQ(ChoosePath(1, nullptr, 0), CompositePath::kThreshold);
  EXPECT_EQ(ChoosePath(1, runs, 1), CompositePath::kHardMask);
}

TEST(Paths, RunRowsEndAtTheirZeroTripleAndStopAtTheWidth) {
  Image dst(ImageKind::kRgb32, 0, 0, 4, 2);
  Image mask(ImageKind::kIndexed8, 0, 0, 4, 2);
  mask.Fill(255);
  dst.Fill(0);
  // Row 0 ends at once; row 1 claims 1 + 9 opaque pixels in a 4-pixel row.
  const std::uint16_t runs[] = {0, 0, 0, 1, 0, 9, 0, 0, 0};
  CompositeJob job;
  ASSERT_TRUE(OpenWalk(dst.View(), MakeRect(0, 0, 4, 2), &job.destination));
  ASSERT_TRUE(OpenWalk(mask.View(), MakeRect(0, 0, 4, 2), &job.mask));
  job.path = CompositePath::kRun;
  job.runs = runs;
  PixelSource<Bgr4> source(7);
  ASSERT_TRUE(Composite<Bgr4>(job, source));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.Pixel(x, 0)[0], 0) << x;
  EXPECT_EQ(dst.Pixel(0, 1)[1], 0);
  for (int x = 1; x < 4; ++x) EXPECT_EQ(dst.Pixel(x, 1)[1], ColourAt(7, x, 1).g) << x;
  EXPECT_TRUE(dst.GuardsIntact());
}

TEST(Paths, JobsThatDoNotFitDrawNothing) {
  Image dst(ImageKind::kRgb555, 0, 0, 4, 4);
  Image mask(ImageKind::kIndexed8, 0, 0, 4, 4);
  mask.Fill(255);
  const std::vector<std::uint8_t> before = dst.Memory();
  CompositeJob job;
  ASSERT_TRUE(OpenWalk(dst.View(), MakeRect(0, 0, 4, 4), &job.destination));
  ASSERT_TRUE(OpenWalk(mask.View(), MakeRect(0, 0, 3, 4), &job.mask));
  PixelSource<Rgb555> source(1);
  EXPECT_FALSE(Composite<Rgb555>(job, source));  // widths differ
  ASSERT_TRUE(OpenWalk(mask.View(), MakeRect(0, 0, 4, 4), &job.mask));
  job.path = CompositePath::kHardMask;
  EXPECT_FALSE(Composite<Rgb555>(job, source));  // hard-mask needs an expanded destination
  job.path = CompositePath::kRun;
  EXPECT_FALSE(Composite<Rgb555>(job, source));  // no runs
  job.path = CompositePath::kThreshold;
  PixelSource<Bgr4> wrong(1);
  EXPECT_FALSE(Composite<Bgr4>(job, wrong));  // 2-byte pixels are no Bgr4
  PixelSource<Indexed8> indexed(1);
  Image dst8(ImageKind::kIndexed8, 0, 0, 4, 4);
  ASSERT_TRUE(OpenWalk(dst8.View(), MakeRect(0, 0, 4, 4), &job.destination));
  EXPECT_FALSE(Composite<Indexed8>(job, indexed));  // no colour table
  EXPECT_EQ(dst.Memory(), before);
}

TEST(Formats, DestinationFormatFromDepthAndPixelSize) {
  struct Case {
    ImageKind kind;
    std::int32_t bytes;
    PixelFormat format;
  } cases[] = {
      {ImageKind::kIndexed8, 4, PixelFormat::kIndexed8},
      {ImageKind::kRgb555, 4, PixelFormat::kRgb555},
      {ImageKind::kRgb24, 4, PixelFormat::kBgr3},
      {ImageKind::kRgb32, 4, PixelFormat::kBgr4},
      {ImageKind::kExpanded8, 3, PixelFormat::kBgr3},
      {ImageKind::kExpanded16, 4, PixelFormat::kBgr4},
  };
  for (const Case& c : cases) {
    Image image(c.kind, 0, 0, 2, 2, c.bytes);
    EXPECT_EQ(FormatOf(image), c.format) << glissade::KindName(c.kind);
  }
  Image image(ImageKind::kRgb32, 0, 0, 2, 2);
  PixelView v = image.view();
  v.depth = 4;
  EXPECT_EQ(DestinationFormat(v), PixelFormat::kNone);
  v.depth = 8;
  v.bytesPerPixel = 2;
  EXPECT_EQ(DestinationFormat(v), PixelFormat::kNone);
  v.bytesPerPixel = 6;
  EXPECT_EQ(DestinationFormat(v), PixelFormat::kBgrWide);
}

// A sampling source: mask values from a row of its own, colour 200.
struct SampledRow {
  void BeginRow(std::int32_t) {}
  Sample<Bgrx> SampleAt(std::int32_t x) { return {masks[x], Bgrx{200, 200, 200, 0}}; }
  std::int32_t masks[4];
};

TEST(Sampled, SampledMaskValuesFollowTheThresholdRule) {
  Image dst(ImageKind::kRgb24, 0, 0, 4, 1);
  dst.Fill(100);
  CompositeJob job;
  ASSERT_TRUE(OpenWalk(dst.View(), MakeRect(0, 0, 4, 1), &job.destination));
  job.thresholds = MaskThresholds{250, 10};
  SampledRow source{{10, 11, 250, 128}};
  ASSERT_TRUE(CompositeSampled<Bgr3>(job, source));
  EXPECT_EQ(dst.Pixel(0, 0)[0], 100);  // at the lower threshold
  EXPECT_EQ(dst.Pixel(1, 0)[0], 104);  // 100 + 100 x 11 >> 8
  EXPECT_EQ(dst.Pixel(2, 0)[0], 200);  // at the upper threshold
  EXPECT_EQ(dst.Pixel(3, 0)[0], 150);  // 100 + 100 x 128 >> 8
  job.blend = 128;
  dst.Fill(100);
  ASSERT_TRUE(CompositeSampled<Bgr3>(job, source));
  EXPECT_EQ(dst.Pixel(2, 0)[0], 148);  // weight 250 x 128 >> 8 = 125
  EXPECT_TRUE(dst.GuardsIntact());
}

TEST(Sampled, ColourPlusAlphaWritesEveryAlphaAndColourAboveTheLower) {
  Image dst(ImageKind::kExpanded8, 0, 0, 4, 1, 4);
  Image alpha(ImageKind::kIndexed8, 0, 0, 4, 1);
  dst.Fill(100);
  alpha.Fill(7);
  CompositeJob job;
  ViewWalk alphaWalk;
  ASSERT_TRUE(OpenWalk(dst.View(), MakeRect(0, 0, 4, 1), &job.destination));
  ASSERT_TRUE(OpenWalk(alpha.View(), MakeRect(0, 0, 4, 1), &alphaWalk));
  job.thresholds = MaskThresholds{255, 10};
  job.blend = 3;  // not read: colour plus alpha never blends
  SampledRow source{{0, 10, 11, 255}};
  ASSERT_TRUE(CompositeWithAlpha<Bgr4>(job, alphaWalk, source));
  const std::uint8_t alphas[] = {0, 10, 11, 255};
  const std::uint8_t blues[] = {100, 100, 200, 200};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(*alpha.Pixel(x, 0), alphas[x]) << x;
    EXPECT_EQ(dst.Pixel(x, 0)[0], blues[x]) << x;
    EXPECT_EQ(dst.Pixel(x, 0)[3], 100) << x;  // the fourth byte stays
  }
  EXPECT_TRUE(dst.GuardsIntact());
  EXPECT_TRUE(alpha.GuardsIntact());
}

// ---------------------------------------------------------------------------
// Differential sweep: random scenes, every format and path, byte for byte
// against the reference.

struct SweepCase {
  ImageKind kind;
  std::int32_t bytes;
  glissade::ReferencePath path;
};

std::string CaseName(const ::testing::TestParamInfo<SweepCase>& info) {
  const char* paths[] = {"Threshold", "Run", "HardMask"};
  return std::string(glissade::KindName(info.param.kind)) + "_" +
         std::to_string(info.param.bytes) + "_" + paths[static_cast<int>(info.param.path)];
}

class Sweep : public ::testing::TestWithParam<SweepCase> {};

std::uint8_t MaskByte(std::mt19937& rng) {
  const int pick = static_cast<int>(rng() % 8);
  if (pick < 3) return 255;
  if (pick < 5) return 0;
  return static_cast<std::uint8_t>(rng());
}

std::int32_t Pick(std::mt19937& rng, std::int32_t lo, std::int32_t hi) {
  return lo + static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(hi - lo + 1));
}

// Every row variant this processor runs, each against the reference; the
// variant in use is restored afterwards.
class EveryRowVariant {
 public:
  EveryRowVariant() : before_(Rows().variant) {}
  ~EveryRowVariant() { UseRows(before_); }
  template <class Body>
  void Run(Body&& body) {
    int ran = 0;
    for (RowVariant v : {RowVariant::kPlain, RowVariant::kSse2, RowVariant::kAvx2}) {
      if (!UseRows(v)) continue;
      SCOPED_TRACE(RowVariantName(v));
      body();
      ++ran;
      if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GE(ran, 1);
  }

 private:
  RowVariant before_;
};

void SweepOnce(const SweepCase& c);

TEST_P(Sweep, MatchesTheReferenceByteForByte) {
  EveryRowVariant().Run([&] { SweepOnce(GetParam()); });
}

void SweepOnce(const SweepCase& c) {
  std::mt19937 rng(1234u + static_cast<unsigned>(c.kind) * 97u + static_cast<unsigned>(c.path));
  std::shared_ptr<glissade::PaletteTable> palette;
  if (c.kind == ImageKind::kIndexed8)
    palette = std::make_shared<glissade::PaletteTable>(glissade::PaletteTable::Random(rng, 3, 2));
  int drawnScenes = 0;
  const int kTrials = 400;
  for (int trial = 0; trial < kTrials; ++trial) {
    Scene s;
    s.path = c.path;
    const std::int32_t left = Pick(rng, -6, 6), top = Pick(rng, -6, 6);
    const std::int32_t w = Pick(rng, 1, 37), h = Pick(rng, 1, 9);
    s.destination = std::make_unique<Image>(c.kind, left, top, left + w, top + h, c.bytes);
    s.expected = std::make_unique<Image>(c.kind, left, top, left + w, top + h, c.bytes);
    s.destination->FillRandom(rng);
    s.expected->Assign(s.destination->Memory());

    const bool runPath = c.path == glissade::ReferencePath::kRun;
    const std::int32_t mw = runPath ? Pick(rng, 1, w) : Pick(rng, 1, w + 10);
    const std::int32_t mh = runPath ? Pick(rng, 1, h) : Pick(rng, 1, h + 4);
    // Masks of one byte per pixel mostly; sometimes a wider step.
    const ImageKind maskKind = rng() % 4 == 0 ? ImageKind::kRgb24 : ImageKind::kIndexed8;
    s.mask = std::make_unique<Image>(maskKind, 0, 0, mw, mh);
    s.mask->FillRandom(rng);
    for (std::int32_t y = 0; y < mh; ++y)
      for (std::int32_t x = 0; x < mw; ++x) *s.mask->Pixel(x, y) = MaskByte(rng);
    if (runPath) s.runs = glissade::MakeMaskRuns(*s.mask);

    s.update = runPath || rng() % 2 == 0
                   ? s.destination->view().bounds
                   : MakeRect(left + Pick(rng, -3, w), top + Pick(rng, -3, h),
                                  left + Pick(rng, 0, w + 3), top + Pick(rng, 0, h + 3));
    s.blend = rng() % 3 == 0 ? static_cast<std::int32_t>(rng() % 256) : 255;
    s.upper = rng() % 3 == 0 ? Pick(rng, -1, 257) : 255;
    s.lower = rng() % 3 == 0 ? Pick(rng, -2, 256) : 0;
    s.palette = palette.get();
    if (!s.Clip()) continue;

    const std::uint32_t seed = rng();
    bool drawn;
    if (trial % 2 == 0) {
      drawn = s.Run<PixelSource>(
          [seed](std::int32_t x, std::int32_t y) { return ColourAt(seed, x, y); }, seed);
    } else {
      const std::int32_t stretch = Pick(rng, 1, 9);
      drawn = s.Run<StretchSource>(
          [seed, stretch](std::int32_t x, std::int32_t y) {
            return StretchColour(seed, stretch, x, y);
          },
          seed, stretch);
    }
    ASSERT_TRUE(drawn) << "trial " << trial;
    ++drawnScenes;
    ASSERT_EQ(s.destination->Memory(), s.expected->Memory())
        << "trial " << trial << " blend " << s.blend << " upper " << s.upper << " lower "
        << s.lower;
    ASSERT_TRUE(s.destination->GuardsIntact()) << "trial " << trial;
    ASSERT_TRUE(s.mask->GuardsIntact()) << "trial " << trial;
  }
  EXPECT_GT(drawnScenes, kTrials / 2);
}

const SweepCase kThresholdAndRunCases[] = {
    {ImageKind::kIndexed8, 4, glissade::ReferencePath::kThreshold},
    {ImageKind::kIndexed8, 4, glissade::ReferencePath::kRun},
    {ImageKind::kRgb555, 4, glissade::ReferencePath::kThreshold},
    {ImageKind::kRgb555, 4, glissade::ReferencePath::kRun},
    {ImageKind::kRgb24, 4, glissade::ReferencePath::kThreshold},
    {ImageKind::kRgb24, 4, glissade::ReferencePath::kRun},
    {ImageKind::kRgb32, 4, glissade::ReferencePath::kThreshold},
    {ImageKind::kRgb32, 4, glissade::ReferencePath::kRun},
    {ImageKind::kExpanded8, 4, glissade::ReferencePath::kHardMask},
    {ImageKind::kExpanded8, 3, glissade::ReferencePath::kHardMask},
    {ImageKind::kExpanded16, 4, glissade::ReferencePath::kHardMask},
    {ImageKind::kExpanded16, 3, glissade::ReferencePath::kHardMask},
    {ImageKind::kRgb32, 4, glissade::ReferencePath::kHardMask},
    {ImageKind::kRgb24, 4, glissade::ReferencePath::kHardMask},
};
INSTANTIATE_TEST_SUITE_P(AllFormats, Sweep, ::testing::ValuesIn(kThresholdAndRunCases), CaseName);

// A sampled span handed over at once (PutSpan) writes what its samples put
// one at a time (Put) write: masks in runs of 0, 255 and anything,
// thresholds round the ends (a lower one of 0 or below or the largest a
// host can pass, an upper one at or below it or past 255), every blend
// level.
template <class Fmt, bool kFull, class C>
void SpanMatchesPixels(std::mt19937& rng, const Palette& palette) {
  for (int round = 0; round < 400; ++round) {
    const std::int32_t n = Pick(rng, 1, composite_detail::kBatch);
    std::vector<std::uint8_t> one(static_cast<std::size_t>(n) * Fmt::kStep), span;
    for (auto& b : one) b = static_cast<std::uint8_t>(rng());
    span = one;
    std::vector<C> colours(n);
    std::vector<std::uint8_t> masks(n);
    for (std::int32_t i = 0; i < n;) {
      const std::int32_t kind = Pick(rng, 0, 2), end = std::min(n, i + Pick(rng, 1, 9));
      for (; i < end; ++i) masks[i] = static_cast<std::uint8_t>(kind == 0 ? 0 : kind == 1 ? 255 : rng());
    }
    // Packed blue, green, red (a zero fourth byte); 5-5-5 words; colours
    // with any index to be stored as.
    for (auto& c : colours) {
      const std::uint32_t v = rng();
      if constexpr (std::is_same_v<C, Bgrx>)
        std::memcpy(&c, &v, 4);
      else
        c = static_cast<C>(v & (std::is_same_v<C, Rgb555::Colour> ? 0x7FFFu : 0xFFFFFFu));
    }
    SampledTarget t;
    t.palette = palette;
    t.blend = kFull ? 255 : Pick(rng, 0, 254);
    const std::int32_t lowerKind = Pick(rng, 0, 4), upperKind = Pick(rng, 0, 3);
    t.thresholds.lower = lowerKind == 0   ? -1
                         : lowerKind == 1 ? 0
                         : lowerKind == 4 ? std::numeric_limits<std::int32_t>::max()
                                          : Pick(rng, 0, 255);
    t.thresholds.upper = upperKind == 0   ? 255
                         : upperKind == 1 ? Pick(rng, 0, std::clamp(t.thresholds.lower, 0, 300))
                         : upperKind == 2 ? Pick(rng, 0, 255)
                                          : Pick(rng, 256, 300);
    const auto put = [&](std::vector<std::uint8_t>& pixels, auto&& write) {
      t.destination = {pixels.data(), Fmt::kStep, -static_cast<std::ptrdiff_t>(pixels.size()),
                       n, 1, pixels.data(), pixels.data() + pixels.size()};
      CompositeSink<Fmt, kFull> sink(t);
      sink.BeginRow(0);
      write(sink);
      sink.EndRow();
    };
    put(one, [&](auto& sink) {
      for (std::int32_t i = 0; i < n; ++i) sink.Put(i, Sample<C>{masks[i], colours[i]});
    });
    put(span, [&](auto& sink) { sink.PutSpan(0, colours.data(), masks.data(), n); });
    ASSERT_EQ(one, span) << "round " << round << " n " << n << " lower " << t.thresholds.lower
                         << " upper " << t.thresholds.upper << " blend " << t.blend;
  }
}

TEST(SampledSink, SpansWriteWhatTheirPixelsWrite) {
  std::mt19937 rng(20261208);
  glissade::PaletteTable table = glissade::PaletteTable::Random(rng, 3, 2);
  Palette palette;
  ASSERT_TRUE(ReadPalette(table.Record(), &palette));
  EveryRowVariant().Run([&] {
    SpanMatchesPixels<Bgr4, true, std::uint32_t>(rng, palette);
    SpanMatchesPixels<Bgr4, false, std::uint32_t>(rng, palette);
    SpanMatchesPixels<Bgr<3>, true, std::uint32_t>(rng, palette);
    SpanMatchesPixels<Rgb555, true, Rgb555::Colour>(rng, palette);
    SpanMatchesPixels<Rgb555, false, Rgb555::Colour>(rng, palette);
    SpanMatchesPixels<Indexed8ViaPalette, true, std::uint32_t>(rng, palette);
    SpanMatchesPixels<Indexed8ViaPalette, false, std::uint32_t>(rng, palette);
    SpanMatchesPixels<Indexed8, true, Bgrx>(rng, palette);
    SpanMatchesPixels<Indexed8, false, Bgrx>(rng, palette);
  });
}

}  // namespace
}  // namespace vx
