// Rotate's property lists, animation and script functions, through the
// operation table of an instance the host created.
#include <cstdint>

#include "tests/rotate/rotate_host.h"

namespace vx::host {
namespace {

constexpr Status kBadArgument = static_cast<Status>(0x800407D9u);
constexpr Status kPointExpected = static_cast<Status>(0x800407DDu);
constexpr Status kRectExpected = static_cast<Status>(0x800407DEu);
constexpr Status kArgumentCount = static_cast<Status>(0x800407E5u);

using RotatePropertiesTest = RotateHost;

TEST_F(RotatePropertiesTest, StaticDegreesMarkOneRedraw) {
  ASSERT_EQ(Set({{"degrees", values().Integer(90)}}), kOk);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(restarted, 0);  // it was static already
  EXPECT_EQ(ShownAngle(), 64);
  EXPECT_EQ(NeedsRedraw(), 1);
  EXPECT_EQ(NeedsRedraw(), 0);
  EXPECT_EQ(NeedsRedraw(2), 1);
  EXPECT_EQ(IsStill(), 1);
  EXPECT_EQ(IsStill(2), 0);
}

TEST_F(RotatePropertiesTest, RadiansAndTheIntegerTypedDeltaRow) {
  ASSERT_EQ(Set({{"radians", values().Float(3.14159)}}), kOk);
  EXPECT_EQ(ShownAngle(), 127);
  // #deltaRadians is declared an integer but read as radians: a quarter
  // turn, not 1 radian truncated.
  ASSERT_EQ(Set({{"deltaRadians", values().Float(1.5708)}}), kOk);
  EXPECT_EQ(ShownAngle(), 127 + 64);
  ASSERT_EQ(Set({{"endDegrees", values().Integer(-45)}}), kOk);
  EXPECT_EQ(ScriptAngle(), 256 - 32);
}

TEST_F(RotatePropertiesTest, FirstPresentEndAngleWins) {
  ASSERT_EQ(Set({{"degrees", values().Integer(45)}, {"endDegrees", values().Integer(90)},
                 {"radians", values().Float(3.0)}}),
            kOk);
  EXPECT_EQ(ShownAngle(), 32);
  ASSERT_EQ(Set({{"endDegrees", values().Integer(90)}, {"radians", values().Float(3.0)}}), kOk);
  EXPECT_EQ(ShownAngle(), 64);
}

TEST_F(RotatePropertiesTest, RangeOfTwoTurnsEndsWhereTheNextBegins) {
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("range")},
                 {"degrees", values().Integer(720)},
                 {"numFrames", values().Integer(10)}}),
            kOk);
  EXPECT_EQ(restarted, 1);
  EXPECT_EQ(IsStill(), 0);
  // 512 steps over 10 frames: 51.2 per frame, truncated.
  const std::int32_t expected[] = {51, 102, 153, 204, 0, 51, 102, 153, 204, 0};
  for (std::int32_t shown : expected) {
    ASSERT_EQ(Step(), kOk);
    EXPECT_EQ(ShownAngle(), shown);
  }
  EXPECT_EQ(IsStill(), 1);
  // The next range starts from 512: to 90 degrees (64) is -448 over 10 frames.
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("range")},
                 {"degrees", values().Integer(90)},
                 {"numFrames", values().Integer(10)}}),
            kOk);
  EXPECT_EQ(restarted, 1);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ShownAngle(), (512 - 44) & 255);
}

TEST_F(RotatePropertiesTest, PendulumTurnsBack) {
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("pendulum")},
                 {"degrees", values().Integer(90)},
                 {"numFrames", values().Integer(4)}}),
            kOk);
  const std::int32_t expected[] = {16, 32, 48, 64, 48, 32, 16, 0, 16};
  for (std::int32_t shown : expected) {
    ASSERT_EQ(Step(), kOk);
    EXPECT_EQ(ShownAngle(), shown);
  }
}

TEST_F(RotatePropertiesTest, NegativeFramesPerRevolutionTurnCounterClockwise) {
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("infinite")},
                 {"framesPerRevolution", values().Integer(-8)}}),
            kOk);
  EXPECT_EQ(restarted, 1);
  const std::int32_t expected[] = {224, 192, 160, 128, 96, 64, 32, 0, 224};
  for (std::int32_t shown : expected) {
    ASSERT_EQ(Step(), kOk);
    EXPECT_EQ(ShownAngle(), shown);
  }
  EXPECT_EQ(IsStill(), 0);
}

TEST_F(RotatePropertiesTest, EasedFirstRevolutionHandsOverToItsTopSpeed) {
  // Eight ease-in frames over one turn: speed 256 / 4 = 64, growing by 8
  // per frame, so frame t shows 4 t^2.
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("infinite")},
                 {"numFrames", values().Integer(8)},
                 {"easeIn", values().Integer(8)}}),
            kOk);
  const std::int32_t accelerating[] = {4, 16, 36, 64, 100, 144, 196, 0};
  for (std::int32_t shown : accelerating) {
    ASSERT_EQ(Step(), kOk);
    EXPECT_EQ(ShownAngle(), shown);
  }
  // Then a revolution every 256 / 64 = 4 frames.
  const std::int32_t constant[] = {64, 128, 192, 0, 64, 128};
  for (std::int32_t shown : constant) {
    ASSERT_EQ(Step(), kOk);
    EXPECT_EQ(ShownAngle(), shown);
  }
}

TEST_F(RotatePropertiesTest, AimingAtAPointOnTheSpritesOwnRow) {
  // Step() draws into (0, 0, 100, 50): the centre is (50, 25).
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("relativeToPoint")},
                 {"relativeTo", values().Point(25, 90)}}),
            kOk);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ScriptAngle(), 63);  // 1.5707 rad, not a quarter turn
  ASSERT_EQ(Set({{"relativeTo", values().Point(25, 10)}}), kOk);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ScriptAngle(), 256 - 63);
  // The point wins over the separate coordinates.
  ASSERT_EQ(Set({{"relativeTo", values().Point(25, 90)}, {"relativeToX", values().Integer(10)}}),
            kOk);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ScriptAngle(), 63);
  // Straight above the centre, plus an offset of 90 degrees.
  ASSERT_EQ(Set({{"relativeToX", values().Integer(50)}, {"relativeToY", values().Integer(0)},
                 {"offsetAngle", values().Integer(90)}}),
            kOk);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ScriptAngle(), 64);
}

TEST_F(RotatePropertiesTest, FlipAloneLeavesTheAnimationRunning) {
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("range")},
                 {"degrees", values().Integer(90)},
                 {"numFrames", values().Integer(4)}}),
            kOk);
  ASSERT_EQ(Step(), kOk);
  ASSERT_EQ(Set({{"flip", values().Integer(1)}}), kOk);
  EXPECT_EQ(restarted, 0);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(IsStill(), 0);
  EXPECT_EQ(ScriptAngle(), -16);  // flipped sprites report the angle negated
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ScriptAngle(), -32);
}

TEST_F(RotatePropertiesTest, DeltaTurnsFromWhereTheSpriteStands) {
  ASSERT_EQ(Set({{"degrees", values().Integer(90)}}), kOk);
  ASSERT_EQ(Set({{"deltaDegrees", values().Integer(45)}}), kOk);
  EXPECT_EQ(ShownAngle(), 96);
  // Also from the middle of an animation.
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("range")},
                 {"degrees", values().Integer(180)},
                 {"numFrames", values().Integer(2)}}),
            kOk);
  ASSERT_EQ(Step(), kOk);  // 96 + 16
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("static")},
                 {"deltaDegrees", values().Integer(-90)}}),
            kOk);
  EXPECT_EQ(restarted, 1);
  EXPECT_EQ(ShownAngle(), 112 - 64);
}

TEST_F(RotatePropertiesTest, FollowAndUnknownModesChangeNothing) {
  ASSERT_EQ(Set({{"degrees", values().Integer(90)}}), kOk);
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("follow")},
                 {"degrees", values().Integer(180)}}),
            kOk);
  EXPECT_EQ(ShownAngle(), 64);
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("sideways")},
                 {"degrees", values().Integer(180)}}),
            kOk);
  EXPECT_EQ(ShownAngle(), 64);
  EXPECT_EQ(IsStill(), 1);
}

TEST_F(RotatePropertiesTest, StopResumeAndReset) {
  std::int32_t flag = 0;
  ASSERT_EQ(fx->ops->Stop(fx.get(), 0, &flag), kOk);
  EXPECT_EQ(flag, 0);  // static: nothing changes
  ASSERT_EQ(fx->ops->Resume(fx.get(), 0, &flag), kOk);
  EXPECT_EQ(flag, 1);  // always reported

  ASSERT_EQ(Set({{"animMode", values().SymbolValue("range")},
                 {"degrees", values().Integer(90)},
                 {"numFrames", values().Integer(4)},
                 {"flip", values().Integer(1)}}),
            kOk);
  ASSERT_EQ(Step(), kOk);
  flag = 0;
  ASSERT_EQ(fx->ops->Stop(fx.get(), 0, &flag), kOk);
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ScriptAngle(), -16);  // held
  ASSERT_EQ(fx->ops->Resume(fx.get(), 0, &flag), kOk);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ScriptAngle(), -32);

  std::int32_t a = 0, b = 7;
  ASSERT_EQ(fx->ops->Reset(fx.get(), &services, &a, &b), kOk);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 7);  // only the first output is written
  EXPECT_EQ(IsStill(), 1);
  EXPECT_EQ(ScriptAngle(), 0);  // flip and unit reset too; ScriptAngle sets radians again
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ScriptAngle(), 0);
}

using RotateScriptTest = RotateHost;

TEST_F(RotateScriptTest, UnknownFunction) {
  EXPECT_EQ(Call("Twirl"), kNoSuchFunction);
}

TEST_F(RotateScriptTest, FlipTogglesAndSets) {
  EXPECT_EQ(Call("Flip"), kOk);
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(Call("GetAngle"), kOk);
  ASSERT_EQ(Set({{"degrees", values().Integer(90)}}), kOk);
  EXPECT_EQ(ScriptAngle(), -64);
  EXPECT_EQ(Call("Flip"), kOk);
  EXPECT_EQ(ScriptAngle(), 64);
  EXPECT_EQ(Call("Flip", {values().Integer(1)}), kOk);
  EXPECT_EQ(ScriptAngle(), -64);
  EXPECT_EQ(Call("Flip", {values().SymbolValue("yes")}), kBadArgument);
  EXPECT_EQ(Call("Flip", {values().Integer(0), values().Integer(0)}), kArgumentCount);
  EXPECT_EQ(ScriptAngle(), -64);  // unchanged by the failed calls
}

TEST_F(RotateScriptTest, GetAngleInDegrees) {
  ASSERT_EQ(Set({{"endDegrees", values().Integer(2)}}), kOk);  // angle 1
  ASSERT_EQ(Call("GetAngle"), kOk);
  std::int32_t degrees = 0;
  ASSERT_EQ(values().ToInteger(result, &degrees), kOk);
  EXPECT_EQ(degrees, 1);  // (1 x 360) >> 8
  ASSERT_EQ(Call("Flip"), kOk);
  ASSERT_EQ(Call("GetAngle"), kOk);
  ASSERT_EQ(values().ToInteger(result, &degrees), kOk);
  EXPECT_EQ(degrees, -2);  // (-360) >> 8
  ASSERT_EQ(Call("Flip"), kOk);
  ASSERT_EQ(Set({{"radians", values().Float(-0.0246)}}), kOk);  // angle -1, shown as 255
  ASSERT_EQ(Call("GetAngle"), kOk);
  ASSERT_EQ(values().ToInteger(result, &degrees), kOk);
  EXPECT_EQ(degrees, 358);  // never 360
}

TEST_F(RotateScriptTest, SetInterpolationAndUseRadiansCountTheirArguments) {
  EXPECT_EQ(Call("SetInterpolation"), kArgumentCount);
  EXPECT_EQ(changed, 1);  // set before the check
  EXPECT_EQ(Call("SetInterpolation", {values().SymbolValue("x")}), kBadArgument);
  EXPECT_EQ(Call("SetInterpolation", {values().Integer(2)}), kOk);
  EXPECT_EQ(Call("UseRadians"), kArgumentCount);
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(Call("UseRadians", {values().Integer(1), values().Integer(1)}), kArgumentCount);
  EXPECT_EQ(Call("UseRadians", {values().SymbolValue("x")}), kBadArgument);
  EXPECT_EQ(Call("InterpolateNow", {values().Integer(5)}), kOk);
  EXPECT_EQ(changed, 1);
}

TEST_F(RotateScriptTest, GetVector) {
  const auto vector = [&](std::vector<HostValue> args) {
    EXPECT_EQ(Call("GetVector", std::move(args)), kOk);
    PointRecord p{};
    EXPECT_EQ(values().ToPoint(result, &p), kOk);
    return p;
  };
  PointRecord p = vector({values().Integer(100), values().Integer(0)});
  EXPECT_EQ(p.horizontal, 0);
  EXPECT_EQ(p.vertical, 100);
  p = vector({values().Integer(100), values().Integer(90)});
  EXPECT_EQ(p.horizontal, 100);
  EXPECT_EQ(p.vertical, 0);
  // One argument: the current angle.
  ASSERT_EQ(Set({{"degrees", values().Integer(180)}}), kOk);
  p = vector({values().Integer(10)});
  EXPECT_EQ(p.horizontal, 0);
  EXPECT_EQ(p.vertical, -10);
  EXPECT_EQ(Call("GetVector"), kArgumentCount);
  EXPECT_EQ(Call("GetVector", {values().SymbolValue("far")}), kBadArgument);
  EXPECT_EQ(Call("GetVector", {values().Integer(1), values().SymbolValue("up")}), kBadArgument);
  EXPECT_EQ(Call("GetVector", {values().Integer(1), values().Integer(0), values().Integer(0)}),
            kArgumentCount);
}

TEST_F(RotateScriptTest, RelToPointAppliesWhatItCanRead) {
  ASSERT_EQ(Set({{"animMode", values().SymbolValue("range")},
                 {"degrees", values().Integer(90)},
                 {"numFrames", values().Integer(4)}}),
            kOk);
  // No coordinates: aims at the stored point (0, 0) from (50, 25).
  EXPECT_EQ(Call("RelToPoint"), kOk);
  EXPECT_EQ(restarted, 1);
  EXPECT_EQ(changed, 1);
  // Six arguments: the first five apply, then the count is refused.
  EXPECT_EQ(Call("RelToPoint", {values().Integer(90), values().Integer(25), values().Integer(90),
                                values().Integer(0), values().Integer(0), values().Integer(0)}),
            kArgumentCount);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ScriptAngle(), 63 + 64);
  EXPECT_EQ(IsStill(), 1);
  // A bad y leaves the point as it was.
  EXPECT_EQ(Call("UseRadians", {values().Integer(0)}), kOk);
  EXPECT_EQ(Call("RelToPoint", {values().Integer(10), values().SymbolValue("y")}), kBadArgument);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ScriptAngle(), 63 + 64);
  // A bad offset keeps the new point; a flip flag reverses the aim.
  EXPECT_EQ(Call("UseRadians", {values().Integer(0)}), kOk);
  EXPECT_EQ(Call("RelToPoint", {values().Integer(10), values().Integer(25),
                                values().SymbolValue("o")}),
            kBadArgument);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(ShownAngle(), 1);  // -63 + the earlier offset 64
  EXPECT_EQ(Call("RelToPoint", {values().Float(90), values().Integer(25), values().Float(0.0),
                                values().Integer(1)}),
            kOk);
  ASSERT_EQ(Step(), kOk);
  // Aimed at -63 when mirrored, i.e. 193, reported negated and not masked.
  EXPECT_EQ(ScriptAngle(), -193);
  EXPECT_EQ(Call("RelToPoint", {values().Integer(90), values().Integer(25), values().Float(0.0),
                                values().SymbolValue("f")}),
            kBadArgument);
}

TEST_F(RotateScriptTest, GetRotatedRect) {
  const auto rect = [&](std::vector<HostValue> args) {
    EXPECT_EQ(Call("GetRotatedRect", std::move(args)), kOk);
    RectRecord r{};
    EXPECT_EQ(values().ToRect(result, &r), kOk);
    return r;
  };
  // Before any render the default rectangle is empty.
  RectRecord r = rect({});
  EXPECT_EQ(r.right - r.left, 0);
  EXPECT_EQ(r.bottom - r.top, 0);
  // A quarter turn stands a 100 x 10 rectangle up about its centre (50, 5).
  r = rect({values().Integer(90), values().Rect(0, 0, 10, 100)});
  EXPECT_EQ(r.right - r.left, 10);
  EXPECT_EQ(r.bottom - r.top, 100);
  EXPECT_NEAR(r.left, 45, 1);
  EXPECT_NEAR(r.top, -45, 1);
  // After a render the default is the mask's size centred in the destination.
  ASSERT_EQ(Step(100, 50), kOk);  // a 4 x 4 mask
  r = rect({values().Integer(0)});
  EXPECT_NEAR(r.left, 48, 1);
  EXPECT_NEAR(r.top, 23, 1);
  EXPECT_EQ(r.right - r.left, 4);
  EXPECT_EQ(r.bottom - r.top, 4);
  EXPECT_EQ(Call("GetRotatedRect", {values().SymbolValue("a")}), kBadArgument);
  EXPECT_EQ(Call("GetRotatedRect", {values().Integer(0), values().Integer(3)}), kRectExpected);
  EXPECT_EQ(Call("GetRotatedRect",
                 {values().Integer(0), values().Rect(0, 0, 1, 1), values().Integer(0)}),
            kArgumentCount);
}

TEST_F(RotateScriptTest, IsPointInRotatedRect) {
  const auto inside = [&](std::vector<HostValue> args) {
    EXPECT_EQ(Call("IsPointInRotatedRect", std::move(args)), kOk);
    std::int32_t v = -1;
    EXPECT_EQ(values().ToInteger(result, &v), kOk);
    return v;
  };
  const HostValue wide = values().Rect(0, 0, 10, 100);  // centre (50, 5)
  for (std::int32_t degrees : {0, 17, 90, 200, -33})
    EXPECT_EQ(inside({values().Point(5, 50), values().Integer(degrees), wide}), 1) << degrees;
  // Turned 45 degrees clockwise the long axis runs from top-left to
  // bottom-right: 30 left of and 30 above the centre is on it.
  EXPECT_EQ(inside({values().Point(5 - 30, 50 - 30), values().Integer(45), wide}), 1);
  EXPECT_EQ(inside({values().Point(5 - 30, 50 + 30), values().Integer(45), wide}), 0);
  EXPECT_EQ(inside({values().Point(5, 95), values().Integer(0), wide}), 1);
  EXPECT_EQ(inside({values().Point(5, 95), values().Integer(90), wide}), 0);
  // Default rectangle after a render (4 x 4 at 48, 23) and the current angle.
  ASSERT_EQ(Step(100, 50), kOk);
  EXPECT_EQ(inside({values().Point(24, 49)}), 1);
  EXPECT_EQ(inside({values().Point(40, 49)}), 0);

  EXPECT_EQ(Call("IsPointInRotatedRect"), kPointExpected);
  EXPECT_EQ(Call("IsPointInRotatedRect", {values().Integer(3)}), kPointExpected);
  EXPECT_EQ(Call("IsPointInRotatedRect", {values().Point(0, 0), values().SymbolValue("a")}),
            kBadArgument);
  EXPECT_EQ(Call("IsPointInRotatedRect",
                 {values().Point(0, 0), values().Integer(0), values().Point(1, 1)}),
            kRectExpected);
  EXPECT_EQ(Call("IsPointInRotatedRect",
                 {values().Point(0, 0), values().Integer(0), wide, values().Integer(0)}),
            kArgumentCount);
}

}  // namespace
}  // namespace vx::host
