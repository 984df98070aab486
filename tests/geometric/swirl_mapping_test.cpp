// The swirl's tables and mapping from their rules: uncorrected quarter
// turns, quadrants that share out the update with their falloff signs, no
// turn at angle 0, and the hit-test angle.
#include <cstdint>

#include <gtest/gtest.h>

#include "effects/geometric/swirl_mapping.h"

namespace vx {
namespace {

struct SwirlTables {
  SwirlTables() { BuildUncorrectedAngleTables(sine, cosine); }
  AngleTablesRef Ref() const { return {sine, cosine}; }
  AngleTable sine{};
  AngleTable cosine{};
};

TEST(SwirlTables, KeepTheTruncatedQuarterTurns) {
  const SwirlTables t;
  EXPECT_EQ(t.sine[64], 255);
  EXPECT_EQ(t.sine[192], -255);
  EXPECT_EQ(t.cosine[128], -255);
  EXPECT_EQ(t.cosine[0], 256);
  EXPECT_EQ(t.sine[0], 0);
  EXPECT_EQ(t.sine[32], 181);  // sin 45 deg x 256 = 181.02
}

TEST(SwirlQuadrantsOfDestination, ShareOutTheUpdateWithTheirSigns) {
  const AreaRect destination = MakeRect(0, 0, 9, 6);  // centre (4, 3)
  const auto q = SwirlQuadrants(destination, MakeRect(1, 1, 9, 6));
  EXPECT_TRUE(Equals(q[0].rect, MakeRect(1, 1, 4, 3)));
  EXPECT_TRUE(Equals(q[1].rect, MakeRect(4, 1, 9, 3)));
  EXPECT_TRUE(Equals(q[2].rect, MakeRect(1, 3, 4, 6)));
  EXPECT_TRUE(Equals(q[3].rect, MakeRect(4, 3, 9, 6)));
  const std::int32_t signs[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(q[i].sx, signs[i][0]);
    EXPECT_EQ(q[i].sy, signs[i][1]);
  }
  // An update inside one quadrant leaves the others empty.
  const auto one = SwirlQuadrants(destination, MakeRect(5, 4, 8, 5));
  EXPECT_EQ(one[0].rect.area + one[1].rect.area + one[2].rect.area, 0);
  EXPECT_EQ(one[3].rect.area, 3);
}

// With no swirl every pixel samples its own place; with one, the pixels on
// the half box's border are not turned while those inside are.
TEST(SwirlMappingWalk, TurnsNothingAtAngleZeroAndNothingOnTheBorder) {
  const SwirlTables t;
  for (std::int32_t angle : {0, 64}) {
    SwirlFrame frame{angle, 5, 4, 20, 30, 7, 6};  // mask 9 x 7 (hw 5, hh 4)
    const SwirlQuadrant q{MakeRect(15, 26, 20, 30), 1, 1};  // top-left quadrant
    SwirlMapping m(frame, q, t.Ref());
    for (std::int32_t y = q.rect.top; y < q.rect.bottom; ++y) {
      m.BeginRow(y - q.rect.top);
      for (std::int32_t x = q.rect.left; x < q.rect.right; ++x, m.Next()) {
        const FixedPoint p{m.X(), m.Y()};
        const FixedPoint same{(frame.originX + x - frame.cx) * 256,
                              (frame.originY + y - frame.cy) * 256};
        // Row 26 (dy -4) and column 15 (dx -5) lie on the half box.
        const bool unturned = angle == 0 || y == frame.cy - frame.hh || x == frame.cx - frame.hw;
        if (unturned) {
          EXPECT_EQ(p.x, same.x) << x << "," << y;
          EXPECT_EQ(p.y, same.y) << x << "," << y;
        } else if (x != frame.cx || y != frame.cy) {
          EXPECT_TRUE(p.x != same.x || p.y != same.y) << x << "," << y;
        }
      }
    }
  }
}

TEST(SwirlHitAngle, IsWholeAtTheCentreAndFallsOffToNothing) {
  EXPECT_EQ(SwirlAngleAt(0, 0, 10, 8, 100), 100);
  EXPECT_EQ(SwirlAngleAt(0, 0, 10, 8, -1), 255);
  EXPECT_EQ(SwirlAngleAt(10, 0, 10, 8, 100), 0);
  EXPECT_EQ(SwirlAngleAt(-3, 40, 10, 8, 100), 0);
  EXPECT_EQ(SwirlAngleAt(5, -4, 10, 8, 100), 25);  // 100 x 1/2 x 1/2
  EXPECT_EQ(SwirlAngleAt(2, 2, 0, 8, 100), 0);     // no half: no turn
}

}  // namespace
}  // namespace vx
