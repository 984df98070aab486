// The colour pass's promise to its colour sources: within a row every pixel
// is met once in increasing x, drawn pixels through At (or one At for a
// span of the same colour), the others through Skip, and each row is
// closed by EndRow. The calls are recorded and checked against which pixels
// the compositing rule draws.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "framework/compositing.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"

namespace vx {
namespace {

using glissade::Image;
using glissade::ImageKind;

enum Event : char { kNotMet = 0, kAsked = 'a', kCovered = 'c', kSkipped = 's' };

// Records every call; `spans` > 0 also answers SameColourFrom with spans
// of that many pixels.
struct RecordingSource {
  void BeginRow(std::int32_t y) {
    EXPECT_EQ(y, rows) << "rows in order";
    EXPECT_FALSE(open);
    open = true;
    row.assign(static_cast<std::size_t>(width), kNotMet);
    last = -1;
  }
  void Meet(std::int32_t x, Event e) {
    ASSERT_TRUE(open);
    ASSERT_GT(x, last) << "x increases";
    ASSERT_LT(x, width);
    row[static_cast<std::size_t>(x)] = e;
    last = x;
  }
  Bgrx At(std::int32_t x) {
    Meet(x, kAsked);
    return Bgrx{9, 9, 9, 0};
  }
  void Skip(std::int32_t x, std::int32_t n) {
    EXPECT_GT(n, 0);
    for (std::int32_t i = 0; i < n; ++i) Meet(x + i, kSkipped);
  }
  void EndRow(std::int32_t y) {
    EXPECT_EQ(y, rows);
    open = false;
    ++rows;
    seen.push_back(row);
  }

  std::int32_t width = 0, rows = 0, last = -1;
  bool open = false;
  std::vector<Event> row;
  std::vector<std::vector<Event>> seen;
};

// The same with same-colour spans: the loops may write a span after one At.
struct SpanRecordingSource : RecordingSource {
  std::int32_t SameColourFrom(std::int32_t x) {
    const std::int32_t n = spanWidth - x % spanWidth;
    // The rest of the span may be drawn without asking; a pixel of it that
    // is skipped or asked after all is marked again when it is met.
    for (std::int32_t i = x + 1; i < x + n && i < width; ++i)
      if (row[static_cast<std::size_t>(i)] == kNotMet) row[static_cast<std::size_t>(i)] = kCovered;
    return n;
  }
  std::int32_t spanWidth = 1;
};

template <class Source>
void RunScene(std::mt19937& rng, CompositePath path, Source& src, bool packed) {
  const auto pick = [&](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
  };
  const std::int32_t w = pick(1, 40), h = pick(1, 6);
  Image dst(ImageKind::kRgb32, 0, 0, w, h);
  Image mask(packed ? ImageKind::kIndexed8 : ImageKind::kRgb24, 0, 0, w, h);
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x) {
      const int r = pick(0, 5);
      *mask.Pixel(x, y) = static_cast<std::uint8_t>(r < 2 ? 255 : r < 4 ? 0 : pick(1, 254));
    }
  const std::vector<std::uint16_t> runs = glissade::MakeMaskRuns(mask);
  CompositeJob job;
  ASSERT_TRUE(OpenWalk(dst.View(), MakeRect(0, 0, w, h), &job.destination));
  ASSERT_TRUE(OpenWalk(mask.View(), MakeRect(0, 0, w, h), &job.mask));
  job.path = path;
  job.blend = pick(0, 1) ? 255 : pick(0, 255);
  job.thresholds.lower = pick(-1, 3) < 0 ? -1 : pick(0, 200);
  job.thresholds.upper = pick(0, 1) ? 255 : pick(0, 255);
  job.runs = runs.data();
  src.width = w;
  ASSERT_TRUE(Composite<Bgr4>(job, src));
  ASSERT_EQ(src.rows, h);
  ASSERT_FALSE(src.open);

  // Which pixels the rule draws: the run path by the runs (a byte 0 is a
  // transparent run, anything else is drawn), the others above the lower
  // threshold.
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x) {
      const std::int32_t m = *mask.Pixel(x, y);
      const bool drawn = path == CompositePath::kRun ? m != 0 : m > job.thresholds.lower;
      const Event e = src.seen[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
      if (drawn)
        ASSERT_TRUE(e == kAsked || e == kCovered) << x << "," << y << " not drawn";
      else
        ASSERT_EQ(e, kSkipped) << x << "," << y << " not skipped";
    }
}

TEST(ColourPass, EveryPixelOnceInOrderAskedWhereDrawnSkippedElsewhere) {
  std::mt19937 rng(99);
  const CompositePath paths[] = {CompositePath::kThreshold, CompositePath::kRun,
                                 CompositePath::kHardMask};
  int asked = 0, covered = 0;
  for (int round = 0; round < 300 && !HasFailure(); ++round) {
    const CompositePath path = paths[round % 3];
    const bool packed = round % 4 != 3;
    if (round % 2 == 0) {
      RecordingSource src;
      RunScene(rng, path, src, packed);
      for (const auto& row : src.seen)
        for (Event e : row) {
          EXPECT_NE(e, kCovered);  // without spans, every drawn pixel is asked
          asked += e == kAsked;
        }
    } else {
      SpanRecordingSource src;
      src.spanWidth = 1 + round % 7;
      RunScene(rng, path, src, packed);
      for (const auto& row : src.seen)
        for (Event e : row) covered += e == kCovered;
    }
  }
  EXPECT_GT(asked, 1000);
  EXPECT_GT(covered, 100);  // spans were written from one answer
}

}  // namespace
}  // namespace vx
