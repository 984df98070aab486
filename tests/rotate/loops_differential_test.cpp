// The row-clipped walks (spans without tap tests, column blocks, packed
// colour arithmetic) against the walk that tests every tap, on random
// geometry, formats, blend levels and thresholds: both must leave every
// byte of the destination (and alpha) identical.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
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
  // Mostly opaque or transparent, some partial values. Every other mask
  // also has a rectangle of 255 (whole rows, or any part, sometimes broken
  // by one byte just below opaque), and some masks are opaque throughout:
  // the walks write such areas without reading the mask.
  void RandomMask(TestImage& img) {
    const std::int32_t w = img.view.bounds.width, h = img.view.bounds.height;
    for (std::int32_t y = 0; y < h; ++y)
      for (std::int32_t x = 0; x < w; ++x) {
        const std::int32_t r = Int(0, 9);
        img.At(x, y)[0] = static_cast<std::uint8_t>(r < 5 ? 255 : r < 7 ? 0 : Int(0, 255));
      }
    const std::int32_t kind = Int(0, 6);
    if (kind >= 4) return;
    const std::int32_t top = kind == 0 ? 0 : Int(0, h - 1);
    const std::int32_t bottom = kind == 0 ? h : Int(top + 1, h);
    const std::int32_t left = kind < 2 ? 0 : Int(0, w - 1);
    const std::int32_t right = kind < 2 ? w : Int(left + 1, w);
    for (std::int32_t y = top; y < bottom; ++y)
      for (std::int32_t x = left; x < right; ++x) img.At(x, y)[0] = 255;
    if (kind == 3) img.At(Int(left, right - 1), Int(top, bottom - 1))[0] = 254;
  }

 private:
  std::mt19937& rng_;
};

RotateLoopJob MakeJob(Scenario& s, TestImage& dst, TestImage& src, TestImage& mask,
                      AngleTablesRef tables, AreaRect* areaOut, std::int32_t reachPixels) {
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
  job.maskRows = w.height;
  job.steps = ComputeMappingVectors(s.Int(0, 255), s.Int(0, 1) != 0, tables);
  const std::int32_t reach = 256 * reachPixels;
  job.start = {s.Int(-reach, reach), s.Int(-reach, reach)};
  job.blend = s.Int(0, 1) ? 255 : s.Int(0, 255);
  const std::int32_t lowerKind = s.Int(0, 3);
  job.thresholds.lower = lowerKind == 0 ? -1 : lowerKind == 1 ? 0 : s.Int(0, 64);
  // An upper threshold above 255 never stores outright: even a fully
  // opaque mask blends. One at or below the lower threshold stores only
  // above that.
  const std::int32_t upperKind = s.Int(0, 4);
  job.thresholds.upper = upperKind < 2    ? 255
                         : upperKind == 2 ? s.Int(0, 255)
                         : upperKind == 3 ? s.Int(0, std::max(job.thresholds.lower, 0))
                                          : s.Int(256, 300);
  return job;
}

bool AllOpaque(TestImage& mask, const rotate_detail::OpaqueBox& box) {
  for (std::int32_t y = box.top; y < box.bottom; ++y)
    for (std::int32_t x = box.left; x < box.right; ++x)
      if (mask.At(x, y)[0] != 255) return false;
  return true;
}

// The largest of OpaqueAreas' boxes, every box checked to hold only 255.
bool Largest(TestImage& mask, const ByteWindow& window, std::int32_t columns, std::int32_t rows,
             rotate_detail::OpaqueBox* box) {
  const rotate_detail::OpaqueBoxes found = rotate_detail::OpaqueAreas(window, columns, rows);
  for (std::int32_t i = 0; i < found.count; ++i) EXPECT_TRUE(AllOpaque(mask, found.box[i])) << i;
  if (found.count == 0) return false;
  *box = found.box[0];
  return true;
}

TEST(RotateLoopDifferentialTest, OpaqueAreaIsARectangleOfOpaqueBytes) {
  TestImage mask(19, 9, 8, 1);
  for (std::int32_t y = 0; y < 9; ++y)
    for (std::int32_t x = 0; x < 19; ++x) mask.At(x, y)[0] = 255;
  ViewWalk w;
  ASSERT_TRUE(OpenWalk(&mask.view, mask.view.bounds, &w));
  const ByteWindow window = WindowOf(w);
  rotate_detail::OpaqueBox box{};
  const auto is = [&](std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
    return box.left == l && box.top == t && box.right == r && box.bottom == b;
  };
  ASSERT_TRUE(Largest(mask, window, 19, 9, &box));
  EXPECT_TRUE(is(0, 0, 19, 9));
  // Only the first 12 columns and 5 rows count.
  ASSERT_TRUE(Largest(mask, window, 12, 5, &box));
  EXPECT_TRUE(is(0, 0, 12, 5));

  // An opaque rectangle [2, 17) x [1, 8) in a frame of partial values.
  for (std::int32_t y = 0; y < 9; ++y)
    for (std::int32_t x = 0; x < 19; ++x)
      if (x < 2 || x >= 17 || y < 1 || y >= 8) mask.At(x, y)[0] = 254;
  ASSERT_TRUE(Largest(mask, window, 19, 9, &box));
  EXPECT_TRUE(is(2, 1, 17, 8));
  // A notch in its top row: dropping that row keeps more area than
  // narrowing every row to one side of the notch.
  mask.At(10, 1)[0] = 0;
  ASSERT_TRUE(Largest(mask, window, 19, 9, &box));
  EXPECT_TRUE(is(2, 2, 17, 8));
  EXPECT_TRUE(AllOpaque(mask, box));

  // A diamond of 255: whatever is chosen is opaque throughout and holds the
  // whole middle row's run.
  for (std::int32_t y = 0; y < 9; ++y)
    for (std::int32_t x = 0; x < 19; ++x)
      mask.At(x, y)[0] = std::abs(x - 9) + 2 * std::abs(y - 4) <= 8 ? 255 : 100;
  ASSERT_TRUE(Largest(mask, window, 19, 9, &box));
  EXPECT_TRUE(AllOpaque(mask, box));
  EXPECT_TRUE(box.top <= 4 && box.bottom > 4);
  EXPECT_GT((box.right - box.left) * (box.bottom - box.top), 9);
  // The largest is 13 wide through rows 3-5; the steps past it go on to
  // the tallest, column 9 through all rows.
  const rotate_detail::OpaqueBoxes steps = rotate_detail::OpaqueAreas(window, 19, 9);
  const auto has = [&](std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
    return std::any_of(steps.box, steps.box + steps.count, [&](const rotate_detail::OpaqueBox& o) {
      return o.left == l && o.top == t && o.right == r && o.bottom == b;
    });
  };
  EXPECT_TRUE(has(9, 0, 10, 9));
  EXPECT_TRUE(has(3, 3, 16, 6));

  // No 255 at the middle of the middle row: none.
  mask.At(9, 4)[0] = 254;
  EXPECT_FALSE(Largest(mask, window, 19, 9, &box));
}

// Sizes of one round: source and mask `least`..`source` square, the
// destination `least`..`dest` wide and up to `dest` * 3 / 4 high; the start
// within `reach` source pixels of the origin.
struct Sizes {
  std::int32_t least, source, dest, reach;
};

// One random round of `pair`; false when no loop ran. Fails the test on the
// first byte that differs.
bool RunRound(Scenario& s, const Pair& pair, const Sizes& sizes, const AngleTablesRef& tables,
              glissade::PaletteTable& palette, int round) {
  const bool interpolate = s.Int(0, 1) != 0;
  const std::int32_t w = s.Int(sizes.least, sizes.source), h = s.Int(sizes.least, sizes.source);
  const std::int32_t dw = s.Int(sizes.least, sizes.dest);
  const std::int32_t dh = s.Int(sizes.least, sizes.dest * 3 / 4);
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
  RotateLoopJob job = MakeJob(s, a, src, mask, tables, &area, sizes.reach);
  ReadPalette(palette.Record(), &job.palette);
  RotateLoopJob reference = job;
  reference.checkEveryTap = true;
  EXPECT_TRUE(OpenWalk(&b.view, area, &reference.destination));  // the twin's same area

  const bool ranA = RunRotateLoop(src.view, a.view, interpolate, job);
  const bool ranB = RunRotateLoop(src.view, b.view, interpolate, reference);
  EXPECT_EQ(ranA, ranB) << round;
  for (std::int32_t y = 0; y < dh; ++y)
    for (std::int32_t x = 0; x < dw; ++x)
      for (std::int32_t k = 0; k < a.view.bytesPerPixel; ++k)
        if (a.At(x, y)[k] != b.At(x, y)[k]) {
          ADD_FAILURE() << "round " << round << " pixel " << x << "," << y << " byte " << k;
          return ranA;
        }
  EXPECT_TRUE(a.GuardsIntact() && b.GuardsIntact() && src.GuardsIntact()) << round;
  return ranA;
}

TEST(RotateLoopDifferentialTest, ClippedWalksMatchTheTestedWalk) {
  std::mt19937 rng(20261207);
  Scenario s(rng);
  testing_support::Tables tables;
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng, 3, 2);
  int drawn = 0;
  for (int round = 0; round < 1500 && !HasFailure(); ++round)
    drawn += RunRound(s, kPairs[round % std::size(kPairs)], {1, 24, 40, 40}, tables.Ref(), palette,
                      round)
                 ? 1
                 : 0;
  EXPECT_GT(drawn, 1000);  // the pairs without a loop are the rest
}

// Destinations wider than a column block and taller than a chunk of rows,
// so that spans are cut at block edges and carried across chunks.
TEST(RotateLoopDifferentialTest, LargeAreasMatchTheTestedWalk) {
  std::mt19937 rng(4);
  Scenario s(rng);
  testing_support::Tables tables;
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng, 3, 2);
  int drawn = 0;
  for (int round = 0; round < 150 && !HasFailure(); ++round)
    drawn += RunRound(s, kPairs[round % std::size(kPairs)], {100, 200, 420, 120}, tables.Ref(),
                      palette, round)
                 ? 1
                 : 0;
  EXPECT_GT(drawn, 90);
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
    job.maskRows = v.height;
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
