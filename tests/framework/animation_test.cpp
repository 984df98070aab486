#include <gtest/gtest.h>

#include <vector>

#include "framework/animation.h"

namespace vx {
namespace {

// Frames shown by `renders` renders after an animation start.
std::vector<std::int32_t> Shown(std::int32_t mode, std::int32_t frameCount, int renders,
                                AnimState* end = nullptr) {
  AnimState s = {mode, frameCount, 0, 1, 0};
  std::vector<std::int32_t> frames;
  for (int i = 0; i < renders; ++i) {
    StepFrame(&s);
    frames.push_back(s.frame);
  }
  if (end) *end = s;
  return frames;
}

TEST(StepFrame, RangeRunsToTheEndAndStays) {
  AnimState end;
  EXPECT_EQ(Shown(kModeRange, 4, 7, &end), (std::vector<std::int32_t>{1, 2, 3, 4, 4, 4, 4}));
  EXPECT_EQ(end.finished, 1);
}

TEST(StepFrame, RangeOfOneFrameShowsTheEndAtOnce) {
  AnimState end;
  EXPECT_EQ(Shown(kModeRange, 1, 1, &end), (std::vector<std::int32_t>{1}));
  EXPECT_EQ(end.finished, 1);
}

TEST(StepFrame, InfiniteNeverShowsTheLastFrame) {
  EXPECT_EQ(Shown(kModeInfinite, 3, 7), (std::vector<std::int32_t>{1, 2, 0, 1, 2, 0, 1}));
}

TEST(StepFrame, PendulumShowsEachTurnOnce) {
  EXPECT_EQ(Shown(kModePendulum, 3, 9),
            (std::vector<std::int32_t>{1, 2, 3, 2, 1, 0, 1, 2, 3}));
}

TEST(StepFrame, FinishedOrStaticStateDoesNotMove) {
  AnimState stopped = {kModeRange, 10, 5, 1, 1};
  StepFrame(&stopped);
  EXPECT_EQ(stopped.frame, 5);
  AnimState fixed = kCreateAnimState;
  EnterStatic(&fixed, nullptr);
  StepFrame(&fixed);
  EXPECT_EQ(fixed.frame, 1);
  EXPECT_EQ(fixed.frameCount, -1);
}

TEST(StepFrame, ResumedStaticStateStaysOnItsFrame) {
  AnimState s = kCreateAnimState;
  EnterStatic(&s, nullptr);
  s.finished = 0;  // Resume after a static setting
  for (int i = 0; i < 3; ++i) StepFrame(&s);
  EXPECT_EQ(s.frame, 1);
}

struct Plan {
  std::int32_t in, out, linear;
  float accelIn, accelOut, speed;
};

Plan PlanOf(std::int32_t n, std::int32_t delta, std::int32_t in, std::int32_t out) {
  Plan p{in, out, 0, -1, -1, -1};
  PlanEase(n, delta, &p.in, &p.out, &p.linear, &p.accelIn, &p.accelOut, &p.speed);
  return p;
}

TEST(PlanEase, EaseOutIsCutToWhatTheEaseInLeaves) {
  const Plan p = PlanOf(10, 100, 4, 8);
  EXPECT_EQ(p.in, 4);
  EXPECT_EQ(p.out, 6);
  EXPECT_EQ(p.linear, 0);
  EXPECT_FLOAT_EQ(p.speed, 20.0f);  // 100 / (0 + 10 / 2)
  EXPECT_FLOAT_EQ(p.accelIn, 5.0f);
  EXPECT_FLOAT_EQ(p.accelOut, 20.0f / 6.0f);
}

TEST(PlanEase, EaseInLongerThanTheAnimationTakesItAll) {
  const Plan p = PlanOf(10, 50, 12, 3);
  EXPECT_EQ(p.in, 10);
  EXPECT_EQ(p.out, 0);
  EXPECT_EQ(p.linear, 0);
  EXPECT_FLOAT_EQ(p.speed, 10.0f);
  EXPECT_FLOAT_EQ(p.accelOut, 0.0f);
}

TEST(PlanEase, EaseOutLongerThanTheAnimationTakesItAll) {
  const Plan p = PlanOf(8, 40, 2, 9);
  EXPECT_EQ(p.in, 0);
  EXPECT_EQ(p.out, 8);
  EXPECT_EQ(p.linear, 0);
  EXPECT_FLOAT_EQ(p.speed, 10.0f);
  EXPECT_FLOAT_EQ(p.accelIn, 0.0f);
}

TEST(PlanEase, HalfFramesOfEasingCountInTheDivisor) {
  // 7 linear frames and 3 ease frames: 85 / 8.5.
  const Plan p = PlanOf(10, 85, 3, 0);
  EXPECT_EQ(p.linear, 7);
  EXPECT_FLOAT_EQ(p.speed, 10.0f);
}

TEST(PlanEase, NegativeEaseLengthsCountAsNone) {
  const Plan p = PlanOf(10, 30, -5, -2);
  EXPECT_EQ(p.in, 0);
  EXPECT_EQ(p.out, 0);
  EXPECT_EQ(p.linear, 10);
  EXPECT_FLOAT_EQ(p.speed, 3.0f);
}

TEST(EasedOffset, WithoutEasingTruncatesTowardZero) {
  const Plan up = PlanOf(4, 10, 0, 0);
  const Plan down = PlanOf(4, -10, 0, 0);
  const std::int32_t expectUp[] = {0, 2, 5, 7, 10};
  const std::int32_t expectDown[] = {0, -2, -5, -7, -10};
  for (int t = 0; t <= 4; ++t) {
    EXPECT_EQ(EasedOffset(up.speed, up.accelIn, up.accelOut, up.linear, up.in, up.out, t),
              expectUp[t]);
    EXPECT_EQ(EasedOffset(down.speed, down.accelIn, down.accelOut, down.linear, down.in,
                          down.out, t),
              expectDown[t]);
  }
}

TEST(EasedOffset, EachPartIsTruncatedOnItsOwn) {
  // Speed 90 / (6 + 2) = 11.25, accelerations 5.625. The truncated partial
  // sums lose a unit: the last frame reaches 89, not 90.
  const Plan p = PlanOf(10, 90, 2, 2);
  auto at = [&](std::int32_t t) {
    return EasedOffset(p.speed, p.accelIn, p.accelOut, p.linear, p.in, p.out, t);
  };
  EXPECT_EQ(at(0), 0);
  EXPECT_EQ(at(1), 2);   // 1 x 5.625 / 2
  EXPECT_EQ(at(2), 11);  // 4 x 5.625 / 2
  EXPECT_EQ(at(3), 22);  // trunc(11.25 + 11)
  EXPECT_EQ(at(9), 86);  // 11.25 - 2.8125 + 78
  EXPECT_EQ(at(10), 89);
}

TEST(AnimatedValue, StaticSettingKeepsTheShownValueWhenNoneIsGiven) {
  EaseFrames f;
  AnimatedValue v;
  v.start = 10;
  PlanTo(&v, &f, 4, 30);  // 5 per frame
  SettleStatic(&v, f, 2, kAbsent);
  EXPECT_EQ(v.start, 20);
  EXPECT_EQ(ValueAt(v, f, 3), 20);
  SettleStatic(&v, f, 3, 7);
  EXPECT_EQ(ValueAt(v, f, 1), 7);
}

TEST(AnimatedValue, DefaultEndOfARunningAnimationIsItsEnd) {
  EaseFrames f;
  AnimatedValue v;
  v.start = 100;
  PlanTo(&v, &f, 5, 50);
  AnimState running = {kModeRange, 5, 2, 1, 0};
  EXPECT_EQ(DefaultEnd(&v, f, running), 50);
  EXPECT_EQ(v.start, 100);
}

TEST(AnimatedValue, DefaultEndAfterAStopFoldsTheShownValue) {
  EaseFrames f;
  AnimatedValue v;
  v.start = 100;
  PlanTo(&v, &f, 5, 50);  // -10 per frame
  AnimState stopped = {kModeRange, 5, 2, 1, 1};
  EXPECT_EQ(DefaultEnd(&v, f, stopped), 80);
  EXPECT_EQ(v.start, 80);
}

TEST(AnimatedValue, HugeDeltaDoesNotOverflow) {
  EXPECT_EQ(ClampedDelta(2000000000, -2000000000), 2147483647);
  EXPECT_EQ(ClampedDelta(-2000000000, 2000000000), -2147483647 - 1);
}

TEST(AnimState, StaticSettingRestartsOnlyWhenLeavingAnAnimation) {
  AnimState s = {kModePendulum, 10, 4, -1, 0};
  std::int32_t restarted = 0;
  EnterStatic(&s, &restarted);
  EXPECT_EQ(restarted, 1);
  EXPECT_EQ(s.mode, kModeStatic);
  EXPECT_EQ(s.frameCount, -1);
  EXPECT_EQ(s.frame, 1);
  EXPECT_EQ(s.direction, 0);
  EXPECT_EQ(s.finished, 1);
  restarted = 0;
  EnterStatic(&s, &restarted);
  EXPECT_EQ(restarted, 0);
  EnterRunning(&s, kModeInfinite);
  EXPECT_EQ(s.mode, kModeInfinite);
  EXPECT_EQ(s.frame, 0);
  EXPECT_EQ(s.direction, 1);
  EXPECT_EQ(s.finished, 0);
  EXPECT_EQ(UsableFrameCount(0), 1);
}

}  // namespace
}  // namespace vx
