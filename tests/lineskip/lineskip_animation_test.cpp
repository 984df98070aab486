// Line skip's property lists and animation, read off the band pattern the
// hit test reports row by row.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <tuple>

#include "lineskip_host.h"

namespace vx::host {
namespace {

using LineSkipAnimation = LineSkipHost;

TEST_F(LineSkipAnimation, StaticPatterns) {
  struct Case {
    const char* what;
    Entries props;
    std::int32_t first;
    const char* rows;
  };
  const Case cases[] = {
      {"fresh instance: every row", {}, 0, "DDDDDDDDDD"},
      {"skip 1 draw 1: even rows skipped",
       {{"linesToSkip", Int(1)}, {"linesToDraw", Int(1)}},
       0,
       "SDSDSDSDSD"},
      {"skip 2 draw 3 offset 1: rows 0, 4, 5, 9, 10, 14",
       {{"linesToSkip", Int(2)}, {"linesToDraw", Int(3)}, {"offset", Int(1)}},
       0,
       "SDDDSSDDDSSDDDS"},
      {"skip 0: every row whatever the offset",
       {{"linesToSkip", Int(0)}, {"linesToDraw", Int(2)}, {"offset", Int(-3)}},
       -4,
       "DDDDDDDD"},
      {"draw 0 drawn as 1", {{"linesToSkip", Int(2)}, {"linesToDraw", Int(0)}}, 0, "SSDSSDSSD"},
      {"draw negative drawn as 1",
       {{"linesToSkip", Int(1)}, {"linesToDraw", Int(-6)}},
       0,
       "SDSDSD"},
      {"skip negative: every row", {{"linesToSkip", Int(-2)}, {"linesToDraw", Int(1)}}, 0, "DDDD"},
      {"end keys when the plain ones are absent",
       {{"endSkip", Int(1)}, {"endDraw", Int(2)}, {"endOffset", Int(1)}},
       0,
       "DDSDDSDD"},
      {"endSkip ignored when linesToSkip is given",
       {{"linesToSkip", Int(2)}, {"endSkip", Int(5)}, {"linesToDraw", Int(1)}},
       0,
       "SSDSSD"},
      // The pattern goes on unbroken through row 0 and above it.
      {"negative offset",
       {{"linesToSkip", Int(2)}, {"linesToDraw", Int(3)}, {"offset", Int(-7)}},
       -6,
       "DDDSSDDDSSDDDSS"},
      {"start keys ignored in static mode",
       {{"startSkip", Int(3)}, {"startDraw", Int(3)}},
       0,
       "DDDD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    ASSERT_EQ(Set(c.props), kOk);
    EXPECT_EQ(Pattern(c.first, static_cast<std::int32_t>(std::strlen(c.rows))), c.rows);
    ASSERT_EQ(Step(), kOk);  // a render keeps the values
    EXPECT_EQ(Pattern(c.first, static_cast<std::int32_t>(std::strlen(c.rows))), c.rows);
  }
}

// Frames of an animation as (skip, draw, offset) shown on successive renders.
using Shown = std::tuple<std::int32_t, std::int32_t, std::int32_t>;

TEST_F(LineSkipAnimation, AnimatedSettings) {
  struct Case {
    const char* what;
    Entries props;
    std::vector<Shown> frames;
  };
  const Case cases[] = {
      {"range skip 0 to 10 over 10 frames",
       {{"animMode", Sym("range")},
        {"startSkip", Int(0)},
        {"linesToSkip", Int(10)},
        {"numFrames", Int(10)}},
       {{1, 1, 0},
        {2, 1, 0},
        {3, 1, 0},
        {4, 1, 0},
        {5, 1, 0},
        {6, 1, 0},
        {7, 1, 0},
        {8, 1, 0},
        {9, 1, 0},
        {10, 1, 0},
        {10, 1, 0}}},
      {"endSkip ignored when linesToSkip is given; endDraw read without linesToDraw",
       {{"animMode", Sym("range")},
        {"linesToSkip", Int(4)},
        {"endSkip", Int(9)},
        {"startDraw", Int(1)},
        {"endDraw", Int(5)},
        {"numFrames", Int(2)}},
       {{2, 3, 0}, {4, 5, 0}, {4, 5, 0}}},
      {"draw animated through 0 is drawn as 1",
       {{"animMode", Sym("range")},
        {"startDraw", Int(-2)},
        {"linesToDraw", Int(2)},
        {"startSkip", Int(1)},
        {"linesToSkip", Int(1)},
        {"numFrames", Int(4)}},
       {{1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {1, 2, 0}}},
      {"infinite offset wraps to its start",
       {{"animMode", Sym("infinite")},
        {"startSkip", Int(1)},
        {"linesToSkip", Int(1)},
        {"startDraw", Int(3)},
        {"linesToDraw", Int(3)},
        {"startOffset", Int(0)},
        {"offset", Int(-6)},
        {"numFrames", Int(3)}},
       {{1, 3, -2}, {1, 3, -4}, {1, 3, 0}, {1, 3, -2}}},
      {"pendulum, endOffset read without offset",
       {{"animMode", Sym("pendulum")},
        {"linesToSkip", Int(2)},
        {"startOffset", Int(0)},
        {"endOffset", Int(2)},
        {"numFrames", Int(2)}},
       {{1, 1, 1}, {2, 1, 2}, {1, 1, 1}, {0, 1, 0}, {1, 1, 1}}},
      {"frame count 0 runs as one frame",
       {{"animMode", Sym("range")}, {"linesToSkip", Int(3)}, {"numFrames", Int(0)}},
       {{3, 1, 0}, {3, 1, 0}}},
      {"negative frame count runs as one frame",
       {{"animMode", Sym("range")}, {"linesToSkip", Int(3)}, {"numFrames", Int(-4)}},
       {{3, 1, 0}, {3, 1, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    ASSERT_EQ(Set(c.props), kOk);
    EXPECT_EQ(restarted, 1);  // from the create-time still state
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
      SCOPED_TRACE(i);
      ASSERT_EQ(Step(), kOk);
      const auto [skip, draw, offset] = c.frames[i];
      EXPECT_EQ(Pattern(-12, 30), Bands(skip, draw, offset, -12, 30));
    }
  }
}

TEST_F(LineSkipAnimation, SettingsMadeWhileRunningOrAfterwards) {
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"startSkip", Int(0)},
                 {"linesToSkip", Int(8)},
                 {"numFrames", Int(8)}}),
            kOk);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(), Bands(3, 1, 0, 0, 24));
  // A new frame count while running keeps the start and the end.
  ASSERT_EQ(Set({{"numFrames", Int(2)}}), kOk);
  EXPECT_EQ(restarted, 0);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(), Bands(4, 1, 0, 0, 24));
  // Static without values keeps what is shown and asks for one redraw.
  ASSERT_EQ(Set({{"animMode", Sym("static")}}), kOk);
  EXPECT_EQ(restarted, 1);
  EXPECT_EQ(NeedsRedraw(), 1);
  EXPECT_EQ(NeedsRedraw(), 0);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(), Bands(4, 1, 0, 0, 24));
  // An animation from a still state starts from what is shown.
  ASSERT_EQ(Set({{"animMode", Sym("range")}, {"linesToDraw", Int(3)}, {"numFrames", Int(2)}}), kOk);
  EXPECT_EQ(restarted, 1);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(), Bands(4, 2, 0, 0, 24));
  // Stopped, it stays; resumed, it goes on.
  std::int32_t flag = 0;
  ASSERT_EQ(fx->ops->Stop(fx.get(), 0, &flag), kOk);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(), Bands(4, 2, 0, 0, 24));
  ASSERT_EQ(fx->ops->Resume(fx.get(), 0, &flag), kOk);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(), Bands(4, 3, 0, 0, 24));
  // Reset: every row drawn again.
  std::int32_t a = 0, b = 0;
  ASSERT_EQ(fx->ops->Reset(fx.get(), &services, &a, &b), kOk);
  EXPECT_EQ(a + b, 2);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(), Bands(0, 1, 0, 0, 24));
}

TEST_F(LineSkipAnimation, UnusableListsChangeNothing) {
  ASSERT_EQ(Set({{"linesToSkip", Int(2)}, {"linesToDraw", Int(1)}}), kOk);
  ASSERT_EQ(Step(), kOk);
  const std::string before = Pattern();
  ASSERT_EQ(before, Bands(2, 1, 0, 0, 24));
  const Entries lists[] = {
      {{"linesToSkip", Sym("many")}, {"linesToDraw", values().Point(1, 2)}},
      {{"animMode", Sym("sideways")}, {"linesToSkip", Int(5)}},
      {{"animMode", Sym("follow")}, {"linesToSkip", Int(5)}},
      {{"interpolation", Int(1)}, {"linestoskip", Int(5)}},
      {},
  };
  for (const Entries& list : lists) {
    EXPECT_EQ(Set(list), kOk);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(restarted, 0);
    ASSERT_EQ(Step(), kOk);
    EXPECT_EQ(Pattern(), before);
  }
  EXPECT_EQ(SetValue(Int(4)), kOk);
  EXPECT_EQ(Pattern(), before);
}

TEST_F(LineSkipAnimation, HugeValuesNeitherCrashNorWrap) {
  // Skip and draw at the 32-bit limit: a period of 2^32 - 2 rows, in which
  // offset + row = INT_MIN + 1 is the first drawn phase.
  ASSERT_EQ(
      Set({{"linesToSkip", Int(INT_MAX)}, {"linesToDraw", Int(INT_MAX)}, {"offset", Int(INT_MIN)}}),
      kOk);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(-3, 6), "SSSSDD");
  // Offsets run to the ends of 32 bits and stay there.
  ASSERT_EQ(Set({{"linesToSkip", Int(1)}, {"linesToDraw", Int(1)}, {"offset", Int(0)}}), kOk);
  ASSERT_EQ(Set({{"animMode", Sym("range")}, {"offset", Int(INT_MAX)}, {"numFrames", Int(1)}}),
            kOk);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(0, 4), "DSDS");  // INT_MAX is odd
  // From INT_MIN the distance saturates at INT_MAX: offset -1, then INT_MIN.
  ASSERT_EQ(Set({{"animMode", Sym("pendulum")},
                 {"startOffset", Int(INT_MIN)},
                 {"offset", Int(INT_MAX)},
                 {"numFrames", Int(1)}}),
            kOk);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(0, 4), "DSDS");
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(0, 4), "SDSD");
  // The largest frame count: one line more per frame.
  Fresh();
  ASSERT_EQ(
      Set({{"animMode", Sym("range")}, {"linesToSkip", Int(INT_MAX)}, {"numFrames", Int(INT_MAX)}}),
      kOk);
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(0, 4), "SDSD");
  ASSERT_EQ(Step(), kOk);
  EXPECT_EQ(Pattern(0, 6), "SSDSSD");
}

}  // namespace
}  // namespace vx::host
