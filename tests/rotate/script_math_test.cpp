// Arithmetic of the script functions: vectors, the point test, the default
// rectangle and the angle the functions report.
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "effects/geometric/rotate_script.h"
#include "tests/rotate/test_support.h"

namespace vx {
namespace {

using testing_support::Rect;
using testing_support::Tables;

constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();

PointRecord Point(std::int32_t horizontal, std::int32_t vertical) {
  PointRecord p;
  p.vertical = vertical;
  p.horizontal = horizontal;
  return p;
}

TEST(ScriptStatusTest, CodesAreDistinctHostErrors) {
  EXPECT_EQ(static_cast<std::uint32_t>(kScriptBadArgument), 0x800407D9u);
  EXPECT_EQ(static_cast<std::uint32_t>(kScriptPointExpected), 0x800407DDu);
  EXPECT_EQ(static_cast<std::uint32_t>(kScriptRectExpected), 0x800407DEu);
  EXPECT_EQ(static_cast<std::uint32_t>(kScriptArgumentCount), 0x800407E5u);
}

TEST(ScriptAngleTest, FlippedSpritesReportTheNegatedAngleUnmasked) {
  EXPECT_EQ(ScriptCurrentAngle(1, false), 1);
  EXPECT_EQ(ScriptCurrentAngle(1, true), -1);
  EXPECT_EQ(ScriptCurrentAngle(255, true), -255);
  EXPECT_EQ(ScriptCurrentAngle(0, true), 0);
  // As GetAngle reports them in degrees.
  EXPECT_EQ(AngleToDegrees(ScriptCurrentAngle(1, true)), -2);
  EXPECT_EQ(AngleToDegrees(ScriptCurrentAngle(255, false)), 358);
}

class GetVectorTest : public ::testing::Test {
 protected:
  PointRecord Vector(std::int32_t angle, std::int32_t distance) {
    return GetVector(angle, distance, tables.Ref());
  }
  Tables tables;
};

TEST_F(GetVectorTest, QuarterTurns) {
  PointRecord p = Vector(0, 100);
  EXPECT_EQ(p.horizontal, 0);
  EXPECT_EQ(p.vertical, 100);
  p = Vector(DegreesToAngle(90), 100);
  EXPECT_EQ(p.horizontal, 100);
  EXPECT_EQ(p.vertical, 0);
  p = Vector(128, 100);
  EXPECT_EQ(p.horizontal, 0);
  EXPECT_EQ(p.vertical, -100);
  p = Vector(-64, 100);  // the same as 192
  EXPECT_EQ(p.horizontal, -100);
  EXPECT_EQ(p.vertical, 0);
}

TEST_F(GetVectorTest, ShiftsFloorNegativeProducts) {
  // 181 * 100 >> 8 = 70; 181 * -1 >> 8 = -1, not 0.
  PointRecord p = Vector(32, 100);
  EXPECT_EQ(p.horizontal, 70);
  EXPECT_EQ(p.vertical, 70);
  p = Vector(32, -1);
  EXPECT_EQ(p.horizontal, -1);
  EXPECT_EQ(p.vertical, -1);
}

TEST_F(GetVectorTest, LongDistancesDoNotOverflow) {
  PointRecord p = Vector(64, 1 << 30);
  EXPECT_EQ(p.horizontal, 1 << 30);
  EXPECT_EQ(p.vertical, 0);
  p = Vector(0, kIntMin);
  EXPECT_EQ(p.vertical, kIntMin);
  p = Vector(128, kIntMax);
  EXPECT_EQ(p.vertical, -kIntMax);
}

TEST(PointInRotatedRectTest, TheCentreIsAlwaysInside) {
  const RectRecord r = Rect(0, 0, 100, 10);
  for (std::int32_t angle : {0, 1, 32, 64, -77, 1000, kIntMax, kIntMin})
    EXPECT_TRUE(PointInRotatedRect(angle, r, Point(50, 5))) << angle;
  // Even an empty rectangle holds its own centre.
  EXPECT_TRUE(PointInRotatedRect(32, Rect(7, 7, 7, 7), Point(7, 7)));
}

TEST(PointInRotatedRectTest, LongThinRectangleTurnedFortyFiveDegrees) {
  // 100 x 10, centre (50, 5), turned clockwise: its long axis runs from
  // upper left to lower right.
  const RectRecord r = Rect(0, 0, 100, 10);
  EXPECT_TRUE(PointInRotatedRect(32, r, Point(50 - 30, 5 - 30)));
  EXPECT_FALSE(PointInRotatedRect(32, r, Point(50 + 30, 5 - 30)));
  EXPECT_TRUE(PointInRotatedRect(32, r, Point(50 + 30, 5 + 30)));
}

TEST(PointInRotatedRectTest, QuarterTurnStandsTheRectangleUp) {
  const RectRecord r = Rect(0, 0, 100, 10);
  EXPECT_TRUE(PointInRotatedRect(64, r, Point(50, 45)));
  EXPECT_FALSE(PointInRotatedRect(64, r, Point(60, 5)));
  EXPECT_FALSE(PointInRotatedRect(64, r, Point(50, 60)));
}

TEST(PointInRotatedRectTest, UnturnedMatchesTheRectangle) {
  const RectRecord r = Rect(0, 0, 100, 10);
  EXPECT_TRUE(PointInRotatedRect(0, r, Point(99, 5)));
  EXPECT_FALSE(PointInRotatedRect(0, r, Point(100, 5)));
  // Straight below, the single-precision quarter turn has a sine just under
  // 1, and truncation pulls the point on the bottom edge back inside.
  EXPECT_TRUE(PointInRotatedRect(0, r, Point(50, 10)));
  EXPECT_FALSE(PointInRotatedRect(0, r, Point(50, 11)));
  EXPECT_FALSE(PointInRotatedRect(0, r, Point(50, -3)));
  EXPECT_TRUE(PointInRotatedRect(256, r, Point(10, 2)));
}

TEST(PointInRotatedRectTest, FarPointsAreOutsideWithoutOverflow) {
  const RectRecord r = Rect(0, 0, 1 << 23, 10);
  EXPECT_FALSE(PointInRotatedRect(32, r, Point(kIntMax, kIntMin)));
  EXPECT_FALSE(PointInRotatedRect(0, Rect(kIntMin, kIntMin, kIntMin + 5, kIntMin + 5),
                                  Point(kIntMax, kIntMax)));
}

TEST(DefaultScriptRectTest, MaskSizeCentredInTheDestination) {
  // Mask 20 x 10 on a 100 x 50 destination.
  RectRecord r = DefaultScriptRect(Rect(0, 0, 20, 10), Rect(0, 0, 100, 50));
  EXPECT_EQ(r.left, 40);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right, 60);
  EXPECT_EQ(r.bottom, 30);
  // Odd sizes: halves by shift, the width kept.
  r = DefaultScriptRect(Rect(5, 5, 26, 16), Rect(10, 20, 111, 71));
  EXPECT_EQ(r.left, 10 + 50 - 10);
  EXPECT_EQ(r.right, r.left + 21);
  EXPECT_EQ(r.top, 20 + 25 - 5);
  EXPECT_EQ(r.bottom, r.top + 11);
}

TEST(DefaultScriptRectTest, EmptyBeforeTheFirstRender) {
  const RectRecord r = DefaultScriptRect(Rect(0, 0, 0, 0), Rect(0, 0, 0, 0));
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 0);
  EXPECT_EQ(r.bottom, 0);
}

}  // namespace
}  // namespace vx
