// RGB and HSB shift on a 640 x 480 sprite driven through the module's
// exports as Glissade drives it, at 32, 24, 16 and 8 bits, through the
// mask's runs: opaque throughout (stored outright), soft
// (bench::MakeSoftMask: blended pixel by pixel) and blend 128. In the same run, the same
// source colours taken to HSV and back by OpenCV on one thread
// (cvtColor BGR2HSV then HSV2BGR, 8UC3): the peer converts only, the
// effects also composite through the mask.
//
// Counters: Mpx/s of the effect, of the round trip (opencv_Mpx/s) and
// their ratio (vs_opencv, effect / round trip; above 1 the effect is
// faster), both timed in processor time.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <string>

#include "sprite_scene.h"

namespace vx {
namespace {

using bench::kHeight;
using bench::kWidth;

struct Scene : bench::SpriteScene {
  Scene(const Guid& classId, int depth, int path) : SpriteScene(depth, classId, 11) {
    UsePath(path);
    runs = glissade::MakeMaskRuns(mask);
    auto& v = host.values();
    const bool hsb = &classId == &kHsbClassId;
    configured = Apply(v.List({{"animMode", v.SymbolValue("static")},
                               {hsb ? "hueShift" : "redShift", v.Integer(hsb ? 30 : 20)},
                               {hsb ? "satShift" : "greenShift", v.Integer(10)},
                               {hsb ? "brightShift" : "blueShift", v.Integer(-10)}}));
    // The peer's pixels: the source's colours, blue, green, red.
    bgr.create(kHeight, kWidth, CV_8UC3);
    for (std::int32_t y = 0; y < kHeight; ++y)
      for (std::int32_t x = 0; x < kWidth; ++x) {
        const std::uint8_t* p = source.Pixel(x, y);
        auto& c = bgr.at<cv::Vec3b>(y, x);
        if (depth == 8) {
          const glissade::Colour pc = palette.ColourOf(p[0]);
          c = cv::Vec3b(pc.b, pc.g, pc.r);
        } else if (depth == 16) {
          const int w = p[0] | (p[1] << 8);
          c = cv::Vec3b(static_cast<std::uint8_t>((w & 31) << 3),
                        static_cast<std::uint8_t>(((w >> 5) & 31) << 3),
                        static_cast<std::uint8_t>(((w >> 10) & 31) << 3));
        } else {
          c = cv::Vec3b(p[0], p[1], p[2]);
        }
      }
  }

  void Render() {
    AreaRect update = destination.view().bounds;
    effect->ops->Render(effect.get(), destination.View(), source.View(), &update, mask.View(),
                        runs.data(), palette.Record(), blend, 1, 0, 0, &thresholds);
  }

  void RoundTrip() {
    cv::cvtColor(bgr, hsv, cv::COLOR_BGR2HSV);
    cv::cvtColor(hsv, back, cv::COLOR_HSV2BGR);
  }

  std::vector<std::uint16_t> runs;
  cv::Mat bgr, hsv, back;
  bool configured = false;
};

template <const Guid* kClass>
void ColourShift(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  const int path = static_cast<int>(state.range(1));
  Scene scene(*kClass, depth, path);
  if (!scene.configured) {
    state.SkipWithError("the effect could not be created or configured");
    return;
  }
  cv::setNumThreads(1);
  bench::MeasureAgainst(
      state, "opencv", [&] { scene.Render(); }, [&] { scene.RoundTrip(); });
  state.SetLabel(std::to_string(depth) + "-bit, " + bench::PathName(path));
}

void Hsb(benchmark::State& state) { ColourShift<&kHsbClassId>(state); }
void Rgb(benchmark::State& state) { ColourShift<&kRgbClassId>(state); }

BENCHMARK(Hsb)
    ->ArgsProduct({{32, 24, 16, 8}, {0, 1, 2}})
    ->ArgNames({"depth", "path"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Rgb)
    ->ArgsProduct({{32, 24, 16, 8}, {0, 1, 2}})
    ->ArgNames({"depth", "path"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vx
