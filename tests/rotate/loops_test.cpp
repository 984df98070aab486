// The rotate pixel loops on small hand-checked images: sampling, its bounds
// rules, the threshold rule, every format pair and the alpha output.
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "effects/geometric/rotate_loops.h"
#include "tests/rotate/test_support.h"

namespace vx {
namespace {

using testing_support::TestImage;

constexpr MappingVectors kIdentity{256, 0, 0, 256};

// Builds a job over whole images: destination, colour source and mask.
RotateLoopJob Job(TestImage& dst, TestImage& src, TestImage& mask, FixedPoint start,
                  MappingVectors steps = kIdentity) {
  RotateLoopJob job;
  ViewWalk w;
  EXPECT_TRUE(OpenWalk(&dst.view, dst.view.bounds, &job.destination));
  EXPECT_TRUE(OpenWalk(&src.view, src.view.bounds, &w));
  job.colour = WindowOf(w);
  EXPECT_TRUE(OpenWalk(&mask.view, mask.view.bounds, &w));
  job.mask = WindowOf(w);
  job.maskWidth = w.width;
  job.maskRows = w.height;
  job.steps = steps;
  job.start = start;
  job.thresholds.lower = 0;
  job.thresholds.upper = 255;
  job.blend = 255;
  return job;
}

void FillMask(TestImage& mask, std::uint8_t value) {
  for (int y = 0; y < mask.view.bounds.height; ++y)
    for (int x = 0; x < mask.view.bounds.width; ++x) *mask.At(x, y) = value;
}

void SetBgr(std::uint8_t* p, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  p[0] = b;
  p[1] = g;
  p[2] = r;
}

// --- Expanded to 24/32-bit.

TEST(RotateLoopTest, UnturnedNearestWalkCopiesTheSource) {
  TestImage src(3, 2, 24), mask(3, 2, 8), dst(3, 2, 32, 0, 0x77);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) SetBgr(src.At(x, y), 10 * x + y, 100 + x, 200 + y);
  FillMask(mask, 255);
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, Job(dst, src, mask, {0, 0})));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(dst.At(x, y)[0], 10 * x + y);
      EXPECT_EQ(dst.At(x, y)[1], 100 + x);
      EXPECT_EQ(dst.At(x, y)[2], 200 + y);
      EXPECT_EQ(dst.At(x, y)[3], 0x77) << "the fourth byte is never written";
    }
  EXPECT_TRUE(dst.GuardsIntact());
}

TEST(RotateLoopTest, ThresholdRule) {
  // Lower threshold 10, upper 200; source 200 over destination 100.
  TestImage src(4, 1, 24, 0, 200), mask(4, 1, 8), dst(4, 1, 24, 0, 100);
  const std::uint8_t m[4] = {10, 11, 199, 200};
  for (int x = 0; x < 4; ++x) *mask.At(x, 0) = m[x];
  // Bilinear taps need a row below; this walk is nearest only.
  RotateLoopJob job = Job(dst, src, mask, {0, 0});
  job.thresholds.lower = 10;
  job.thresholds.upper = 200;
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, job));
  EXPECT_EQ(dst.At(0, 0)[0], 100);                    // at the lower threshold: untouched
  EXPECT_EQ(dst.At(1, 0)[0], 100 + (100 * 11 >> 8));  // 104
  EXPECT_EQ(dst.At(2, 0)[0], 100 + (100 * 199 >> 8));  // 177
  EXPECT_EQ(dst.At(3, 0)[0], 200);                    // at the upper threshold: stored
}

TEST(RotateLoopTest, BlendLevelBelowFullScalesTheMask) {
  // Level 254 and an opaque mask: k = 255 * 254 >> 8 = 253, never a plain store.
  TestImage src(2, 1, 24), mask(2, 1, 8), dst(2, 1, 24);
  SetBgr(src.At(0, 0), 200, 0, 0);
  SetBgr(dst.At(0, 0), 0, 0, 0);
  SetBgr(src.At(1, 0), 0, 0, 0);
  SetBgr(dst.At(1, 0), 200, 0, 0);
  FillMask(mask, 255);
  RotateLoopJob job = Job(dst, src, mask, {0, 0});
  job.blend = 254;
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, job));
  EXPECT_EQ(dst.At(0, 0)[0], 197);  // 200 * 253 >> 8
  EXPECT_EQ(dst.At(1, 0)[0], 2);    // 200 + (-200 * 253 >> 8): the shift floors to -198
}

TEST(RotateLoopTest, PositionJustLeftOfTheSourceIsTransparent) {
  TestImage src(2, 1, 24, 0, 50), mask(2, 1, 8), dst(2, 1, 24, 0, 9);
  FillMask(mask, 255);
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, Job(dst, src, mask, {-1, 0})));
  EXPECT_EQ(dst.At(0, 0)[0], 9);   // column -1
  EXPECT_EQ(dst.At(1, 0)[0], 50);  // 255/256 floors to column 0
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, Job(dst, src, mask, {0, 0})));
  EXPECT_EQ(dst.At(0, 0)[0], 50);
}

// Source 3 x 2: top row blue 0, 200, 50; bottom row 100 everywhere.
class BilinearTest : public ::testing::Test {
 protected:
  BilinearTest() {
    const std::uint8_t top[3] = {0, 200, 50};
    for (int x = 0; x < 3; ++x) {
      SetBgr(src.At(x, 0), top[x], 0, 0);
      SetBgr(src.At(x, 1), 100, 0, 0);
    }
    FillMask(mask, 255);
  }
  TestImage src{3, 2, 24}, mask{3, 2, 8}, dst{3, 1, 24, 0, 7};
};

TEST_F(BilinearTest, HalfwayBetweenColumns) {
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, true, Job(dst, src, mask, {128, 0})));
  EXPECT_EQ(dst.At(0, 0)[0], (0 * 128 + 200 * 128) >> 8);   // 100
  EXPECT_EQ(dst.At(1, 0)[0], (200 * 128 + 50 * 128) >> 8);  // 125
  // Left tap in the last column: its right neighbour is outside, so the
  // mask fades to 255 * 128 >> 8 = 127 over the last column's colour.
  EXPECT_EQ(dst.At(2, 0)[0], 7 + (((50 - 7) * 127) >> 8));
  EXPECT_TRUE(dst.GuardsIntact());
}

TEST_F(BilinearTest, EdgesFadeTowardTransparent) {
  // Half a pixel before the first column: only column 0 weighs, by half.
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, true, Job(dst, src, mask, {-128, 0})));
  EXPECT_EQ(dst.At(0, 0)[0], 7 + (((0 - 7) * 127) >> 8));
  // A whole pixel before: no tap inside, nothing drawn.
  TestImage far{3, 1, 24, 0, 7};
  ASSERT_TRUE(RunRotateLoop(src.view, far.view, true, Job(far, src, mask, {-256, 0})));
  EXPECT_EQ(far.At(0, 0)[0], 7);
}

TEST_F(BilinearTest, QuarterWeights) {
  // fx = fy = 128: w11 = 64, w10 = 64, w01 = 64, w00 = 64.
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, true, Job(dst, src, mask, {128, 128})));
  EXPECT_EQ(dst.At(0, 0)[0], (0 + 200 + 100 + 100) * 64 >> 8);
}

TEST_F(BilinearTest, MaskIsInterpolatedToo) {
  *mask.At(0, 0) = 0;
  *mask.At(0, 1) = 0;
  // m = 255 * 128 >> 8 = 127: blended, not stored.
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, true, Job(dst, src, mask, {128, 0})));
  const int c = (0 * 128 + 200 * 128) >> 8;
  EXPECT_EQ(dst.At(0, 0)[0], 7 + (((c - 7) * 127) >> 8));
}

TEST_F(BilinearTest, BottomRowFadesIntoTheRowBelow) {
  // On the last row the sample is that row; halfway below it, half of it.
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, true, Job(dst, src, mask, {0, 256})));
  EXPECT_EQ(dst.At(0, 0)[0], 100);
  TestImage half{3, 1, 24, 0, 7};
  ASSERT_TRUE(RunRotateLoop(src.view, half.view, true, Job(half, src, mask, {0, 384})));
  EXPECT_EQ(half.At(1, 0)[0], 7 + (((100 - 7) * 127) >> 8));
}

TEST(RotateLoopTest, ColourTapOutsideTheColourBufferIsTransparent) {
  // The mask has two rows, the colour only one.
  TestImage src(2, 1, 24, 0, 60), mask(2, 2, 8), dst(2, 2, 24, 0, 5);
  FillMask(mask, 255);
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, Job(dst, src, mask, {0, 0})));
  EXPECT_EQ(dst.At(0, 0)[0], 60);
  EXPECT_EQ(dst.At(0, 1)[0], 5);
  EXPECT_EQ(dst.At(1, 1)[0], 5);
  EXPECT_TRUE(dst.GuardsIntact());
}

TEST(RotateLoopTest, QuarterTurnMovesEveryPixel) {
  // Clockwise: destination (x, y) shows source (y, 2 - x).
  TestImage src(3, 3, 24), mask(3, 3, 8), dst(3, 3, 24);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) SetBgr(src.At(x, y), 10 * y + x, 0, 0);
  FillMask(mask, 255);
  const MappingVectors turned{0, -256, 256, 0};
  for (bool bilinear : {false, true}) {
    SCOPED_TRACE(bilinear);
    ASSERT_TRUE(RunRotateLoop(src.view, dst.view, bilinear,
                              Job(dst, src, mask, {0, 2 * 256}, turned)));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 3; ++x) {
        // Bilinear at whole positions weighs only the pixel itself, but it
        // needs a column to the right (source column y < 2) and a row below
        // (source row 2 - x < 2).
        if (bilinear && (y == 2 || x == 0)) continue;
        EXPECT_EQ(dst.At(x, y)[0], 10 * (2 - x) + y) << x << "," << y;
      }
  }
}

TEST(RotateLoopTest, FarAwayStartsWrapHarmlessly) {
  TestImage src(4, 4, 24, 0, 1), mask(4, 4, 8), dst(4, 4, 24, 0, 3);
  FillMask(mask, 255);
  const std::int32_t far = std::numeric_limits<std::int32_t>::max() - 300;
  for (bool bilinear : {false, true}) {
    ASSERT_TRUE(RunRotateLoop(src.view, dst.view, bilinear,
                              Job(dst, src, mask, {far, far}, {256, 256, 256, 256})));
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.At(x, y)[0], 3);
  }
  EXPECT_TRUE(dst.GuardsIntact());
}

TEST(RotateLoopTest, MaskWithWidePixelsReadsTheFirstByte) {
  TestImage src(2, 1, 24, 0, 80), mask(2, 1, 32), dst(2, 1, 24, 0, 0);
  mask.At(0, 0)[0] = 255;
  mask.At(0, 0)[1] = 0;
  mask.At(1, 0)[0] = 0;
  mask.At(1, 0)[1] = 255;
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, Job(dst, src, mask, {0, 0})));
  EXPECT_EQ(dst.At(0, 0)[0], 80);
  EXPECT_EQ(dst.At(1, 0)[0], 0);
}

// --- 16-bit.

std::uint16_t Word16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
void SetWord16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

TEST(RotateLoopTest, Rgb555StoresWithBitFifteenClear) {
  TestImage src(1, 1, 16), mask(1, 1, 8), dst(1, 1, 16);
  SetWord16(src.At(0, 0), 0x8000 | (3 << 10) | (2 << 5) | 1);
  FillMask(mask, 255);
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, Job(dst, src, mask, {0, 0})));
  EXPECT_EQ(Word16(dst.At(0, 0)), (3 << 10) | (2 << 5) | 1);
}

TEST(RotateLoopTest, Rgb555BlendsFieldByField) {
  TestImage src(1, 1, 16), mask(1, 1, 8), dst(1, 1, 16);
  SetWord16(src.At(0, 0), (3 << 10) | (2 << 5) | 1);
  SetWord16(dst.At(0, 0), 0x7FFF);
  FillMask(mask, 128);
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, Job(dst, src, mask, {0, 0})));
  // 31 + ((c - 31) * 128 >> 8): red -14, green -14.5 floors to -15, blue -15.
  EXPECT_EQ(Word16(dst.At(0, 0)), (17 << 10) | (16 << 5) | 16);
}

TEST(RotateLoopTest, ExpandedSixteenBitStageFeedsFieldsDirectly) {
  TestImage src(1, 1, 16, 4), mask(1, 1, 8), dst(1, 1, 16);
  SetBgr(src.At(0, 0), 1, 2, 3);
  FillMask(mask, 255);
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, Job(dst, src, mask, {0, 0})));
  EXPECT_EQ(Word16(dst.At(0, 0)), (3 << 10) | (2 << 5) | 1);
}

// --- 8-bit, through a colour table in which indices 2 and 5 share a colour.

class IndexedTest : public ::testing::Test {
 protected:
  IndexedTest() : red(256, 0), green(256, 0), blue(256, 0), inverse(32768, 0) {
    SetColour(2, 10, 20, 30);
    SetColour(5, 10, 20, 30);
    SetColour(7, 200, 200, 200);
    inverse[InverseKey(10, 20, 30)] = 2;
    inverse[InverseKey(105, 110, 115)] = 9;
    palette = Palette{0, 1, red.data(), green.data(), blue.data(), inverse.data()};
  }
  void SetColour(int i, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    red[i] = r;
    green[i] = g;
    blue[i] = b;
  }
  std::vector<std::uint8_t> red, green, blue, inverse;
  Palette palette;
};

TEST_F(IndexedTest, OutrightStoreGoesThroughTheTable) {
  TestImage src(1, 1, 8, 0, 5), mask(1, 1, 8), dst(1, 1, 8, 0, 7);
  FillMask(mask, 255);
  RotateLoopJob job = Job(dst, src, mask, {0, 0});
  job.palette = palette;
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, job));
  EXPECT_EQ(*dst.At(0, 0), 2);
}

TEST_F(IndexedTest, BlendMixesPaletteColours) {
  TestImage src(1, 1, 8, 0, 5), mask(1, 1, 8), dst(1, 1, 8, 0, 7);
  FillMask(mask, 128);
  RotateLoopJob job = Job(dst, src, mask, {0, 0});
  job.palette = palette;
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, job));
  // 200 + ((c - 200) * 128 >> 8) for c = 10, 20, 30: 105, 110, 115.
  EXPECT_EQ(*dst.At(0, 0), 9);
}

TEST_F(IndexedTest, ExpandedEightBitStageIsLookedUpOnce) {
  TestImage src(1, 1, 8, 4), mask(1, 1, 8), dst(1, 1, 8, 0, 7);
  SetBgr(src.At(0, 0), 30, 20, 10);
  FillMask(mask, 255);
  RotateLoopJob job = Job(dst, src, mask, {0, 0});
  job.palette = palette;
  ASSERT_TRUE(RunRotateLoop(src.view, dst.view, false, job));
  EXPECT_EQ(*dst.At(0, 0), 2);
}

TEST_F(IndexedTest, WithoutAColourTableNothingIsDrawn) {
  TestImage src(1, 1, 8, 0, 5), mask(1, 1, 8), dst(1, 1, 8, 0, 7);
  FillMask(mask, 255);
  RotateLoopJob job = Job(dst, src, mask, {0, 0});
  job.palette.inverse = nullptr;
  job.palette.red = red.data();
  EXPECT_FALSE(RunRotateLoop(src.view, dst.view, false, job));
  EXPECT_EQ(*dst.At(0, 0), 7);
}

// --- Colour plus alpha.

TEST(RotateAlphaLoopTest, AlphaAlwaysColourAboveTheLowerThreshold) {
  TestImage src(4, 1, 24, 0, 90), mask(4, 1, 8), dst(4, 1, 32, 0, 1), alpha(4, 1, 8, 0, 77);
  const std::uint8_t m[4] = {0, 10, 11, 255};
  for (int x = 0; x < 4; ++x) *mask.At(x, 0) = m[x];
  RotateLoopJob job = Job(dst, src, mask, {0, 0});
  ASSERT_TRUE(OpenWalk(&alpha.view, alpha.view.bounds, &job.alpha));
  job.thresholds.lower = 10;
  job.thresholds.upper = 250;  // not used here
  job.blend = 3;               // nor this
  ASSERT_TRUE(RunRotateAlphaLoop(src.view, dst.view, false, job));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(*alpha.At(x, 0), m[x]) << x;
  EXPECT_EQ(dst.At(0, 0)[0], 1);
  EXPECT_EQ(dst.At(1, 0)[0], 1);
  EXPECT_EQ(dst.At(2, 0)[0], 90);  // unblended
  EXPECT_EQ(dst.At(3, 0)[0], 90);
  EXPECT_EQ(dst.At(3, 0)[3], 1);
  EXPECT_TRUE(alpha.GuardsIntact());
  EXPECT_TRUE(dst.GuardsIntact());
}

TEST(RotateAlphaLoopTest, TransparentSamplesStillWriteAlphaZero) {
  TestImage src(2, 1, 24, 0, 90), mask(2, 1, 8), dst(2, 1, 32), alpha(2, 1, 8, 0, 77);
  FillMask(mask, 255);
  RotateLoopJob job = Job(dst, src, mask, {-256, 0});
  ASSERT_TRUE(OpenWalk(&alpha.view, alpha.view.bounds, &job.alpha));
  ASSERT_TRUE(RunRotateAlphaLoop(src.view, dst.view, false, job));
  EXPECT_EQ(*alpha.At(0, 0), 0);
  EXPECT_EQ(*alpha.At(1, 0), 255);
}

TEST_F(IndexedTest, AlphaOutputOfIndexedSourceIsThePaletteColour) {
  TestImage src(1, 1, 8, 0, 7), mask(1, 1, 8), dst(1, 1, 8, 4), alpha(1, 1, 8);
  FillMask(mask, 255);
  RotateLoopJob job = Job(dst, src, mask, {0, 0});
  ASSERT_TRUE(OpenWalk(&alpha.view, alpha.view.bounds, &job.alpha));
  job.palette = palette;
  ASSERT_TRUE(RunRotateAlphaLoop(src.view, dst.view, false, job));
  EXPECT_EQ(dst.At(0, 0)[0], 200);
  EXPECT_EQ(dst.At(0, 0)[1], 200);
  EXPECT_EQ(dst.At(0, 0)[2], 200);
}

TEST(RotateAlphaLoopTest, SixteenBitSourceWritesUnscaledFields) {
  TestImage src(1, 1, 16), mask(1, 1, 8), dst(1, 1, 16, 4), alpha(1, 1, 8);
  SetWord16(src.At(0, 0), (31 << 10) | (2 << 5) | 1);
  FillMask(mask, 255);
  RotateLoopJob job = Job(dst, src, mask, {0, 0});
  ASSERT_TRUE(OpenWalk(&alpha.view, alpha.view.bounds, &job.alpha));
  ASSERT_TRUE(RunRotateAlphaLoop(src.view, dst.view, false, job));
  EXPECT_EQ(dst.At(0, 0)[0], 1);
  EXPECT_EQ(dst.At(0, 0)[1], 2);
  EXPECT_EQ(dst.At(0, 0)[2], 31);
}

// --- Pairs without a loop draw nothing.

TEST(RotateLoopChoiceTest, UnlistedPairsHaveNoLoop) {
  TestImage bgr(1, 1, 24), word(1, 1, 16), index(1, 1, 8), nibble(2, 1, 8);
  nibble.view.depth = 4;
  nibble.view.bytesPerPixel = 0;
  EXPECT_EQ(SelectRotateLoop(word.view, bgr.view, false, true).run, nullptr);
  EXPECT_EQ(SelectRotateLoop(index.view, bgr.view, true, true).run, nullptr);
  EXPECT_EQ(SelectRotateLoop(index.view, word.view, false, false).run, nullptr);
  EXPECT_EQ(SelectRotateLoop(word.view, index.view, false, false).run, nullptr);
  EXPECT_EQ(SelectRotateLoop(bgr.view, nibble.view, false, true).run, nullptr);
  // Colour plus alpha needs an expanded destination whose depth matches.
  EXPECT_EQ(SelectRotateAlphaLoop(bgr.view, word.view, false).run, nullptr);
  EXPECT_EQ(SelectRotateAlphaLoop(word.view, bgr.view, false).run, nullptr);
  EXPECT_NE(SelectRotateAlphaLoop(bgr.view, bgr.view, true).run, nullptr);
}

TEST(RotateLoopChoiceTest, MismatchedViewsDrawNothing) {
  TestImage src(2, 2, 24, 0, 9), mask(2, 2, 8), dst(2, 2, 24, 0, 4), small(1, 2, 8);
  FillMask(mask, 255);
  RotateLoopJob job = Job(dst, src, mask, {0, 0});
  ASSERT_TRUE(OpenWalk(&small.view, small.view.bounds, &job.alpha));
  EXPECT_FALSE(RunRotateAlphaLoop(src.view, dst.view, false, job));  // alpha of another shape
  job.mask = ByteWindow{};
  EXPECT_FALSE(RunRotateLoop(src.view, dst.view, false, job));  // no mask memory
  EXPECT_EQ(dst.At(0, 0)[0], 4);
}

}  // namespace
}  // namespace vx
