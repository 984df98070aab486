// Mosaic's property lists and animation, read off the tiles it draws: each
// frame is rendered from a source whose pixels say where they are, and the
// tile size and sample offset are measured on the tile that starts at the
// source's centre.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "mosaic_support.h"

namespace vx::mosaic_test {
namespace {

constexpr Status kNoMemory = static_cast<Status>(0x80040002u);
constexpr std::int32_t kW = 64, kH = 48;  // centre (32, 24)

struct Shown {
  std::int32_t width, height;  // of the tile starting at the centre
  std::int32_t column, row;    // its sample offset
  bool operator==(const Shown&) const = default;
};

class MosaicAnimation : public MosaicEffect {
 protected:
  Shown Frame() {
    Image dst(ImageKind::kRgb32, 0, 0, kW, kH);
    RenderCall call{&dst, source_.get(), mask_.get(), Rect(0, 0, kW, kH)};
    EXPECT_EQ(Render(call), kOk);
    EXPECT_TRUE(dst.GuardsIntact());
    const std::uint8_t* centre = dst.Pixel(kW / 2, kH / 2);
    Shown s{0, 0, centre[0] - kW / 2, centre[1] - kH / 2};
    while (kW / 2 + s.width < kW && dst.Pixel(kW / 2 + s.width, kH / 2)[0] == centre[0]) ++s.width;
    while (kH / 2 + s.height < kH && dst.Pixel(kW / 2, kH / 2 + s.height)[1] == centre[1])
      ++s.height;
    // Every whole tile to the right samples at the same offset.
    for (std::int32_t x = kW / 2 + s.width; x + s.width <= kW; x += s.width)
      EXPECT_EQ(dst.Pixel(x, kH / 2)[0], x + s.column) << "tile at " << x;
    return s;
  }

  std::vector<std::int32_t> Widths(int frames) {
    std::vector<std::int32_t> out;
    for (int i = 0; i < frames; ++i) out.push_back(Frame().width);
    return out;
  }

  std::int32_t IsStill() {
    std::int32_t out = -1;
    EXPECT_EQ(fx_->ops->IsStill(fx_.get(), &out, 0), kOk);
    return out;
  }

  std::unique_ptr<Image> source_ = PositionSource(kW, kH);
  std::unique_ptr<Image> mask_ = OpaqueMask(kW, kH);
};

TEST_F(MosaicAnimation, RangeGrowsTheTilesOnePixelAFrameAndStays) {
  std::int32_t restarted = 0, changed = 0;
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"startXRes", Int(1)},
                 {"endXRes", Int(20)},
                 {"numFrames", Int(19)}},
                &restarted, &changed),
            kOk);
  EXPECT_EQ(restarted, 1);  // started from the create-time (still) state
  EXPECT_EQ(changed, 1);
  std::vector<std::int32_t> expected;
  for (std::int32_t w = 2; w <= 20; ++w) expected.push_back(w);
  expected.insert(expected.end(), {20, 20});
  EXPECT_EQ(Widths(21), expected);
  EXPECT_EQ(Frame().height, 1);
  EXPECT_EQ(IsStill(), 1);
}

TEST_F(MosaicAnimation, PendulumAndInfiniteWalkTheirFrames) {
  ASSERT_EQ(Set({{"animMode", Sym("pendulum")},
                 {"startXRes", Int(2)},
                 {"xResolution", Int(8)},
                 {"startYRes", Int(5)},
                 {"yResolution", Int(2)},
                 {"numFrames", Int(3)}}),
            kOk);
  // Speeds 2 and -1: frames 1, 2, 3, 2, 1, 0, 1.
  EXPECT_EQ(Widths(7), (std::vector<std::int32_t>{4, 6, 8, 6, 4, 2, 4}));
  ASSERT_EQ(Set({{"animMode", Sym("infinite")}, {"startXRes", Int(2)}, {"endXRes", Int(8)}}),
            kOk);
  // The frame count stays 3; the end frame is never shown.
  EXPECT_EQ(Widths(6), (std::vector<std::int32_t>{4, 6, 2, 4, 6, 2}));
}

TEST_F(MosaicAnimation, HeightsAnimateLikeWidthsAndStartValuesMayBeLarger) {
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"startYRes", Int(9)},
                 {"endYRes", Int(3)},
                 {"numFrames", Int(4)}}),
            kOk);
  // Speed -1.5: 9 + trunc(-1.5), 9 + trunc(-3), ... toward zero.
  std::vector<std::int32_t> heights;
  for (int i = 0; i < 5; ++i) heights.push_back(Frame().height);
  EXPECT_EQ(heights, (std::vector<std::int32_t>{8, 6, 5, 3, 3}));
}

TEST_F(MosaicAnimation, FrameCountZeroOrNegativeRunsAsOneFrame) {
  for (std::int32_t n : {0, -7}) {
    SCOPED_TRACE(n);
    ASSERT_EQ(Set({{"animMode", Sym("range")},
                   {"startXRes", Int(1)},
                   {"endXRes", Int(9)},
                   {"numFrames", Int(n)}}),
              kOk);
    EXPECT_EQ(Widths(2), (std::vector<std::int32_t>{9, 9}));
    EXPECT_EQ(IsStill(), 1);
  }
}

TEST_F(MosaicAnimation, AnimatingFromStaticWithoutAFrameCountTakesOneFrame) {
  // Static leaves its one-redraw mark in the frame count; an animation that
  // names no count must not run on it.
  ASSERT_EQ(Set({{"animMode", Sym("static")}, {"xResolution", Int(4)}}), kOk);
  ASSERT_EQ(Set({{"animMode", Sym("range")}, {"endXRes", Int(10)}}), kOk);
  EXPECT_EQ(Widths(2), (std::vector<std::int32_t>{10, 10}));
}

TEST_F(MosaicAnimation, StaticAfterRunningKeepsWhatIsShown) {
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"startXRes", Int(1)},
                 {"endXRes", Int(20)},
                 {"numFrames", Int(19)}}),
            kOk);
  EXPECT_EQ(Widths(5), (std::vector<std::int32_t>{2, 3, 4, 5, 6}));
  std::int32_t restarted = 0;
  ASSERT_EQ(Set({{"animMode", Sym("static")}}, &restarted), kOk);
  EXPECT_EQ(restarted, 1);
  EXPECT_EQ(NeedsRedraw(), 1);  // the one redraw a static setting asks for
  EXPECT_EQ(NeedsRedraw(), 0);
  EXPECT_EQ(NeedsRedraw(2), 1);
  EXPECT_EQ(Widths(2), (std::vector<std::int32_t>{6, 6}));
  // From static to static: not a restart.
  restarted = 0;
  ASSERT_EQ(Set({{"animMode", Sym("static")}, {"xResolution", Int(3)}}, &restarted), kOk);
  EXPECT_EQ(restarted, 0);
  EXPECT_EQ(Frame().width, 3);
}

TEST_F(MosaicAnimation, NewAnimationStartsWhereTheLastOneStopped) {
  ASSERT_EQ(Set({{"animMode", Sym("static")}, {"xResolution", Int(5)}}), kOk);
  EXPECT_EQ(Frame().width, 5);
  std::int32_t restarted = 0;
  ASSERT_EQ(Set({{"animMode", Sym("range")}, {"endXRes", Int(9)}, {"numFrames", Int(4)}},
                &restarted),
            kOk);
  EXPECT_EQ(restarted, 1);
  EXPECT_EQ(Widths(5), (std::vector<std::int32_t>{6, 7, 8, 9, 9}));
  // Finished at 9: the next range starts there.
  ASSERT_EQ(Set({{"animMode", Sym("range")}, {"endXRes", Int(5)}, {"numFrames", Int(2)}}), kOk);
  EXPECT_EQ(Widths(2), (std::vector<std::int32_t>{7, 5}));
}

TEST_F(MosaicAnimation, ChangingARunningAnimationKeepsItsStartAndEnd) {
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"startXRes", Int(2)},
                 {"endXRes", Int(10)},
                 {"numFrames", Int(8)}}),
            kOk);
  EXPECT_EQ(Widths(2), (std::vector<std::int32_t>{3, 4}));
  std::int32_t restarted = 0;
  ASSERT_EQ(Set({{"numFrames", Int(4)}}, &restarted), kOk);
  EXPECT_EQ(restarted, 0);
  // Still from 2 to 10, now in 4 frames, from frame 0 again.
  EXPECT_EQ(Widths(4), (std::vector<std::int32_t>{4, 6, 8, 10}));
}

TEST_F(MosaicAnimation, StopFreezesAndResumeContinues) {
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"startXRes", Int(1)},
                 {"endXRes", Int(20)},
                 {"numFrames", Int(19)}}),
            kOk);
  EXPECT_EQ(Widths(3), (std::vector<std::int32_t>{2, 3, 4}));
  std::int32_t changed = 0;
  ASSERT_EQ(fx_->ops->Stop(fx_.get(), 0, &changed), kOk);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(IsStill(), 1);
  EXPECT_EQ(Widths(2), (std::vector<std::int32_t>{4, 4}));
  ASSERT_EQ(fx_->ops->Resume(fx_.get(), 0, &changed), kOk);
  EXPECT_EQ(Widths(2), (std::vector<std::int32_t>{5, 6}));
}

TEST_F(MosaicAnimation, ResetReturnsToOnePixelTiles) {
  ASSERT_EQ(Set({{"animMode", Sym("pendulum")},
                 {"startXRes", Int(3)},
                 {"endXRes", Int(9)},
                 {"changeColorFlag", Int(1)},
                 {"numFrames", Int(5)}}),
            kOk);
  (void)Widths(3);
  std::int32_t a = 0, b = 0;
  ASSERT_EQ(fx_->ops->Reset(fx_.get(), &services_, &a, &b), kOk);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(IsStill(), 1);
  EXPECT_EQ(NeedsRedraw(), 0);
  EXPECT_EQ(Frame(), (Shown{1, 1, 0, 0}));
  // The flag went back to off too: an animation now keeps the sample still.
  ASSERT_EQ(Set({{"animMode", Sym("infinite")}, {"startXRes", Int(4)}, {"endXRes", Int(4)},
                 {"startYRes", Int(4)}, {"endYRes", Int(4)}, {"numFrames", Int(50)}}),
            kOk);
  EXPECT_EQ(Frame(), (Shown{4, 4, 0, 0}));
  EXPECT_EQ(Frame(), (Shown{4, 4, 0, 0}));
}

// ---------------------------------------------------------------------------
// The change-colour walk.

TEST_F(MosaicAnimation, ChangeColourVisitsEveryPositionOfTheTile) {
  ASSERT_EQ(Set({{"animMode", Sym("infinite")},
                 {"startXRes", Int(4)},
                 {"endXRes", Int(4)},
                 {"startYRes", Int(3)},
                 {"endYRes", Int(3)},
                 {"numFrames", Int(1000)},
                 {"changeColorFlag", Int(1)}}),
            kOk);
  std::set<std::pair<std::int32_t, std::int32_t>> seen;
  for (int i = 0; i < 12; ++i) {
    const Shown s = Frame();
    ASSERT_EQ(s.width, 4);
    ASSERT_EQ(s.height, 3);
    ASSERT_GE(s.column, 0);
    ASSERT_LT(s.column, 4);
    ASSERT_GE(s.row, 0);
    ASSERT_LT(s.row, 3);
    seen.insert({s.column, s.row});
  }
  EXPECT_EQ(seen.size(), 12u);
  // Frozen while stopped.
  const Shown last = Frame();
  std::int32_t changed = 0;
  ASSERT_EQ(fx_->ops->Stop(fx_.get(), 0, &changed), kOk);
  EXPECT_EQ(Frame(), last);
  EXPECT_EQ(Frame(), last);
}

TEST_F(MosaicAnimation, ChangeColourStaysInsideTilesThatShrink) {
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"startXRes", Int(12)},
                 {"endXRes", Int(1)},
                 {"startYRes", Int(9)},
                 {"endYRes", Int(2)},
                 {"numFrames", Int(11)},
                 {"changeColorFlag", Int(1)}}),
            kOk);
  for (int i = 0; i < 14; ++i) {
    const Shown s = Frame();
    SCOPED_TRACE(i);
    EXPECT_GE(s.column, 0);
    EXPECT_LT(s.column, s.width);
    EXPECT_GE(s.row, 0);
    EXPECT_LT(s.row, s.height);
  }
}

TEST_F(MosaicAnimation, ChangeColourDoesNotMoveAStaticMosaicOrAnUnflaggedOne) {
  ASSERT_EQ(Set({{"animMode", Sym("static")},
                 {"xResolution", Int(4)},
                 {"yResolution", Int(4)},
                 {"changeColorFlag", Int(1)}}),
            kOk);
  EXPECT_EQ(Frame(), (Shown{4, 4, 0, 0}));
  EXPECT_EQ(Frame(), (Shown{4, 4, 0, 0}));
  ASSERT_EQ(Set({{"animMode", Sym("infinite")}, {"numFrames", Int(30)},
                 {"changeColorFlag", Int(0)}}),
            kOk);
  EXPECT_EQ(Frame(), (Shown{4, 4, 0, 0}));
  EXPECT_EQ(Frame(), (Shown{4, 4, 0, 0}));
  // The flag alone is applied without touching the animation.
  ASSERT_EQ(Set({{"changeColorFlag", Int(1)}}), kOk);
  EXPECT_FALSE((Frame() == Shown{4, 4, 0, 0}));
}

// ---------------------------------------------------------------------------
// Lists that say nothing usable.

TEST_F(MosaicAnimation, UnusableListsChangeNothing) {
  ASSERT_EQ(Set({{"animMode", Sym("static")}, {"xResolution", Int(6)}}), kOk);
  const Shown before = Frame();
  ASSERT_EQ(before.width, 6);
  const auto same = [&](const char* what, Status status, std::int32_t restarted,
                        std::int32_t changed) {
    SCOPED_TRACE(what);
    EXPECT_EQ(status, kOk);
    EXPECT_EQ(restarted, 0);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(Frame(), before);
  };
  std::int32_t r = 0, c = 0;
  Status s = Set({{"xResolution", Sym("wide")}, {"yResolution", values().Point(2, 3)}}, &r, &c);
  same("wrong value types", s, r, c);
  s = SetValue(Int(12), &r, &c);
  same("an integer instead of a list", s, r, c);
  s = Set({}, &r, &c);
  same("an empty list", s, r, c);
  s = Set({{"animMode", Sym("sideways")}, {"xResolution", Int(3)}}, &r, &c);
  same("a mode outside the table", s, r, c);
  s = Set({{"animMode", Sym("follow")}, {"xResolution", Int(3)}}, &r, &c);
  same("a mode mosaic does not act on", s, r, c);
  s = Set({{"animMode", Int(1)}, {"xresolution", Int(3)}, {"interpolation", Int(1)}}, &r, &c);
  same("a mode that is no symbol, a key in the wrong case, a key mosaic does not read", s, r,
       c);
}

TEST_F(MosaicAnimation, HugeFrameCountsAnimateSlowly) {
  ASSERT_EQ(Set({{"animMode", Sym("range")},
                 {"startXRes", Int(1)},
                 {"endXRes", Int(100)},
                 {"numFrames", Int(2147483647)}}),
            kOk);
  EXPECT_EQ(Widths(3), (std::vector<std::int32_t>{1, 1, 1}));
  EXPECT_EQ(IsStill(), 0);
  ASSERT_EQ(Set({{"animMode", Sym("pendulum")},
                 {"startXRes", Int(1)},
                 {"endXRes", Int(2147483647)},
                 {"numFrames", Int(1)}}),
            kOk);
  // The largest size in one frame: the tile covers the image from its
  // centre on; back at the start on the next frame.
  EXPECT_EQ(Frame(), (Shown{kW / 2, 1, 0, 0}));
  EXPECT_EQ(Frame(), (Shown{1, 1, 0, 0}));
}

TEST_F(MosaicAnimation, PropertyTableThatCannotBeBuiltAppliesNothing) {
  host_.allocator().FailAll(true);
  std::int32_t restarted = 0, changed = 0;
  EXPECT_EQ(Set({{"animMode", Sym("static")}, {"xResolution", Int(7)}}, &restarted, &changed),
            kNoMemory);
  host_.allocator().FailAll(false);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(restarted, 0);
  EXPECT_EQ(Frame(), (Shown{1, 1, 0, 0}));
  // The next call builds the table and applies the list.
  EXPECT_EQ(Set({{"animMode", Sym("static")}, {"xResolution", Int(7)}}), kOk);
  EXPECT_EQ(Frame().width, 7);
}

}  // namespace
}  // namespace vx::mosaic_test
