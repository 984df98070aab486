// Values at the ends of 32 bits that once overflowed, each through the
// exports: script argument counts, views far apart, the centring of a
// sprite at the ends of the plane, a folded animation value and a flag.
#include <gtest/gtest.h>

#include "stage.h"

namespace vx::host {
namespace {

constexpr Status kArgumentCount = static_cast<Status>(0x800407E5u);

// A count below the first argument's index means no arguments: GetVector
// then asks for its distance, and nothing past the array is read.
TEST(OverflowRegression, NegativeArgumentCountMeansNoArgument) {
  Driver rotate(kRotateClassId);
  const std::vector<HostValue> args = {rotate.Int(1), rotate.Sym("rotate")};
  HostValue result{};
  for (std::int32_t count : {kMin, -1, 0, 1, 2}) {
    SCOPED_TRACE(count);
    EXPECT_EQ(rotate.Call("GetVector", args, count, 2, &result), kArgumentCount);
  }
}

// The source is centred on the mask: a source rectangle 2^31 away from the
// destination draws what one at the origin draws.
TEST(OverflowRegression, SourceFarFromTheStageDrawsAsNear) {
  for (const Guid* id : {&kMosaicClassId, &kRotateClassId}) {
    SCOPED_TRACE(ClassName(*id));
    const At stage{(1 << 30) + 100, 0};
    Stage near({}, stage, stage, At{}, At{});
    Stage far({}, stage, stage, At{-(1 << 30) - 100, 0}, At{});
    const auto before = near.Drawn();
    Driver a(*id), b(*id);
    ASSERT_EQ(near.Render(a.fx(), near.Whole()), kOk);
    ASSERT_EQ(far.Render(b.fx(), far.Whole()), kOk);
    EXPECT_TRUE(near.Drawn() != before) << "the near sprite draws";
    EXPECT_TRUE(far.Drawn() == near.Drawn());
  }
}

// The alpha stage is centred on the colour stage wherever either lies.
TEST(OverflowRegression, AlphaStageFarFromTheColourStage) {
  const Sizes sizes{42, 47, 20, 16};
  Stage origin(sizes, At{}, At{}, At{}, At{});
  Stage edge(sizes, At{kMin + 24, 0}, At{70, 0}, At{}, At{});
  const auto before = origin.Drawn();
  Driver a(kRotateClassId), b(kRotateClassId);
  ASSERT_EQ(origin.RenderWithAlpha(a.fx(), origin.Whole()), kOk);
  ASSERT_EQ(edge.RenderWithAlpha(b.fx(), edge.Whole()), kOk);
  EXPECT_TRUE(origin.Drawn() != before);
  EXPECT_TRUE(edge.Drawn() == origin.Drawn());
}

// A stage narrower than the sprite, within half a sprite of either end of
// the plane, shows the sprite's middle columns as it does at the origin.
TEST(OverflowRegression, SpriteCentredAtTheEndsOfThePlane) {
  const Sizes sizes{10, 20, 40, 16};
  for (const Guid* id : {&kMosaicClassId, &kSwirlClassId, &kLineSkipClassId, &kRgbClassId}) {
    for (std::int32_t x : {kMin + 10, kMax - 20}) {
      SCOPED_TRACE(::testing::Message() << ClassName(*id) << " at " << x);
      Stage origin(sizes, At{10, 0}, At{10, 0}, At{}, At{});
      Stage edge(sizes, At{x, 0}, At{x, 0}, At{}, At{});
      const auto before = origin.Drawn();
      Driver a(*id), b(*id);
      ASSERT_EQ(origin.Render(a.fx(), origin.Whole()), kOk);
      ASSERT_EQ(edge.Render(b.fx(), edge.Whole()), kOk);
      EXPECT_TRUE(origin.Drawn() != before);
      EXPECT_TRUE(edge.Drawn() == origin.Drawn());
    }
  }
}

// A tile side run to INT_MAX, then a new animation from the value shown:
// its first frame draws what the same animation started at INT_MAX draws,
// large tiles.
TEST(OverflowRegression, FoldedTileSizeAtTheEndOfTheRange) {
  Driver run(kMosaicClassId), fresh(kMosaicClassId);
  Stage ran({}, At{}, At{}, At{}, At{}), shown({}, At{}, At{}, At{}, At{}),
      started({}, At{}, At{}, At{}, At{});
  ASSERT_EQ(run.Set({{"animMode", run.Sym("range")},
                     {"numFrames", run.Int(1)},
                     {"startXRes", run.Int(1)},
                     {"xResolution", run.Int(kMax)}}),
            kOk);
  ASSERT_EQ(ran.Render(run.fx(), ran.Whole()), kOk);
  ASSERT_EQ(run.Set({{"animMode", run.Sym("range")},
                     {"numFrames", run.Int(2)},
                     {"xResolution", run.Int(5)}}),
            kOk);
  ASSERT_EQ(shown.Render(run.fx(), shown.Whole()), kOk);
  ASSERT_EQ(fresh.Set({{"animMode", fresh.Sym("range")},
                       {"numFrames", fresh.Int(2)},
                       {"startXRes", fresh.Int(kMax)},
                       {"xResolution", fresh.Int(5)}}),
            kOk);
  ASSERT_EQ(started.Render(fresh.fx(), started.Whole()), kOk);
  EXPECT_TRUE(shown.Drawn() == started.Drawn());
  // A start wrapped to INT_MIN would show tiles of one pixel instead.
  Driver plain(kMosaicClassId);
  Stage single({}, At{}, At{}, At{}, At{});
  ASSERT_EQ(single.Render(plain.fx(), single.Whole()), kOk);
  EXPECT_TRUE(shown.Drawn() != single.Drawn());
}

// Flip() turns any non-zero flip off and 0 on, whatever value it held.
TEST(OverflowRegression, FlipTogglesBetweenZeroAndOne) {
  for (std::int32_t held : {kMin, kMin + 1, -1, 1, 5, kMax}) {
    SCOPED_TRACE(held);
    Driver rotate(kRotateClassId);
    const std::vector<HostValue> none = {rotate.Int(1), rotate.Sym("rotate")};
    HostValue result{};
    ASSERT_EQ(rotate.Set({{"degrees", rotate.Int(45)}, {"flip", rotate.Int(held)}}), kOk);
    auto angle = [&] {
      std::int32_t degrees = 0;
      EXPECT_EQ(rotate.Call("GetAngle", none, 2, 2, &result), kOk);
      EXPECT_EQ(rotate.values().ToInteger(result, &degrees), kOk);
      return degrees;
    };
    const std::int32_t flipped = angle();
    ASSERT_EQ(rotate.Call("Flip", none, 2, 2, &result), kOk);
    EXPECT_NE(angle(), flipped);
    EXPECT_EQ(angle(), 45) << "off after one toggle";
    ASSERT_EQ(rotate.Call("Flip", none, 2, 2, &result), kOk);
    EXPECT_EQ(angle(), flipped) << "on after two";
  }
}

}  // namespace
}  // namespace vx::host
