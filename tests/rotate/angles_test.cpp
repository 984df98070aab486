// Angle unit, angle tables and aiming.
#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "effects/geometric/rotate_angles.h"
#include "tests/rotate/test_support.h"

namespace vx {
namespace {

constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();

using testing_support::Rect;

class AngleTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { BuildAngleTables(sine, cosine); }
  AngleTable sine{};
  AngleTable cosine{};
};

TEST_F(AngleTablesTest, QuarterTurnsAreExact) {
  EXPECT_EQ(cosine[0], 256);
  EXPECT_EQ(sine[64], 256);
  EXPECT_EQ(cosine[128], -256);
  EXPECT_EQ(sine[192], -256);
  EXPECT_EQ(sine[0], 0);
  EXPECT_EQ(cosine[64], 0);
  EXPECT_EQ(sine[128], 0);
  EXPECT_EQ(cosine[192], 0);
}

TEST_F(AngleTablesTest, NeighboursOfQuarterTurnsKeepTheirTruncatedValues) {
  EXPECT_EQ(sine[63], 255);
  EXPECT_EQ(sine[65], 255);
  EXPECT_EQ(cosine[127], -255);
  EXPECT_EQ(cosine[129], -255);
  // 256 / sqrt(2) = 181.02
  EXPECT_EQ(sine[32], 181);
  EXPECT_EQ(cosine[32], 181);
}

TEST_F(AngleTablesTest, EveryEntryIsTheTruncatedEightDotEightValue) {
  for (int i = 0; i < 256; ++i) {
    const double a = i * 2 * M_PI / 256;
    const double s = 256 * std::sin(a), c = 256 * std::cos(a);
    // Truncation toward zero: never further from zero than the true value
    // (bar the three corrected entries, which are exact), and less than one below.
    EXPECT_LT(std::abs(sine[i] - s), 1.0) << i;
    EXPECT_LT(std::abs(cosine[i] - c), 1.0) << i;
    EXPECT_LE(std::abs(sine[i]), std::abs(s) + 1e-6) << i;
    EXPECT_LE(std::abs(cosine[i]), std::abs(c) + 1e-6) << i;
  }
}

TEST(AngleUnitTest, DegreesTruncateTowardZero) {
  EXPECT_EQ(DegreesToAngle(90), 64);
  EXPECT_EQ(DegreesToAngle(-45), -32);
  EXPECT_EQ(DegreesToAngle(360), 256);
  EXPECT_EQ(DegreesToAngle(359), 255);
  EXPECT_EQ(DegreesToAngle(-1), 0);
  EXPECT_EQ(DegreesToAngle(720), 512);
}

TEST(AngleUnitTest, HugeDegreeCountsDoNotWrap) {
  // 2147483647 * 256 / 360 = 1527099482.3
  EXPECT_EQ(DegreesToAngle(kIntMax), 1527099482);
  EXPECT_EQ(DegreesToAngle(kIntMin), -1527099483);
}

TEST(AngleUnitTest, RadiansTruncateTowardZero) {
  EXPECT_EQ(RadiansToAngle(3.14159), 127);
  EXPECT_EQ(RadiansToAngle(-3.14159), -127);
  EXPECT_EQ(RadiansToAngle(6.283185307), 256);
  EXPECT_EQ(RadiansToAngle(0.0245), 0);  // just under 1/256 turn
}

TEST(AngleUnitTest, RadiansOutsideTheIntegerRangeSaturate) {
  EXPECT_EQ(RadiansToAngle(1e300), kIntMax);
  EXPECT_EQ(RadiansToAngle(-1e300), kIntMin);
  EXPECT_EQ(RadiansToAngle(std::nan("")), 0);
  EXPECT_EQ(RadiansToAngle(std::numeric_limits<double>::infinity()), kIntMax);
}

TEST(AngleUnitTest, DegreesOutUseAnArithmeticShift) {
  EXPECT_EQ(AngleToDegrees(1), 1);  // 360 >> 8
  EXPECT_EQ(AngleToDegrees(-1), -2);
  EXPECT_EQ(AngleToDegrees(64), 90);
  EXPECT_EQ(AngleToDegrees(128), 180);
  EXPECT_EQ(AngleToDegrees(255), 358);  // never 360
  EXPECT_EQ(AngleToDegrees(-255), -359);
  EXPECT_EQ(AngleToDegrees(kIntMax), static_cast<std::int32_t>((std::int64_t{kIntMax} * 360) >> 8));
}

TEST(AngleUnitTest, RadiansOut) {
  EXPECT_NEAR(AngleToRadians(64), 1.570796327, 1e-9);
  EXPECT_NEAR(AngleToRadians(-128), -3.141592654, 1e-9);
  EXPECT_EQ(AngleToRadians(0), 0.0);
}

TEST(AngleUnitTest, AngleIndexWrapsAnyInteger) {
  EXPECT_EQ(AngleIndex(0), 0);
  EXPECT_EQ(AngleIndex(256), 0);
  EXPECT_EQ(AngleIndex(-1), 255);
  EXPECT_EQ(AngleIndex(-256 - 64), 192);
  EXPECT_EQ(AngleIndex(kIntMin), 0);
  EXPECT_EQ(AngleIndex(kIntMax), 255);
}

// Sprite 100 x 50 at the origin: centre (50, 25).
TEST(AimAtPointTest, PointOnTheSpritesOwnRowGivesSixtyThree) {
  const RectRecord sprite = Rect(0, 0, 100, 50);
  // 1.5707 rad, not a quarter turn: 63.997 truncates to 63.
  EXPECT_EQ(AimAtPoint(sprite, 90, 25, false, 0), 63);
  EXPECT_EQ(AimAtPoint(sprite, 10, 25, false, 0), -63);
  EXPECT_EQ(AimAtPoint(sprite, 50, 25, false, 0), 63);  // the centre itself
}

TEST(AimAtPointTest, TopTurnsTowardThePoint) {
  const RectRecord sprite = Rect(0, 0, 100, 50);
  EXPECT_EQ(AimAtPoint(sprite, 50, 0, false, 0), 0);     // straight up
  EXPECT_EQ(AimAtPoint(sprite, 75, 0, false, 0), 32);    // up and right, 45 deg
  EXPECT_EQ(AimAtPoint(sprite, 25, 0, false, 0), -32);   // up and left
  EXPECT_EQ(AimAtPoint(sprite, 75, 50, false, 0), 96);   // down and right, 135 deg
  EXPECT_EQ(AimAtPoint(sprite, 50, 100, false, 0), 128); // straight down
}

TEST(AimAtPointTest, FlipMirrorsAndTheOffsetIsAddedAfter) {
  const RectRecord sprite = Rect(0, 0, 100, 50);
  EXPECT_EQ(AimAtPoint(sprite, 75, 0, true, 0), -32);
  EXPECT_EQ(AimAtPoint(sprite, 90, 25, true, 10), -53);
  EXPECT_EQ(AimAtPoint(sprite, 50, 100, true, 10), -118);
  EXPECT_EQ(AimAtPoint(sprite, 50, 0, false, -300), -300);
}

TEST(AimAtPointTest, FarPointsDoNotOverflow) {
  const RectRecord sprite = Rect(kIntMin, 0, kIntMin + 100, 50);
  EXPECT_EQ(AimAtPoint(sprite, kIntMax, 25, false, 0), 63);
  // Twice as far right as up: atan(2) = 1.107 rad = 45.1 steps, near or far.
  EXPECT_EQ(AimAtPoint(Rect(0, 0, 100, 50), 250, -75, false, 0), 45);
  EXPECT_EQ(AimAtPoint(sprite, kIntMax, kIntMin + 25, false, 0), 45);
}

}  // namespace
}  // namespace vx
