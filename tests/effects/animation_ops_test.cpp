// NeedsRedraw, IsStill, Stop, Resume and Reset: how each effect reports and
// changes its animation between frames. The state is set in the instance as
// SetProperties and Render would leave it, so these rules are checked apart
// from any effect's drawing.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "effect_table.h"
#include "framework/effect_class.h"
#include "host/core/host.h"

namespace vx::host {
namespace {

// How an effect answers; each line of the table below is one effect's rules.
enum class Redraw { kRunningReasonOrPending, kRunningOrPending, kRunning, kAlways };
enum class Still { kStaticOrFinished, kFinishedUnlessReason2, kStaticOrFinishedUnlessReason2,
                   kStatic, kNever };
enum class Changed { kUnlessStatic, kAlways, kNever };

struct Rules {
  const Guid* classId;
  const char* name;
  Redraw redraw;
  Still still;
  Changed stopChanged;
  Changed resumeChanged;
  bool resetWritesB;
};

// Rotate's rules arrive with its own operations and are tested there.
const Rules kRules[] = {
    {&kMosaicClassId, "mosaic", Redraw::kRunningReasonOrPending, Still::kStaticOrFinished,
     Changed::kUnlessStatic, Changed::kUnlessStatic, true},
    {&kSwirlClassId, "swirl", Redraw::kRunningReasonOrPending, Still::kFinishedUnlessReason2,
     Changed::kUnlessStatic, Changed::kUnlessStatic, true},
    {&kMagnifyClassId, "magnify", Redraw::kRunningReasonOrPending,
     Still::kStaticOrFinishedUnlessReason2, Changed::kUnlessStatic, Changed::kAlways, false},
    {&kRgbClassId, "rgb", Redraw::kRunningOrPending, Still::kStaticOrFinished,
     Changed::kUnlessStatic, Changed::kUnlessStatic, true},
    {&kHsbClassId, "hsb", Redraw::kRunningOrPending, Still::kStaticOrFinished,
     Changed::kUnlessStatic, Changed::kUnlessStatic, true},
    {&kLineSkipClassId, "lineskip", Redraw::kRunningOrPending, Still::kStaticOrFinished,
     Changed::kUnlessStatic, Changed::kUnlessStatic, true},
    {&kSnowClassId, "snow", Redraw::kRunning, Still::kStatic, Changed::kAlways, Changed::kAlways,
     false},
    {&kPointelClassId, "pointel", Redraw::kAlways, Still::kNever, Changed::kNever,
     Changed::kAlways, false},
};

// mode, frame count, frame, direction, finished
constexpr AnimState kStaticPending = {kModeStatic, -1, 1, 0, 1};
constexpr AnimState kStaticSettled = {kModeStatic, 0, 1, 0, 1};
constexpr AnimState kRunning = {kModePendulum, 10, 4, -1, 0};
constexpr AnimState kRangeOver = {kModeRange, 10, 10, 1, 1};

bool IsPending(const AnimState& s) { return s.frameCount == -1; }

std::int32_t ExpectedRedraw(Redraw rule, const AnimState& s, std::int32_t reason) {
  switch (rule) {
    case Redraw::kRunningReasonOrPending:
      return s.finished == 0 || reason == 2 || IsPending(s);
    case Redraw::kRunningOrPending:
      return s.finished == 0 || IsPending(s);
    case Redraw::kRunning:
      return s.finished == 0;
    case Redraw::kAlways:
      return 1;
  }
  return -1;
}

std::int32_t ExpectedStill(Still rule, const AnimState& s, std::int32_t reason) {
  const bool staticOrFinished = s.mode == kModeStatic || s.finished == 1;
  switch (rule) {
    case Still::kStaticOrFinished:
      return staticOrFinished;
    case Still::kFinishedUnlessReason2:
      return s.finished == 1 && reason != 2;
    case Still::kStaticOrFinishedUnlessReason2:
      return staticOrFinished && reason != 2;
    case Still::kStatic:
      return s.mode == kModeStatic;
    case Still::kNever:
      return 0;
  }
  return -1;
}

bool WritesChanged(Changed rule, const AnimState& s) {
  return rule == Changed::kAlways || (rule == Changed::kUnlessStatic && s.mode != kModeStatic);
}

class AnimationOps : public ::testing::Test {
 protected:
  struct Live : LiveEffect {
    AnimState& anim() { return static_cast<EffectInstance*>(instance->Memory())->anim; }
  };

  Live Open(const Guid& classId) { return Live{OpenEffect(host_, classId)}; }

  Host host_{VX_MODULE_PATH};
  Services services_ = host_.MakeServices();
};

TEST_F(AnimationOps, NeedsRedrawAndIsStillFollowEachEffectsRule) {
  for (const Rules& rules : kRules) {
    for (const AnimState& state : {kStaticPending, kStaticSettled, kRunning, kRangeOver}) {
      for (std::int32_t reason : {0, 1, 2}) {
        SCOPED_TRACE(::testing::Message() << rules.name << " mode " << state.mode << " frames "
                                          << state.frameCount << " finished " << state.finished
                                          << " reason " << reason);
        Live live = Open(*rules.classId);
        ASSERT_TRUE(live.effect);
        EffectInterface* e = live.effect.get();
        live.anim() = state;

        std::int32_t still = -1;
        ASSERT_EQ(e->ops->IsStill(e, &still, reason), kOk);
        EXPECT_EQ(still, ExpectedStill(rules.still, state, reason));

        std::int32_t redraw = -1;
        ASSERT_EQ(e->ops->NeedsRedraw(e, &redraw, reason), kOk);
        EXPECT_EQ(redraw, ExpectedRedraw(rules.redraw, state, reason));
        // The pending redraw of a static setting is answered once.
        if (IsPending(state) && rules.redraw != Redraw::kRunning &&
            rules.redraw != Redraw::kAlways) {
          EXPECT_EQ(live.anim().frameCount, 0);
          ASSERT_EQ(e->ops->NeedsRedraw(e, &redraw, 0), kOk);
          EXPECT_EQ(redraw, 0);
        } else {
          EXPECT_EQ(live.anim().frameCount, state.frameCount);
        }
      }
    }
  }
}

TEST_F(AnimationOps, StopAndResumeFreezeAndThawTheFrame) {
  for (const Rules& rules : kRules) {
    for (const AnimState& state : {kStaticSettled, kRunning}) {
      SCOPED_TRACE(::testing::Message() << rules.name << " mode " << state.mode);
      Live live = Open(*rules.classId);
      ASSERT_TRUE(live.effect);
      EffectInterface* e = live.effect.get();
      live.anim() = state;

      std::int32_t changed = 0;
      ASSERT_EQ(e->ops->Stop(e, 0, &changed), kOk);
      EXPECT_EQ(changed, WritesChanged(rules.stopChanged, state) ? 1 : 0);
      EXPECT_EQ(live.anim().finished, 1);
      EXPECT_EQ(live.anim().frame, state.frame);

      changed = 0;
      ASSERT_EQ(e->ops->Resume(e, 0, &changed), kOk);
      EXPECT_EQ(changed, WritesChanged(rules.resumeChanged, state) ? 1 : 0);
      // Resumed where it stopped: the same frame, walking the same way.
      EXPECT_EQ(live.anim().finished, 0);
      EXPECT_EQ(live.anim().frame, state.frame);
      EXPECT_EQ(live.anim().direction, state.direction);
      EXPECT_EQ(live.anim().frameCount, state.frameCount);
      EXPECT_EQ(live.anim().mode, state.mode);
    }
  }
}

TEST_F(AnimationOps, StoppedAnimationIsStillAndResumedOneRunsAgain) {
  Live live = Open(kRgbClassId);
  ASSERT_TRUE(live.effect);
  EffectInterface* e = live.effect.get();
  live.anim() = kRunning;
  std::int32_t changed = 0, flag = -1;
  ASSERT_EQ(e->ops->Stop(e, 0, &changed), kOk);
  ASSERT_EQ(e->ops->IsStill(e, &flag, 0), kOk);
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(e->ops->NeedsRedraw(e, &flag, 0), kOk);
  EXPECT_EQ(flag, 0);
  ASSERT_EQ(e->ops->Resume(e, 0, &changed), kOk);
  ASSERT_EQ(e->ops->IsStill(e, &flag, 0), kOk);
  EXPECT_EQ(flag, 0);
  ASSERT_EQ(e->ops->NeedsRedraw(e, &flag, 0), kOk);
  EXPECT_EQ(flag, 1);
}

TEST_F(AnimationOps, ResetReturnsToTheCreateStateAndAnswers) {
  for (const Rules& rules : kRules) {
    SCOPED_TRACE(rules.name);
    Live live = Open(*rules.classId);
    ASSERT_TRUE(live.effect);
    EffectInterface* e = live.effect.get();
    const AnimState created = live.anim();
    live.anim() = kRunning;
    std::int32_t a = 0, b = 0;
    ASSERT_EQ(e->ops->Reset(e, &services_, &a, &b), kOk);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, rules.resetWritesB ? 1 : 0);
    EXPECT_EQ(live.anim().mode, created.mode);
    EXPECT_EQ(live.anim().frameCount, created.frameCount);
    EXPECT_EQ(live.anim().frame, created.frame);
    EXPECT_EQ(live.anim().finished, created.finished);
  }
}

// A fresh instance of the noise effects is already moving (mode infinite,
// ten frames, frame 0); every other effect starts static and finished.
TEST_F(AnimationOps, FreshAndResetInstancesStartWhereTheirEffectStarts) {
  for (const Rules& rules : kRules) {
    SCOPED_TRACE(rules.name);
    const bool noise = rules.classId == &kSnowClassId || rules.classId == &kPointelClassId;
    Live live = Open(*rules.classId);
    ASSERT_TRUE(live.effect);
    EffectInterface* e = live.effect.get();
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(round == 0 ? "created" : "reset after a stop");
      if (noise) {
        EXPECT_EQ(live.anim().mode, kModeInfinite);
        EXPECT_EQ(live.anim().frameCount, 10);
        EXPECT_EQ(live.anim().frame, 0);
        EXPECT_EQ(live.anim().finished, 0);
      } else {
        EXPECT_EQ(live.anim().mode, kModeStatic);
        EXPECT_EQ(live.anim().frameCount, 0);
        EXPECT_EQ(live.anim().frame, 1);
        EXPECT_EQ(live.anim().finished, 1);
      }
      std::int32_t still = -1, redraw = -1;
      ASSERT_EQ(e->ops->IsStill(e, &still, 0), kOk);
      ASSERT_EQ(e->ops->NeedsRedraw(e, &redraw, 0), kOk);
      EXPECT_EQ(still, noise ? 0 : 1);
      EXPECT_EQ(redraw, noise ? 1 : 0);

      std::int32_t changed = 0, a = 0, b = 0;
      ASSERT_EQ(e->ops->Stop(e, 0, &changed), kOk);
      live.anim().frame = 7;
      ASSERT_EQ(e->ops->Reset(e, &services_, &a, &b), kOk);
    }
  }
}

TEST_F(AnimationOps, ResetKeepsTheBuiltTable) {
  Live live = Open(kMosaicClassId);
  ASSERT_TRUE(live.effect);
  EffectInterface* e = live.effect.get();
  PropertyDesc* table = nullptr;
  std::int32_t count = 0;
  ASSERT_EQ(e->ops->GetPropertyTable(e, &table, &count, &services_), kOk);
  std::int32_t a = 0, b = 0;
  ASSERT_EQ(e->ops->Reset(e, &services_, &a, &b), kOk);
  PropertyDesc* after = nullptr;
  ASSERT_EQ(e->ops->GetPropertyTable(e, &after, &count, &services_), kOk);
  EXPECT_EQ(after, table);
}

}  // namespace
}  // namespace vx::host
