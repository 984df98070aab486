// Rotate's loops, both the row-clipped walk and the walk that tests every
// tap, against the host's plain sampled reference, on random turns, start
// points, formats, blend levels and thresholds: every byte of destination
// and alpha must match, and pairs without a rule draw nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

#include "effects/geometric/rotate_loops.h"
#include "host/glissade/image.h"
#include "host/glissade/palette.h"
#include "host/glissade/sampled_reference.h"
#include "tests/rotate/test_support.h"

namespace vx {
namespace {

using glissade::Image;
using glissade::ImageKind;

struct Kind {
  ImageKind kind;
  std::int32_t bytes;  // of the expanded kinds
};
struct Pair {
  Kind source, destination;
};

// The Render table's pairs and two without a rule.
const Pair kRenderPairs[] = {
    {{ImageKind::kRgb32, 4}, {ImageKind::kRgb24, 4}},
    {{ImageKind::kRgb24, 4}, {ImageKind::kRgb32, 4}},
    {{ImageKind::kExpanded8, 4}, {ImageKind::kExpanded8, 3}},
    {{ImageKind::kRgb555, 4}, {ImageKind::kRgb555, 4}},
    {{ImageKind::kExpanded16, 3}, {ImageKind::kRgb555, 4}},
    {{ImageKind::kIndexed8, 4}, {ImageKind::kIndexed8, 4}},
    {{ImageKind::kExpanded8, 4}, {ImageKind::kIndexed8, 4}},
    {{ImageKind::kRgb555, 4}, {ImageKind::kRgb32, 4}},
    {{ImageKind::kIndexed8, 4}, {ImageKind::kRgb555, 4}},
};
// Colour plus alpha: expanded destinations whose depth names the source.
const Pair kAlphaPairs[] = {
    {{ImageKind::kRgb32, 4}, {ImageKind::kRgb24, 4}},
    {{ImageKind::kIndexed8, 4}, {ImageKind::kExpanded8, 4}},
    {{ImageKind::kRgb555, 4}, {ImageKind::kExpanded16, 3}},
    {{ImageKind::kIndexed8, 4}, {ImageKind::kExpanded16, 4}},
};

class Round {
 public:
  Round(std::mt19937& rng, glissade::PaletteTable& palette, const testing_support::Tables& tables)
      : rng_(rng), palette_(palette), tables_(tables) {}

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  // One random round of `pair`; `withAlpha` writes colour plus alpha.
  void Run(const Pair& pair, bool withAlpha, int round) {
    const std::int32_t w = Int(1, 24), h = Int(1, 24), dw = Int(1, 40), dh = Int(1, 30);
    Image source(pair.source.kind, 0, 0, w, h, pair.source.bytes);
    Image mask(Int(0, 3) ? ImageKind::kIndexed8 : ImageKind::kRgb555, 0, 0, w, h);
    source.FillRandom(rng_);
    mask.FillRandom(rng_);
    for (std::int32_t y = 0; y < h; ++y)
      for (std::int32_t x = 0; x < w; ++x) {
        const int r = Int(0, 9);
        if (r < 7) *mask.Pixel(x, y) = r < 5 ? 255 : 0;
      }
    const Kind& dk = pair.destination;
    Image drawn(dk.kind, 0, 0, dw, dh, dk.bytes), expected(dk.kind, 0, 0, dw, dh, dk.bytes);
    Image alphaDrawn(ImageKind::kIndexed8, 0, 0, dw, dh);
    Image alphaExpected(ImageKind::kIndexed8, 0, 0, dw, dh);
    drawn.FillRandom(rng_);
    expected.Assign(drawn.Memory());
    alphaDrawn.FillRandom(rng_);
    alphaExpected.Assign(alphaDrawn.Memory());

    const std::int32_t left = Int(0, dw - 1), top = Int(0, dh - 1);
    const AreaRect area = MakeRect(left, top, Int(left + 1, dw), Int(top + 1, dh));
    RotateLoopJob job;
    ViewWalk walk;
    ASSERT_TRUE(OpenWalk(drawn.View(), area, &job.destination));
    ASSERT_TRUE(OpenWalk(alphaDrawn.View(), area, &job.alpha));
    ASSERT_TRUE(OpenWalk(source.View(), source.view().bounds, &walk));
    job.colour = WindowOf(walk);
    ASSERT_TRUE(OpenWalk(mask.View(), mask.view().bounds, &walk));
    job.mask = WindowOf(walk);
    job.maskWidth = w;
    job.maskRows = h;
    job.steps = ComputeMappingVectors(Int(0, 255), Int(0, 1) != 0, tables_.Ref());
    job.start = {Int(-256 * 30, 256 * 30), Int(-256 * 30, 256 * 30)};
    job.blend = Int(0, 1) ? 255 : Int(0, 255);
    job.thresholds.lower = Int(0, 3) ? Int(0, 64) : -1;
    job.thresholds.upper = Int(0, 1) ? 255 : Int(0, 300);
    job.checkEveryTap = Int(0, 1) != 0;
    ReadPalette(palette_.Record(), &job.palette);
    const bool interpolate = Int(0, 1) != 0;

    const bool ran = withAlpha
                         ? RunRotateAlphaLoop(source.view(), drawn.view(), interpolate, job)
                         : RunRotateLoop(source.view(), drawn.view(), interpolate, job);

    glissade::SampledReferenceJob ref;
    ref.destination = &expected;
    ref.update = area;
    if (withAlpha) {
      ref.alpha = &alphaExpected;
      ref.alphaLeft = area.left;
      ref.alphaTop = area.top;
    }
    ref.source = &source;
    ref.mask = &mask;
    ref.sampling =
        interpolate ? glissade::SampledMask::kFading : glissade::SampledMask::kNearest;
    ref.blend = job.blend;
    ref.upper = job.thresholds.upper;
    ref.lower = job.thresholds.lower;
    ref.palette = &palette_;
    // The walk's position: start plus whole column and row steps, in 32 bits.
    const MappingVectors s = job.steps;
    const FixedPoint start = job.start;
    ref.position = [s, start](std::int32_t x, std::int32_t y) {
      const auto at = [](std::int32_t from, std::int32_t col, std::int32_t row, std::int32_t x,
                         std::int32_t y) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(from) +
                                         static_cast<std::uint32_t>(col * x + row * y));
      };
      return glissade::SourcePosition{at(start.x, s.colStepX, s.rowStepX, x, y),
                                      at(start.y, s.colStepY, s.rowStepY, x, y)};
    };
    const bool hasRule = glissade::ReferenceSampled(ref);

    ASSERT_EQ(ran, hasRule) << "round " << round;
    ASSERT_EQ(drawn.Memory(), expected.Memory()) << "round " << round;
    if (withAlpha) {
      ASSERT_EQ(alphaDrawn.Memory(), alphaExpected.Memory()) << "round " << round;
    }
    ASSERT_TRUE(drawn.GuardsIntact() && alphaDrawn.GuardsIntact()) << "round " << round;
    drawnRounds += ran ? 1 : 0;
  }

  int drawnRounds = 0;

 private:
  std::mt19937& rng_;
  glissade::PaletteTable& palette_;
  const testing_support::Tables& tables_;
};

TEST(RotateLoopReferenceTest, RenderLoopsMatchThePlainReference) {
  std::mt19937 rng(31);
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng, 3, 2);
  testing_support::Tables tables;
  Round r(rng, palette, tables);
  for (int round = 0; round < 900 && !HasFailure(); ++round)
    r.Run(kRenderPairs[round % std::size(kRenderPairs)], false, round);
  EXPECT_GT(r.drawnRounds, 600);  // the pairs without a rule are the rest
}

TEST(RotateLoopReferenceTest, AlphaLoopsMatchThePlainReference) {
  std::mt19937 rng(32);
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng);
  testing_support::Tables tables;
  Round r(rng, palette, tables);
  for (int round = 0; round < 400 && !HasFailure(); ++round)
    r.Run(kAlphaPairs[round % std::size(kAlphaPairs)], true, round);
  EXPECT_GT(r.drawnRounds, 250);
}

// Sixteen colours repeated: most indices share their colour with a lower
// one, which the inverse table names, and a stored pixel takes that index.
TEST(RotateLoopReferenceTest, IndicesSharingAColourStoreTheTablesIndex) {
  std::mt19937 rng(34);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<glissade::Colour> sixteen(16);
  for (auto& c : sixteen)
    c = {static_cast<std::uint8_t>(byte(rng)), static_cast<std::uint8_t>(byte(rng)),
         static_cast<std::uint8_t>(byte(rng))};
  glissade::PaletteTable palette(sixteen);
  testing_support::Tables tables;
  Round r(rng, palette, tables);
  const Pair indices{{ImageKind::kIndexed8, 4}, {ImageKind::kIndexed8, 4}};
  for (int round = 0; round < 300 && !HasFailure(); ++round) r.Run(indices, false, round);
  EXPECT_EQ(r.drawnRounds, 300);
}

// The generic walk with the bilinear sampler whose mask is the single byte
// at the integer position, as swirl samples, along a linear mapping.
TEST(RotateLoopReferenceTest, MaskAtTapWalkMatchesThePlainReference) {
  std::mt19937 rng(33);
  testing_support::Tables tables;
  const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 300 && !HasFailure(); ++round) {
    const std::int32_t w = pick(1, 20), h = pick(1, 20), dw = pick(1, 30), dh = pick(1, 30);
    Image source(ImageKind::kRgb32, 0, 0, w, h), mask(ImageKind::kIndexed8, 0, 0, w, h);
    Image drawn(ImageKind::kRgb32, 0, 0, dw, dh), expected(ImageKind::kRgb32, 0, 0, dw, dh);
    source.FillRandom(rng);
    mask.FillRandom(rng);
    drawn.FillRandom(rng);
    expected.Assign(drawn.Memory());
    SampledJob job;
    ViewWalk walk;
    ASSERT_TRUE(OpenWalk(drawn.View(), drawn.view().bounds, &job.destination));
    ASSERT_TRUE(OpenWalk(source.View(), source.view().bounds, &walk));
    job.colour = WindowOf(walk);
    ASSERT_TRUE(OpenWalk(mask.View(), mask.view().bounds, &walk));
    job.mask = WindowOf(walk);
    job.maskWidth = w;
    job.maskRows = h;
    job.thresholds.lower = pick(-1, 40);
    const MappingVectors steps = ComputeMappingVectors(pick(0, 255), false, tables.Ref());
    const FixedPoint start{pick(-256 * 20, 256 * 20), pick(-256 * 20, 256 * 20)};
    const BilinearSampler<ExpandedSource<4>, 1, MaskAtTap> sample(job);
    LinearMapping map(start, steps);
    CompositeSink<Bgr4, true> sink(job);
    SampledWalk(dw, dh, map, sample, sink);

    glissade::SampledReferenceJob ref;
    ref.destination = &expected;
    ref.update = expected.view().bounds;
    ref.source = &source;
    ref.mask = &mask;
    ref.sampling = glissade::SampledMask::kAtTap;
    ref.lower = job.thresholds.lower;
    ref.position = [steps, start](std::int32_t x, std::int32_t y) {
      return glissade::SourcePosition{start.x + steps.colStepX * x + steps.rowStepX * y,
                                      start.y + steps.colStepY * x + steps.rowStepY * y};
    };
    ASSERT_TRUE(glissade::ReferenceSampled(ref));
    ASSERT_EQ(drawn.Memory(), expected.Memory()) << "round " << round;
  }
}

}  // namespace
}  // namespace vx
