// The row-clipped walks (spans without tap tests, column blocks, packed
// colour arithmetic) against the walk that tests every tap, on random
// geometry, formats, blend levels and thresholds: both must leave every
// byte of the destination (and alpha) identical.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "effects/geometric/rotate_loops.h"
#include "host/glissade/palette.h"
#include "tests/rotate/test_support.h"

namespace vx {
namespace {

using testing_support::TestImage;

struct Format {
  std::int32_t depth, bytes;  // depth code and bytes per pixel
};

// The format pairs of the Render table, plus pairs without a loop.
struct Pair {
  Format src, dst;
};
const Pair kPairs[] = {
    {{24, 3}, {32, 4}}, {{32, 4}, {24, 3}}, {{32, 4}, {32, 4}}, {{8, 4}, {32, 4}},
    {{16, 2}, {16, 2}}, {{16, 3}, {16, 2}}, {{16, 4}, {16, 2}}, {{8, 1}, {8, 1}},
    {{8, 4}, {8, 1}},   {{8, 3}, {8, 1}},   {{32, 6}, {32, 5}}, {{16, 2}, {32, 4}},
};

// Alpha output: expanded destinations whose depth names the source.
const Pair kAlphaPairs[] = {
    {{32, 4}, {32, 4}}, {{24, 3}, {16, 4}}, {{8, 1}, {8, 4}}, {{16, 2}, {16, 3}}, {{8, 1}, {16, 4}},
};

class Scenario {
 public:
  explicit Scenario(std::mt19937& rng) : rng_(rng) {}

  std::int32_t Int(std::int32_t lo, std::int32_t hi) {
    return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng_);
  }
  void Randomise(TestImage& img) {
    for (std::int32_t y = 0; y < img.view.bounds.height; ++y)
      for (std::int32_t x = 0; x < img.view.bounds.width; ++x)
        for (std::int32_t b = 0; b < img.view.bytesPerPixel; ++b)
          img.At(x, y)[b] = static_cast<std::uint8_t>(Int(0, 255));
  }
  // Mostly opaque or transparent, some partial values.
  void RandomMask(TestImage& img) {
    for (std::int32_t y = 0; y < img.view.bounds.height; ++y)
      for (std::int32_t x = 0; x < img.view.bounds.width; ++x) {
        const std::int32_t r = Int(0, 9);
        img.At(x, y)[0] = static_cast<std::uint8_t>(r < 5 ? 255 : r < 7 ? 0 : Int(0, 255));
      }
  }

 private:
  std::mt19937& rng_;
};

RotateLoopJob MakeJob(Scenario& s, TestImage& dst, TestImage& src, TestImage& mask,
                      AngleTablesRef tables, AreaRect* areaOut) {
  RotateLoopJob job;
  ViewWalk w;
  const AreaRect& b = dst.view.bounds;
  // A sub-rectangle of the destination, as an update rectangle gives.
  const std::int32_t left = s.Int(0, b.width - 1), top = s.Int(0, b.height - 1);
  const AreaRect area = MakeRect(left, top, s.Int(left + 1, b.width), s.Int(top + 1, b.height));
  EXPECT_TRUE(OpenWalk(&dst.view, area, &job.destination));
  *areaOut = area;
  EXPECT_TRUE(OpenWalk(&src.view, src.view.bounds, &w));
  job.colour = WindowOf(w);
  EXPECT_TRUE(OpenWalk(&mask.view, mask.view.bounds, &w));
  job.mask = WindowOf(w);
  job.maskWidth = w.width;
  job.steps = ComputeMappingVectors(s.Int(0, 255), s.Int(0, 1) != 0, tables);
  const std::int32_t reach = 256 * 40;
  job.start = {s.Int(-reach, reach), s.Int(-reach, reach)};
  job.blend = s.Int(0, 1) ? 255 : s.Int(0, 255);
  job.thresholds.lower = s.Int(0, 3) ? s.Int(0, 64) : -1;
  job.thresholds.upper = s.Int(0, 1) ? 255 : s.Int(0, 256);
  return job;
}

TEST(RotateLoopDifferentialTest, ClippedWalksMatchTheTestedWalk) {
  std::mt19937 rng(20261207);
  Scenario s(rng);
  testing_support::Tables tables;
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng, 3, 2);
  int drawn = 0;
  for (int round = 0; round < 1500; ++round) {
    const Pair& pair = kPairs[round % std::size(kPairs)];
    const bool interpolate = s.Int(0, 1) != 0;
    const std::int32_t w = s.Int(1, 24), h = s.Int(1, 24);
    const std::int32_t dw = s.Int(1, 40), dh = s.Int(1, 30);
    TestImage src(w, h, pair.src.depth, pair.src.bytes);
    TestImage mask(w, h, 8, s.Int(0, 3) ? 1 : 2);
    TestImage a(dw, dh, pair.dst.depth, pair.dst.bytes), b(dw, dh, pair.dst.depth, pair.dst.bytes);
    s.Randomise(src);
    s.RandomMask(mask);
    s.Randomise(a);
    for (std::int32_t y = 0; y < dh; ++y)
      for (std::int32_t x = 0; x < dw; ++x)
        std::copy(a.At(x, y), a.At(x, y) + a.view.bytesPerPixel, b.At(x, y));

    AreaRect area;
    RotateLoopJob job = MakeJob(s, a, src, mask, tables.Ref(), &area);
    ReadPalette(palette.Record(), &job.palette);
    RotateLoopJob reference = job;
    reference.checkEveryTap = true;
    ASSERT_TRUE(OpenWalk(&b.view, area, &reference.destination));  // the twin's same area

    const bool ranA = RunRotateLoop(src.view, a.view, interpolate, job);
    const bool ranB = RunRotateLoop(src.view, b.view, interpolate, reference);
    ASSERT_EQ(ranA, ranB) << round;
    drawn += ranA ? 1 : 0;
    for (std::int32_t y = 0; y < dh; ++y)
      for (std::int32_t x = 0; x < dw; ++x)
        for (std::int32_t k = 0; k < a.view.bytesPerPixel; ++k)
          ASSERT_EQ(a.At(x, y)[k], b.At(x, y)[k])
              << "round " << round << " pixel " << x << "," << y << " byte " << k;
    ASSERT_TRUE(a.GuardsIntact() && b.GuardsIntact() && src.GuardsIntact()) << round;
  }
  EXPECT_GT(drawn, 1000);  // the pairs without a loop are the rest
}

TEST(RotateLoopDifferentialTest, ClippedAlphaWalksMatchTheTestedWalk) {
  std::mt19937 rng(7);
  Scenario s(rng);
  testing_support::Tables tables;
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng);
  int drawn = 0;
  for (int round = 0; round < 800; ++round) {
    const Pair& pair = kAlphaPairs[round % std::size(kAlphaPairs)];
    const bool interpolate = s.Int(0, 1) != 0;
    const std::int32_t w = s.Int(1, 24), h = s.Int(1, 24);
    const std::int32_t dw = s.Int(1, 40), dh = s.Int(1, 30);
    TestImage src(w, h, pair.src.depth, pair.src.bytes);
    TestImage mask(w, h, 8, 1);
    TestImage colourA(dw, dh, pair.dst.depth, pair.dst.bytes);
    TestImage colourB(dw, dh, pair.dst.depth, pair.dst.bytes);
    TestImage alphaA(dw, dh, 8, 1, 0x5A), alphaB(dw, dh, 8, 1, 0x5A);
    s.Randomise(src);
    s.RandomMask(mask);
    const AreaRect whole = MakeRect(0, 0, dw, dh);
    RotateLoopJob job;
    ViewWalk v;
    ASSERT_TRUE(OpenWalk(&colourA.view, whole, &job.destination));
    ASSERT_TRUE(OpenWalk(&alphaA.view, whole, &job.alpha));
    ASSERT_TRUE(OpenWalk(&src.view, src.view.bounds, &v));
    job.colour = WindowOf(v);
    ASSERT_TRUE(OpenWalk(&mask.view, mask.view.bounds, &v));
    job.mask = WindowOf(v);
    job.maskWidth = v.width;
    job.steps = ComputeMappingVectors(s.Int(0, 255), s.Int(0, 1) != 0, tables.Ref());
    job.start = {s.Int(-256 * 30, 256 * 30), s.Int(-256 * 30, 256 * 30)};
    job.thresholds.lower = s.Int(-1, 40);
    ReadPalette(palette.Record(), &job.palette);
    RotateLoopJob reference = job;
    reference.checkEveryTap = true;
    ASSERT_TRUE(OpenWalk(&colourB.view, whole, &reference.destination));
    ASSERT_TRUE(OpenWalk(&alphaB.view, whole, &reference.alpha));

    const bool ranA = RunRotateAlphaLoop(src.view, colourA.view, interpolate, job);
    const bool ranB = RunRotateAlphaLoop(src.view, colourB.view, interpolate, reference);
    ASSERT_EQ(ranA, ranB);
    drawn += ranA ? 1 : 0;
    for (std::int32_t y = 0; y < dh; ++y)
      for (std::int32_t x = 0; x < dw; ++x) {
        ASSERT_EQ(*alphaA.At(x, y), *alphaB.At(x, y)) << round;
        for (std::int32_t k = 0; k < colourA.view.bytesPerPixel; ++k)
          ASSERT_EQ(colourA.At(x, y)[k], colourB.At(x, y)[k]) << round;
      }
  }
  EXPECT_GT(drawn, 600);
}

}  // namespace
}  // namespace vx
