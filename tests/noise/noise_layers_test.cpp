// The noise layers on their own: cosine table, the C-runtime-style
// generator and seeding, placing a layer on the map, and the sums along a
// walk compared with the map read cell by cell.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "effects/noise/noise_layers.h"
#include "framework/area_rect.h"
#include "host/core/allocator.h"

namespace vx {
namespace {

// Runs `f` on a thread of its own, whose generator starts at state 1.
template <class F>
void OnFreshThread(F f) {
  std::thread t(f);
  t.join();
}

// Noise state with a map and `count` layers from `allocator`, for driving
// the layer functions without an effect around them.
class Layers {
 public:
  Layers(host::Allocator& allocator, std::int32_t count) : allocator_(allocator) {
    n_.plasmaMap = nullptr;
    n_.layerRows = n_.layerColumns = nullptr;
    n_.layerPhases = n_.layerRates = nullptr;
    n_.phaseStep = 1.0f;
    BuildCosineTable(n_.cosineTable);
    map_.view.base = map_.bytes.data();
    n_.plasmaMap = &map_.view;
    SetLayerCount(&n_, count, allocator_.Interface());
  }
  ~Layers() {
    n_.plasmaMap = nullptr;  // ours, not a host block
    CloseNoiseLayers(&n_, allocator_.Interface());
  }
  NoiseLayers& n() { return n_; }
  std::vector<std::uint8_t>& map() { return map_.bytes; }

 private:
  struct Map {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kMapBytes, 0);
    PixelView view{};
  };
  host::Allocator& allocator_;
  Map map_;
  NoiseLayers n_;
};

TEST(CosineTable, EntriesAreTruncatedCosinesOfTheSinglePrecisionAngle) {
  std::int32_t table[256];
  BuildCosineTable(table);
  EXPECT_EQ(table[0], 256);
  EXPECT_EQ(table[32], 181);
  EXPECT_EQ(table[64], 0);
  EXPECT_EQ(table[96], -181);
  EXPECT_EQ(table[128], -255);  // the rounded angle lies just above a half turn
  EXPECT_EQ(table[192], 0);
  for (int i = 0; i < 256; ++i) {
    if (i == 128) continue;
    EXPECT_EQ(table[i], static_cast<std::int32_t>(256.0 * std::cos(2 * M_PI * i / 256))) << i;
  }
}

TEST(NoiseRandom, FollowsTheRuntimeSequencePerThread) {
  const std::vector<std::int32_t> expected = {41, 18467, 6334, 26500, 19169, 15724};
  for (int run = 0; run < 2; ++run) {
    std::vector<std::int32_t> got;
    OnFreshThread([&] {
      for (std::size_t i = 0; i < expected.size(); ++i) got.push_back(NextNoiseRandom());
    });
    EXPECT_EQ(got, expected) << "run " << run;
  }
}

TEST(SeedLayers, PhasesComeBeforeRatesFromOneSequence) {
  host::Allocator allocator;
  OnFreshThread([&] {
    Layers one(allocator, 1);
    EXPECT_EQ(one.n().layerPhases[0], 41.0f);
    EXPECT_EQ(one.n().layerPhases[1], 35.0f);  // 18467 mod 256
    EXPECT_EQ(one.n().layerRates[0], 0.711f);  // 6334 / 16383 = 0
    EXPECT_EQ(one.n().layerRates[1], 1.711f);  // 26500 / 16383 = 1
    EXPECT_EQ(allocator.BlockSize(one.n().layerPhases), 16u);
    // A second instance on the thread goes on from the same state.
    Layers two(allocator, 1);
    EXPECT_EQ(two.n().layerPhases[0], static_cast<float>(19169 % 256));
    EXPECT_EQ(two.n().layerPhases[1], static_cast<float>(15724 % 256));
  });
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

TEST(SeedLayers, CountsTheAllocatorCannotSupplyLeaveNoLayers) {
  host::Allocator allocator;
  for (std::int32_t count : {0, -3, std::numeric_limits<std::int32_t>::max(), (1 << 30) + 5}) {
    Layers layers(allocator, count);
    EXPECT_EQ(UsableLayers(layers.n()), 0) << count;
    AdvancePhases(&layers.n());
    LocateLayers(&layers.n(), MakeRect(0, 0, 10, 10), 0, 0);
    LayerSums sums(layers.n(), 10);
    sums.BeginRow(0);
    EXPECT_EQ(sums.At(3), 0);
  }
  for (std::uint32_t failing = 1; failing <= 4; ++failing) {
    allocator.FailNth(failing);
    Layers layers(allocator, 3);
    EXPECT_EQ(UsableLayers(layers.n()), 0) << failing;
  }
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

TEST(AdvancePhases, AddsRateTimesStepAndNeverWraps) {
  host::Allocator allocator;
  Layers layers(allocator, 2);
  NoiseLayers& n = layers.n();
  n.phaseStep = 2.0f;
  const std::vector<float> before(n.layerPhases, n.layerPhases + 4);
  for (int frame = 0; frame < 200; ++frame) AdvancePhases(&n);
  for (int j = 0; j < 4; ++j)
    EXPECT_NEAR(n.layerPhases[j], before[j] + 400.0f * n.layerRates[j], 0.01f) << j;
  EXPECT_GT(n.layerPhases[0], 256.0f);
}

TEST(LocateLayer, PlacesTheMapCentreOnTheClipCentreAndWobbles) {
  host::Allocator allocator;
  Layers layers(allocator, 1);
  NoiseLayers& n = layers.n();
  const AreaRect clip = MakeRect(0, 0, 320, 200);
  auto at = [&](float h, float v, std::int64_t left, std::int64_t top) {
    n.layerPhases[0] = h;
    n.layerPhases[1] = v;
    const LayerCell c = LocateLayer(n, clip, left, top, 0);
    return std::pair{c.column, c.row};
  };
  // Cosine 0: no wobble, the top-left pixel of the whole source is cell 0, 0.
  EXPECT_EQ(at(64, 64, 0, 0), std::pair(0, 0));
  EXPECT_EQ(at(64, 64, 5, 7), std::pair(5, 7));
  // Full wobble: cosine 256 moves 80 columns and 40 rows, -255 moves -80 and -40.
  EXPECT_EQ(at(0, 0, 0, 0), std::pair(80, 40));
  EXPECT_EQ(at(128, 128, 0, 0), std::pair(240, 160));
  // A phase of -1.5 truncates to -1: entry 255, cosine 255, 79 columns.
  EXPECT_EQ(at(-1.5f, 64, 0, 0), std::pair(79, 0));
  // Phases far past 32 bits still pick an entry: 2^40 is a multiple of 256.
  EXPECT_EQ(at(1099511627776.0f, 64, 0, 0), std::pair(80, 0));
  // A source far from the map lands on a valid cell, as the modulus says.
  const std::int64_t far = 3000000001;
  EXPECT_EQ(at(64, 64, far, -far),
            std::pair(static_cast<int>(far % 320), static_cast<int>(200 - far % 200)));
  // The map follows the clip rectangle's centre.
  n.layerPhases[0] = n.layerPhases[1] = 64;
  const LayerCell moved = LocateLayer(n, MakeRect(-100, -50, 220, 150), 0, 0, 0);
  EXPECT_EQ(moved.column, 100);
  EXPECT_EQ(moved.row, 50);
}

// The sum at pixel (x, y) is the map under every layer's start moved by
// (x, y), wrapping; pixels may be asked for with gaps, as skipped runs do.
TEST(LayerSums, MatchTheMapReadCellByCell) {
  host::Allocator allocator;
  std::mt19937 rng(12);
  for (int trial = 0; trial < 40; ++trial) {
    // Now and then more layers than fit in a byte.
    const std::int32_t count = static_cast<std::int32_t>(trial % 8 == 7 ? 250 + rng() % 100
                                                                        : 1 + rng() % 9);
    Layers layers(allocator, count);
    NoiseLayers& n = layers.n();
    for (auto& b : layers.map()) b = rng() % 7 == 0 ? 255 : 0;
    for (std::int32_t j = 0; j < 2 * count; ++j)
      n.layerPhases[j] = static_cast<float>(static_cast<int>(rng() % 2000) - 1000) / 3.0f;
    const AreaRect clip = MakeRect(0, 0, 1 + rng() % 900, 1 + rng() % 500);
    const std::int64_t left = static_cast<std::int64_t>(rng() % 2000) - 1000;
    const std::int64_t top = static_cast<std::int64_t>(rng() % 2000) - 1000;
    LocateLayers(&n, clip, left, top);
    const std::int32_t width = 700 + static_cast<std::int32_t>(rng() % 300);
    LayerSums sums(n, width);
    for (std::int32_t y = 0; y < 230; y += 1 + static_cast<std::int32_t>(rng() % 3)) {
      sums.BeginRow(y);
      for (std::int32_t x = 0; x < width; x += 1 + static_cast<std::int32_t>(rng() % 40)) {
        std::int32_t expected = 0;
        for (std::int32_t i = 0; i < count; ++i) {
          const LayerCell c = LocateLayer(n, clip, left, top, i);
          expected += layers.map()[((c.row + y) % kMapRows) * kMapColumns +
                                   (c.column + x) % kMapColumns];
        }
        ASSERT_EQ(sums.At(x), expected) << "trial " << trial << " at " << x << "," << y;
      }
    }
  }
}

TEST(LayerSums, ASkippedRunOf700MovesALayer60Columns) {
  host::Allocator allocator;
  Layers layers(allocator, 1);
  NoiseLayers& n = layers.n();
  n.layerPhases[0] = n.layerPhases[1] = 64;
  layers.map()[3 * kMapColumns + 70] = 255;  // row 3, column 70
  LocateLayers(&n, MakeRect(0, 0, 320, 200), 10, 3);
  LayerSums sums(n, 702);
  sums.BeginRow(0);
  EXPECT_EQ(sums.At(0), 0);
  EXPECT_EQ(sums.At(700), 255);  // column 10 + 700 = 710, 710 mod 320 = 70
  EXPECT_EQ(sums.At(701), 0);
  sums.BeginRow(200);  // the map repeats downwards too
  EXPECT_EQ(sums.At(60), 255);
}

}  // namespace
}  // namespace vx
