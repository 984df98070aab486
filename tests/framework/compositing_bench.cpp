// Throughput of the compositing loops on a 32-bit destination, the case
// mosaic and the colour pass spend most of their time in.
#include <benchmark/benchmark.h>

#include <random>

#include "framework/compositing.h"
#include "host/glissade/image.h"

namespace vx {
namespace {

using glissade::Image;
using glissade::ImageKind;

constexpr std::int32_t kWidth = 1024, kHeight = 256;

// Flat colour across tiles of 8 pixels, as mosaic's tile-colour row gives.
template <class Fmt>
struct TileRow {
  void BeginRow(std::int32_t y) { shade = static_cast<std::uint8_t>(y); }
  Bgrx At(std::int32_t x) {
    const auto v = static_cast<std::uint8_t>(x >> 3);
    return Bgrx{v, shade, static_cast<std::uint8_t>(v ^ shade), 0};
  }
  std::int32_t SameColourFrom(std::int32_t x) { return 8 - (x & 7); }
  std::uint8_t shade = 0;
};

// A different colour every pixel, as the colour pass gives.
template <class Fmt>
struct PerPixel {
  void BeginRow(std::int32_t y) { shade = static_cast<std::uint8_t>(y); }
  Bgrx At(std::int32_t x) {
    const auto v = static_cast<std::uint8_t>(x);
    return Bgrx{v, shade, static_cast<std::uint8_t>(v + shade), 0};
  }
  std::uint8_t shade = 0;
};

template <template <class> class Source>
void Run(benchmark::State& state, std::int32_t blend, bool ragged) {
  Image dst(ImageKind::kRgb32, 0, 0, kWidth, kHeight);
  Image mask(ImageKind::kIndexed8, 0, 0, kWidth, kHeight);
  mask.Fill(255);
  if (ragged) {
    std::mt19937 rng(5);
    for (std::int32_t y = 0; y < kHeight; ++y)
      for (std::int32_t x = 0; x < kWidth; ++x)
        *mask.Pixel(x, y) = rng() % 16 == 0 ? static_cast<std::uint8_t>(rng()) : 255;
  }
  CompositeJob job;
  const AreaRect all = MakeRect(0, 0, kWidth, kHeight);
  OpenWalk(dst.View(), all, &job.destination);
  OpenWalk(mask.View(), all, &job.mask);
  job.blend = blend;
  Source<Bgr4> source;
  for (auto _ : state) {
    Composite<Bgr4>(job, source);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_Tiles_Opaque(benchmark::State& s) { Run<TileRow>(s, 255, false); }
void BM_Tiles_RaggedMask(benchmark::State& s) { Run<TileRow>(s, 255, true); }
void BM_Tiles_Blend128(benchmark::State& s) { Run<TileRow>(s, 128, false); }
void BM_PerPixel_Opaque(benchmark::State& s) { Run<PerPixel>(s, 255, false); }
void BM_PerPixel_Blend128(benchmark::State& s) { Run<PerPixel>(s, 128, false); }

BENCHMARK(BM_Tiles_Opaque);
BENCHMARK(BM_Tiles_RaggedMask);
BENCHMARK(BM_Tiles_Blend128);
BENCHMARK(BM_PerPixel_Opaque);
BENCHMARK(BM_PerPixel_Blend128);

}  // namespace
}  // namespace vx
