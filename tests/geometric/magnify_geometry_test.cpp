// Magnify's arithmetic from its rules: the step of a percentage, the update
// cut to where the scaled picture has a source, the quadrants about the
// fixed point with their walk orders, and the running positions of a walk.
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "effects/geometric/magnify_geometry.h"
#include "framework/animation.h"

namespace vx {
namespace {

TEST(MagnifyStep, IsTheSourceStepOfThePercentage) {
  const struct {
    std::int32_t percentage, step;
  } cases[] = {{100, 256}, {200, 128}, {300, 85},     {50, 512},       {1, 25600},
               {25600, 1}, {25601, 0}, {0, kAbsent}, {-5, kAbsent}, {kAbsent, kAbsent}};
  for (const auto& c : cases) EXPECT_EQ(StepFromPercentage(c.percentage), c.step) << c.percentage;
}

// A sprite of w x h placed at (10, 20) on the stage, drawn with `step` and
// the magnified point moved by (ox, oy) from its centre.
struct Placement {
  AreaRect placed;
  StagePoint centre, point;
};
Placement Place(std::int32_t w, std::int32_t h, std::int32_t ox, std::int32_t oy) {
  Placement p;
  p.placed = MakeRect(10, 20, 10 + w, 20 + h);
  p.centre = {10 + (w >> 1), 20 + (h >> 1)};
  p.point = {p.centre.x + ox, p.centre.y + oy};
  return p;
}

TEST(MagnifyClip, KeepsThePixelsWhoseSourceLiesInTheArea) {
  const struct {
    std::int32_t w, h, ox, oy, step;
    AreaRect expected;
  } cases[] = {
      // Unchanged size, no offset: the whole sprite.
      {100, 100, 0, 0, 256, MakeRect(10, 20, 110, 120)},
      // Shifted 20 to the left inside its outline: the last 20 columns have
      // no source.
      {100, 100, 20, 0, 256, MakeRect(10, 20, 90, 120)},
      {100, 100, 0, -7, 256, MakeRect(10, 27, 110, 120)},
      // Enlarged about the centre: everything has a source.
      {100, 100, 0, 0, 128, MakeRect(10, 20, 110, 120)},
      // Halved: the middle half, with no margin since its edges are far
      // from the point.
      {100, 100, 0, 0, 512, MakeRect(35, 45, 85, 95)},
  };
  for (const auto& c : cases) {
    const Placement p = Place(c.w, c.h, c.ox, c.oy);
    AreaRect update = MakeRect(-1000, -1000, 1000, 1000);
    FixScaleClip(&update, p.placed, p.placed, p.point, c.step);
    EXPECT_TRUE(Equals(update, c.expected))
        << c.step << " " << c.ox << "," << c.oy << ": " << update.left << " " << update.top
        << " " << update.right << " " << update.bottom;
  }
}

TEST(MagnifyClip, AnAreaMissingThePictureLeavesNothing) {
  const Placement p = Place(40, 30, 0, 0);
  AreaRect update = p.placed;
  FixScaleClip(&update, p.placed, MakeRect(500, 500, 600, 600), p.point, 512);
  EXPECT_EQ(update.area, 0);
}

// The quadrants share out the update exactly, and each is walked as the
// rules say: enlarging from its outer corner toward the fixed point,
// reducing from the fixed point outward, a pure shift toward the side the
// offset points to.
TEST(MagnifyQuadrants, CoverTheUpdateOnceInTheirWalkOrder) {
  std::mt19937 rng(11);
  const auto draw = [&](std::int32_t lo, std::int32_t hi) {
    return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng);
  };
  for (int round = 0; round < 500; ++round) {
    const std::int32_t w = draw(1, 40), h = draw(1, 40);
    const std::int32_t ox = draw(-30, 30), oy = draw(-30, 30);
    const std::int32_t step = round % 5 == 0 ? 256 : draw(32, 700);
    const Placement p = Place(w, h, ox, oy);
    AreaRect update = MakeRect(draw(0, 60), draw(10, 70), draw(0, 60), draw(10, 70));
    update = MakeRect(std::min(update.left, update.right), std::min(update.top, update.bottom),
                      std::max(update.left, update.right), std::max(update.top, update.bottom));
    AreaRect clipped;
    Intersect(&clipped, update, p.placed);
    const StagePoint fixed = MagnifyFixedPoint(p.centre, ox, oy, step);
    const auto quadrants = MagnifyQuadrants(p.placed, clipped, fixed, ox, oy, step);
    std::vector<int> covered(static_cast<std::size_t>(w * h), 0);
    for (const MagnifyQuadrant& q : quadrants) {
      if (q.rect.area == 0) continue;
      for (std::int32_t y = q.rect.top; y < q.rect.bottom; ++y)
        for (std::int32_t x = q.rect.left; x < q.rect.right; ++x)
          ++covered[static_cast<std::size_t>((y - 20) * w + (x - 10))];
      const bool rightOfFixed = q.rect.left >= fixed.x;
      const bool belowFixed = q.rect.top >= fixed.y;
      if (step == 256) {
        EXPECT_EQ(q.reverseX, ox < 0);
        EXPECT_EQ(q.reverseY, oy < 0);
      } else {
        // Toward the fixed point: right-hand quadrants walk leftward.
        EXPECT_EQ(q.reverseX, rightOfFixed == (step < 256)) << round;
        EXPECT_EQ(q.reverseY, belowFixed == (step < 256)) << round;
      }
    }
    for (std::int32_t y = 0; y < h; ++y)
      for (std::int32_t x = 0; x < w; ++x) {
        const bool inUpdate = x + 10 >= clipped.left && x + 10 < clipped.right &&
                              y + 20 >= clipped.top && y + 20 < clipped.bottom &&
                              clipped.area != 0;
        ASSERT_EQ(covered[static_cast<std::size_t>(y * w + x)], inUpdate ? 1 : 0) << round;
      }
  }
}

TEST(MagnifyQuadrants, TheFixedPointStaysInPlace) {
  // At 200 % about an offset of (10, -6) the point C + 2 x offset maps to
  // itself: its source is the anchor plus (2 x offset) x 128 / 256.
  const StagePoint c{50, 40};
  const StagePoint f = MagnifyFixedPoint(c, 10, -6, 128);
  EXPECT_EQ(f.x, 70);
  EXPECT_EQ(f.y, 28);
  EXPECT_EQ(MagnifyFixedPoint(c, 10, -6, 256).x, 60);
}

// Positions along every walk order equal the direct product, and far ones
// are held just outside the source.
TEST(MagnifyMappingWalk, PositionsAreTheScaledOffsetsFromTheCentre) {
  std::mt19937 rng(5);
  const auto draw = [&](std::int32_t lo, std::int32_t hi) {
    return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng);
  };
  for (int round = 0; round < 200; ++round) {
    MagnifyQuadrant q;
    q.rect = MakeRect(draw(-20, 20), draw(-20, 20), 0, 0);
    q.rect = MakeRect(q.rect.left, q.rect.top, q.rect.left + draw(1, 12), q.rect.top + draw(1, 12));
    q.reverseX = draw(0, 1) == 1;
    q.reverseY = draw(0, 1) == 1;
    const StagePoint centre{draw(-10, 10), draw(-10, 10)};
    const StagePoint anchor{draw(0, 30), draw(0, 30)};
    const std::int32_t step = round == 0 ? 1 << 30 : draw(1, 900);
    const std::int32_t width = 31, height = 31;
    MagnifyMapping m(q, centre, anchor, step, width, height);
    const auto held = [](std::int64_t v, std::int64_t hi) {
      return v < -256 ? -256 : v > hi ? hi : v;
    };
    // Rows and columns in the quadrant's own order, as the walk visits them.
    for (std::int32_t j = 0; j < q.rect.height; ++j) {
      const std::int32_t row = m.ReverseY() ? q.rect.height - 1 - j : j;
      m.BeginRow(row);
      for (std::int32_t i = 0; i < q.rect.width; ++i, m.Next()) {
        const std::int32_t col = m.ReverseX() ? q.rect.width - 1 - i : i;
        const std::int64_t x = q.rect.left + col, y = q.rect.top + row;
        ASSERT_EQ(m.X(), held(anchor.x * 256 + (x - centre.x) * step, width * 256)) << round;
        ASSERT_EQ(m.Y(), held(anchor.y * 256 + (y - centre.y) * step, height * 256)) << round;
      }
    }
  }
}

}  // namespace
}  // namespace vx
