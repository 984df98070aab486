// Mapping vectors, rotated bounds, walk start points, the interpolation
// decision and the hit-test mapping.
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

// Rectangle 100 x 50 at the origin, centre (50, 25). The values are the
// rules' truncations; each lies within two pixels of the exact geometric box.
TEST_F(RotateGeometryTest, RotatedBoundsOfAKnownRectangle) {
  const RectRecord r = Rect(0, 0, 100, 50);
  ExpectRect(RotatedBounds(0, r, tables.Ref()), 0, 0, 100, 50);
  // Exact: (25, -25, 75, 75).
  ExpectRect(RotatedBounds(64, r, tables.Ref()), 24, -24, 74, 76);
  // Exact: (0, 0, 100, 50).
  ExpectRect(RotatedBounds(128, r, tables.Ref()), 0, -1, 100, 49);
  // Exact: centre +- 53.03 both ways, (-3.03, -28.03, 103.03, 78.03).
  ExpectRect(RotatedBounds(32, r, tables.Ref()), -4, -28, 102, 77);
}

TEST_F(RotateGeometryTest, RotatedBoundsUsesTheUnmaskedAngleForTheCorner) {
  // 320 picks the same table entries as 64, but its corner angle is a full
  // turn further on and rounds differently in single precision.
  ExpectRect(RotatedBounds(320, Rect(0, 0, 100, 50), tables.Ref()), 24, -25, 74, 75);
  ExpectRect(RotatedBounds(32, Rect(1000, -500, 1100, -450), tables.Ref()), 996, -528, 1102,
             -423);
}

TEST_F(RotateGeometryTest, RotatedBoundsOfHugeRectanglesDoNotOverflow) {
  const std::int32_t side = 1 << 23;
  ExpectRect(RotatedBounds(0, Rect(0, 0, side, side), tables.Ref()), 0, 0, side, side);
  ExpectRect(RotatedBounds(64, Rect(0, 0, side, side), tables.Ref()), 0, 0, side, side);
  ExpectRect(RotatedBounds(64, Rect(0, 0, side, 1), tables.Ref()), side / 2 - 1, -side / 2,
             side / 2, side / 2);
  // 45 degrees: exact half-diagonal 5931641.6 about the centre 4194304; the
  // 8.8 entries (181/256 for 0.7071) shrink the far edges a little.
  const RectRecord b = RotatedBounds(32, Rect(0, 0, side, side), tables.Ref());
  ExpectRect(b, -1736704, -1737337, 10125312, 10124679);
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

WalkFrame Frame(std::int32_t destW, std::int32_t destH, std::int32_t maskW, std::int32_t maskH) {
  return WalkFrame{destW, destH, maskW, maskH, 0, 0};
}

TEST_F(RotateGeometryTest, RenderStartIsTheDestinationCornerInMaskCoordinates) {
  // Unturned, same size: the corner is the mask's first pixel.
  FixedPoint p = RenderStartPoint(Frame(100, 50, 100, 50), 0, false);
  EXPECT_EQ(p.x >> 8, 0);
  EXPECT_EQ(p.y >> 8, 0);
  // A 100 x 50 mask centred on a 640 x 480 stage: the stage corner is 270
  // columns left of and 215 rows above the mask's first pixel.
  p = RenderStartPoint(Frame(640, 480, 100, 50), 0, false);
  EXPECT_EQ(p.x, -270 * 256);
  EXPECT_EQ(p.y, -215 * 256);
  // The sub-view's own position moves the origin.
  WalkFrame moved = Frame(640, 480, 100, 50);
  moved.maskSubLeft = 10;
  moved.maskSubTop = -3;
  const FixedPoint q = RenderStartPoint(moved, 0, false);
  EXPECT_EQ(q.x, p.x - 10 * 256);
  EXPECT_EQ(q.y, p.y + 3 * 256);
}

TEST_F(RotateGeometryTest, FlippedRenderStartsFromTheMirroredCorner) {
  // Mirrored about the mask's centre column (50): the stage's top-left corner
  // samples 320 columns right of the centre, at the same row.
  const FixedPoint plain = RenderStartPoint(Frame(640, 480, 100, 50), 0, false);
  const FixedPoint flipped = RenderStartPoint(Frame(640, 480, 100, 50), 0, true);
  EXPECT_EQ(flipped.y, plain.y);
  EXPECT_EQ(flipped.x, (50 + 320) * 256);
  EXPECT_EQ(flipped.x + plain.x, 2 * 50 * 256);
}

TEST_F(RotateGeometryTest, QuarterTurnedRenderStartsAtTheBottomLeftCorner) {
  // Turned clockwise, the destination's top-left corner comes from the
  // source's bottom-left corner (0, 4) of a 4 x 4 sprite.
  const FixedPoint p = RenderStartPoint(Frame(4, 4, 4, 4), InverseAngleIndex(64), false);
  EXPECT_EQ(p.x >> 8, 0);
  EXPECT_EQ(p.y, 4 * 256);
}

TEST_F(RotateGeometryTest, AlphaStartIsAWholePixel) {
  for (std::int32_t u : {0, 7, 32, 64, 200}) {
    for (bool flip : {false, true}) {
      const FixedPoint p = AlphaStartPoint(Frame(101, 51, 100, 50), u, flip);
      EXPECT_EQ(p.x & 255, 0) << u;
      EXPECT_EQ(p.y & 255, 0) << u;
    }
  }
  // Half sizes 50 x 25: the corner (-49.99..., -25) truncates to column 1.
  const FixedPoint p = AlphaStartPoint(Frame(100, 50, 100, 50), 0, false);
  EXPECT_EQ(p.x, 256);
  EXPECT_EQ(p.y, 0);
  const FixedPoint flipped = AlphaStartPoint(Frame(640, 480, 100, 50), 0, true);
  EXPECT_EQ(flipped.x, (50 + 320) * 256);
}

TEST_F(RotateGeometryTest, StartPointsOfHugeDestinations) {
  const std::int32_t side = 1 << 23;
  // Unturned: the corner is the first pixel, whatever the size.
  FixedPoint p = RenderStartPoint(Frame(side, side, side, side), 0, false);
  EXPECT_LT(std::abs(p.x), 256);
  EXPECT_LT(std::abs(p.y), 256);
  // Inverse index 32 turns the corner straight above the centre, half a
  // diagonal up.
  p = RenderStartPoint(Frame(side, side, side, side), 32, false);
  EXPECT_NEAR(p.x / 256.0, side / 2, 1.0);
  EXPECT_NEAR(p.y / 256.0, side / 2 - side * M_SQRT1_2, 2.0);
  const FixedPoint q = AlphaStartPoint(Frame(kIntMax, kIntMax, 1, 1), 32, true);
  EXPECT_EQ(q.x & 255, 0);
  EXPECT_EQ(q.y & 255, 0);
}

TEST_F(RotateGeometryTest, AdvanceStartMovesByWholeSteps) {
  const MappingVectors m = ComputeMappingVectors(InverseAngleIndex(32), false, tables.Ref());
  const FixedPoint p = AdvanceStart({100, 200}, m, 3, 2);
  EXPECT_EQ(p.x, 100 + 3 * 181 + 2 * 181);
  EXPECT_EQ(p.y, 200 - 3 * 181 + 2 * 181);
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

// Mask 100 x 50 placed at the origin: centre (50, 25).
TEST_F(RotateGeometryTest, HitMappingUnturned) {
  const RectRecord placed = Rect(0, 0, 100, 50);
  const auto at = [&](std::int32_t x, std::int32_t y, std::int32_t u, bool flip) {
    const MaskPosition p = MapHitToMask(x, y, placed, u, flip, tables.Ref());
    return std::make_pair(p.column, p.row);
  };
  for (std::int32_t u : {0, 33, 192})
    for (bool flip : {false, true}) EXPECT_EQ(at(50, 25, u, flip), std::make_pair(50, 25));
  EXPECT_EQ(at(60, 25, 0, false), std::make_pair(60, 25));
  EXPECT_EQ(at(50, 15, 0, false), std::make_pair(50, 15));
  EXPECT_EQ(at(50, 35, 0, false), std::make_pair(50, 35));
}

TEST_F(RotateGeometryTest, HitMappingTurnedAndMirrored) {
  const RectRecord placed = Rect(0, 0, 100, 50);
  // Turned a quarter clockwise, the sprite's top now faces right.
  MaskPosition p = MapHitToMask(60, 25, placed, InverseAngleIndex(64), false, tables.Ref());
  EXPECT_EQ(p.column, 50);
  EXPECT_EQ(p.row, 15);
  // Turned 45 degrees: (7, 7) right-below the centre lies on the top edge's
  // direction, 9.9 pixels out.
  p = MapHitToMask(57, 32, placed, InverseAngleIndex(32), false, tables.Ref());
  EXPECT_EQ(p.column, 59);
  EXPECT_EQ(p.row, 25);
  // Mirrored: a point right of the centre shows the mask left of it.
  p = MapHitToMask(60, 25, placed, 0, true, tables.Ref());
  EXPECT_EQ(p.column, 40);
  EXPECT_EQ(p.row, 25);
}

TEST_F(RotateGeometryTest, HitMappingCountsFromThePlacedRectangle) {
  const MaskPosition p = MapHitToMask(1060, -15, Rect(1000, -40, 1100, 10), 0, false, tables.Ref());
  EXPECT_EQ(p.column, 60);
  EXPECT_EQ(p.row, 25);
  const MaskPosition far = MapHitToMask(kIntMax, kIntMin, Rect(kIntMin, kIntMax - 10, kIntMin + 10,
                                                              kIntMax), 17, true, tables.Ref());
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
