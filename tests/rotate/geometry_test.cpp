// Mapping vectors, rotated bounds, pixel-centre samples and walk starts, the
// interpolation decision and the hit-test mapping.
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "effects/geometric/rotate_geometry.h"
#include "framework/pixel_view.h"
#include "tests/rotate/test_support.h"

namespace vx {
namespace {

using testing_support::Rect;
using testing_support::Tables;

constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();

void ExpectRect(const RectRecord& r, std::int32_t left, std::int32_t top, std::int32_t right,
                std::int32_t bottom) {
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.right, right);
  EXPECT_EQ(r.bottom, bottom);
}

class RotateGeometryTest : public ::testing::Test {
 protected:
  Tables tables;
};

TEST_F(RotateGeometryTest, DrawingIndexIsTheAngleTurnedBack) {
  EXPECT_EQ(InverseAngleIndex(0), 0);
  EXPECT_EQ(InverseAngleIndex(64), 192);
  EXPECT_EQ(InverseAngleIndex(-5), 5);
  EXPECT_EQ(InverseAngleIndex(300), 212);
  EXPECT_EQ(InverseAngleIndex(kIntMin), 0);
}

TEST_F(RotateGeometryTest, MappingVectorsFollowTheAngle) {
  MappingVectors m = ComputeMappingVectors(InverseAngleIndex(0), false, tables.Ref());
  EXPECT_EQ(m.colStepX, 256);
  EXPECT_EQ(m.colStepY, 0);
  EXPECT_EQ(m.rowStepX, 0);
  EXPECT_EQ(m.rowStepY, 256);

  // A quarter turn clockwise: one column right walks the source up, one row
  // down walks it right.
  m = ComputeMappingVectors(InverseAngleIndex(64), false, tables.Ref());
  EXPECT_EQ(m.colStepX, 0);
  EXPECT_EQ(m.colStepY, -256);
  EXPECT_EQ(m.rowStepX, 256);
  EXPECT_EQ(m.rowStepY, 0);

  m = ComputeMappingVectors(InverseAngleIndex(32), false, tables.Ref());
  EXPECT_EQ(m.colStepX, 181);
  EXPECT_EQ(m.colStepY, -181);
  EXPECT_EQ(m.rowStepX, 181);
  EXPECT_EQ(m.rowStepY, 181);
}

TEST_F(RotateGeometryTest, FlipWalksColumnsBackwards) {
  const MappingVectors m = ComputeMappingVectors(InverseAngleIndex(64), true, tables.Ref());
  EXPECT_EQ(m.colStepX, 0);
  EXPECT_EQ(m.colStepY, 256);
  EXPECT_EQ(m.rowStepX, 256);
  EXPECT_EQ(m.rowStepY, 0);
}

TEST_F(RotateGeometryTest, QuarterTurnMapsASquareOneToOne) {
  const MappingVectors m = ComputeMappingVectors(InverseAngleIndex(64), false, tables.Ref());
  // Walk a 4 x 4 destination the way a pixel loop does, from the source's
  // bottom-left pixel; every source pixel must be hit exactly once.
  FixedPoint row{0, 3 * 256};
  std::set<std::pair<int, int>> seen;
  for (int y = 0; y < 4; ++y) {
    FixedPoint p = row;
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(p.x & 255, 0);
      EXPECT_EQ(p.y & 255, 0);
      seen.insert({p.x >> 8, p.y >> 8});
      p.x += m.colStepX;
      p.y += m.colStepY;
    }
    row.x += m.rowStepX;
    row.y += m.rowStepY;
  }
  EXPECT_EQ(seen.size(), 16u);
  EXPECT_EQ(*seen.begin(), std::make_pair(0, 0));
  EXPECT_EQ(*seen.rbegin(), std::make_pair(3, 3));
}

// Rectangle 100 x 50 at the origin, centre (50, 25). Where the tables are
// exact the box is the exactly turned rectangle.
TEST_F(RotateGeometryTest, RotatedBoundsOfExactTurns) {
  const RectRecord r = Rect(0, 0, 100, 50);
  ExpectRect(RotatedBounds(0, r, tables.Ref()), 0, 0, 100, 50);
  ExpectRect(RotatedBounds(64, r, tables.Ref()), 25, -25, 75, 75);
  ExpectRect(RotatedBounds(128, r, tables.Ref()), 0, 0, 100, 50);
  ExpectRect(RotatedBounds(320, r, tables.Ref()), 25, -25, 75, 75);
  ExpectRect(RotatedBounds(-64, Rect(1000, -40, 1100, 10), tables.Ref()), 1025, -65, 1075, 35);
}

TEST_F(RotateGeometryTest, RotatedBoundsOfHugeRectanglesDoNotOverflow) {
  const std::int32_t side = 1 << 23;
  ExpectRect(RotatedBounds(0, Rect(0, 0, side, side), tables.Ref()), 0, 0, side, side);
  ExpectRect(RotatedBounds(64, Rect(0, 0, side, side), tables.Ref()), 0, 0, side, side);
  // Exact: x in side / 2 -+ 0.5, y in 0.5 -+ side / 2.
  ExpectRect(RotatedBounds(64, Rect(0, 0, side, 1), tables.Ref()), side / 2 - 1, -side / 2,
             side / 2 + 1, side / 2 + 1);
  // 45 degrees: half-diagonal 5931641.6 about 4194304 exactly; the 8.8
  // entries (181 for 181.02) widen the picture by about a ten-thousandth.
  const RectRecord b = RotatedBounds(32, Rect(0, 0, side, side), tables.Ref());
  const double far = side * M_SQRT1_2;
  EXPECT_NEAR(b.left, side / 2 - far, 1000);
  EXPECT_LE(b.left, side / 2 - far);
  EXPECT_NEAR(b.bottom, side / 2 + far, 1000);
  EXPECT_GE(b.bottom, side / 2 + far);
}

TEST_F(RotateGeometryTest, RotatedBoundsOfDegenerateRectanglesStayOrdered) {
  ExpectRect(RotatedBounds(32, Rect(10, 20, 10, 20), tables.Ref()), 10, 20, 10, 20);
  for (std::int32_t v : {0, 32, 64, 100, 192, kIntMax, kIntMin}) {
    const RectRecord whole = RotatedBounds(v, Rect(kIntMin, kIntMin, kIntMax, kIntMax), tables.Ref());
    EXPECT_LE(whole.left, whole.right) << v;
    EXPECT_LE(whole.top, whole.bottom) << v;
    const RectRecord inverted = RotatedBounds(v, Rect(kIntMax, kIntMax, kIntMin, kIntMin), tables.Ref());
    EXPECT_LE(inverted.left, inverted.right) << v;
    EXPECT_LE(inverted.top, inverted.bottom) << v;
  }
}

// Pixel centres: the placed sprite's first pixel samples the centre of the
// sprite pixel it shows.
TEST_F(RotateGeometryTest, PixelsSampleTheCentreOfTheSpritePixelTheyShow) {
  const auto steps = [&](std::int32_t degrees, bool flip) {
    return ComputeMappingVectors(InverseAngleIndex(degrees * 256 / 360), flip, tables.Ref());
  };
  const auto at = [](FixedPoint p) { return std::make_pair(p.x, p.y); };
  // 4 x 4 sprite, its top-left pixel after the turn.
  EXPECT_EQ(at(PixelCentreSample(steps(0, false), 4, 4, 0, 0)), std::make_pair(128, 128));
  EXPECT_EQ(at(PixelCentreSample(steps(0, true), 4, 4, 0, 0)), std::make_pair(3 * 256 + 128, 128));
  // A clockwise quarter turn shows the bottom-left pixel there.
  EXPECT_EQ(at(PixelCentreSample(steps(90, false), 4, 4, 0, 0)),
            std::make_pair(128, 3 * 256 + 128));
  EXPECT_EQ(at(PixelCentreSample(steps(180, false), 4, 4, 0, 0)),
            std::make_pair(3 * 256 + 128, 3 * 256 + 128));
  // The centre pixel of an odd sprite samples its own centre at any angle.
  for (std::int32_t degrees : {0, 17, 45, 200})
    EXPECT_EQ(at(PixelCentreSample(steps(degrees, true), 5, 3, 2, 1)),
              std::make_pair(2 * 256 + 128, 256 + 128));
  // A stage corner 270 columns left of and 215 rows above the sprite; the
  // sub-view's position moves the origin; bilinear taps start half a pixel
  // up and left.
  const FixedPoint p = SampleStart({100, 50, 10, -3, -270, -215}, steps(0, false), false);
  EXPECT_EQ(at(p), std::make_pair(-280 * 256 + 128, -212 * 256 + 128));
  const FixedPoint q = SampleStart({100, 50, 10, -3, -270, -215}, steps(0, false), true);
  EXPECT_EQ(at(q), std::make_pair(-280 * 256, -212 * 256));
  // Huge sprites: the corner pixel at 45 degrees, 0.2071 * side left of
  // the sprite, still within 24.8.
  const std::int32_t side = 1 << 23;
  const FixedPoint h = PixelCentreSample(steps(45, false), side, side, 0, 0);
  EXPECT_NEAR(h.x / 256.0, side * (0.5 - M_SQRT1_2), side / 1000.0);
}

TEST(ShouldRedrawTest, LevelsOneAndZero) {
  std::int32_t pending = 0;
  EXPECT_TRUE(ShouldRedraw(0, 1, pending));
  EXPECT_TRUE(ShouldRedraw(1, 1, pending));
  EXPECT_FALSE(ShouldRedraw(0, 0, pending));
  EXPECT_FALSE(ShouldRedraw(1, 0, pending));
  EXPECT_EQ(pending, 0);
}

TEST(ShouldRedrawTest, LevelTwoOnlyWhileStandingStill) {
  std::int32_t pending = 0;
  EXPECT_FALSE(ShouldRedraw(0, 2, pending));
  EXPECT_TRUE(ShouldRedraw(1, 2, pending));
  EXPECT_EQ(pending, 0);
  EXPECT_TRUE(ShouldRedraw(1, 2, pending));
}

TEST(ShouldRedrawTest, ARequestForcesExactlyOneFrame) {
  std::int32_t pending = 1;
  EXPECT_TRUE(ShouldRedraw(0, 0, pending));
  EXPECT_EQ(pending, 0);
  EXPECT_FALSE(ShouldRedraw(0, 0, pending));
}

// Mask 100 x 50 placed at (1000, -40).
TEST_F(RotateGeometryTest, HitMappingIsTheNearestSample) {
  const RectRecord placed = Rect(1000, -40, 1100, 10);
  const auto at = [&](std::int32_t x, std::int32_t y, std::int32_t degrees, bool flip) {
    const MaskPosition p = MapHitToMask(
        x, y, placed,
        ComputeMappingVectors(InverseAngleIndex(degrees * 256 / 360), flip, tables.Ref()));
    return std::make_pair(p.column, p.row);
  };
  EXPECT_EQ(at(1060, -15, 0, false), std::make_pair(60, 25));
  EXPECT_EQ(at(1000, -40, 0, false), std::make_pair(0, 0));
  EXPECT_EQ(at(1099, 9, 0, false), std::make_pair(99, 49));
  EXPECT_EQ(at(1060, -15, 0, true), std::make_pair(39, 25));
  // A quarter turn clockwise: the pixel centre 10.5 right of and 0.5 below
  // the sprite's centre (1050, -15) shows the sprite 10.5 above and 0.5 right.
  EXPECT_EQ(at(1060, -15, 90, false), std::make_pair(50, 14));
  // Far points do not wrap back onto the mask.
  const MaskPosition far =
      MapHitToMask(kIntMax, kIntMin, Rect(kIntMin, kIntMax - 10, kIntMin + 10, kIntMax),
                   ComputeMappingVectors(17, true, tables.Ref()));
  EXPECT_TRUE(far.column < 0 || far.column >= 10 || far.row < 0 || far.row >= 10);
}

// A 5 x 3 mask, 8 bits, bottom row first in memory; byte value 10 * row + column
// counted from the top.
class MaskByteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitPixelView(&mask, 0, 0, 5, 3);
    SetDepth(&mask, 8);
    memory.assign(static_cast<std::size_t>(mask.rowLength) * 3, 0xEE);
    for (int row = 0; row < 3; ++row)
      for (int col = 0; col < 5; ++col)
        memory[static_cast<std::size_t>((2 - row) * mask.rowLength + col)] =
            static_cast<std::uint8_t>(10 * row + col);
    SetBase(&mask, memory.data());
  }
  PixelView mask{};
  std::vector<std::uint8_t> memory;
};

TEST_F(MaskByteTest, ReadsRowsCountedFromTheTop) {
  EXPECT_EQ(MaskByteAt(&mask, {0, 0}), 0);
  EXPECT_EQ(MaskByteAt(&mask, {4, 0}), 4);
  EXPECT_EQ(MaskByteAt(&mask, {2, 1}), 12);
  EXPECT_EQ(MaskByteAt(&mask, {4, 2}), 24);
}

TEST_F(MaskByteTest, PositionsOutsideTheMaskReadZero) {
  EXPECT_EQ(MaskByteAt(&mask, {5, 0}), 0);  // padding byte, not a pixel
  EXPECT_EQ(MaskByteAt(&mask, {-1, 1}), 0);
  EXPECT_EQ(MaskByteAt(&mask, {0, 3}), 0);
  EXPECT_EQ(MaskByteAt(&mask, {0, -1}), 0);
  EXPECT_EQ(MaskByteAt(&mask, {kIntMax, kIntMax}), 0);
  EXPECT_EQ(MaskByteAt(&mask, {kIntMin, kIntMin}), 0);
}

TEST_F(MaskByteTest, AMaskWithoutMemoryReadsZero) {
  SetBase(&mask, nullptr);
  EXPECT_EQ(MaskByteAt(&mask, {1, 1}), 0);
  EXPECT_EQ(MaskByteAt(nullptr, {1, 1}), 0);
}

TEST_F(MaskByteTest, AViewClaimingMoreRowsThanItsLayoutAllowsIsRefused) {
  mask.rowLength = 2;  // cannot hold a row of 5 pixels
  EXPECT_EQ(MaskByteAt(&mask, {1, 1}), 0);
}

}  // namespace
}  // namespace vx
