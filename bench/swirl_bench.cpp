// Swirl on a 640 x 480 sprite (90 degrees at the centre; opaque, soft
// mask and blend 128, see bench::PathName) driven through the module's exports as Glissade drives it,
// nearest and bilinear, at 32, 16 and 8 bits; in the same run, on one
// thread:
//  - OpenCV's remap with the same swirl precomputed as a fixed-point map
//    (built once, outside the timing: the peer only gathers, while swirl
//    works its map out pixel by pixel and composites through the mask);
//  - ImageMagick's swirl of the same angle through Magick++ (32-bit only,
//    its own sampling), timed on a fresh copy of the picture each frame.
//
// Counters (MeasureAgainstEach): Mpx/s of the swirl render and of each
// peer, and the ratios vs_remap and vs_magick (swirl / peer; above 1 means
// swirl is faster). ImageMagick's figure includes taking a fresh copy of
// its picture each frame (a copy of 2.4 MB, about a hundredth of its time).
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cmath>
#include <cstdint>

#include "cv_peer.h"
#include "sprite_scene.h"

#if VX_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif
#if VX_HAVE_MAGICK
#include <Magick++.h>
#endif

namespace vx {
namespace {

using bench::kHeight;
using bench::kPixels;
using bench::kWidth;
constexpr std::int32_t kDegrees = 90;

#if VX_HAVE_OPENCV
// The swirl's map: each pixel's offset from the centre turned by the angle
// at full strength in the middle, falling off linearly along x and y.
struct RemapPeer : bench::CvPeerImages {
  RemapPeer(int depth, bool bilinear) : CvPeerImages(depth, bilinear) {
    cv::Mat mapX(kHeight, kWidth, CV_32FC1), mapY(kHeight, kWidth, CV_32FC1);
    const double hw = kWidth / 2.0, hh = kHeight / 2.0;
    const double turn = -kDegrees * 3.141592653589793 / 180.0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const double dx = x - hw, dy = y - hh;
        const double a = turn * (1 - std::fabs(dx) / hw) * (1 - std::fabs(dy) / hh);
        mapX.at<float>(y, x) = static_cast<float>(hw + dx * std::cos(a) - dy * std::sin(a));
        mapY.at<float>(y, x) = static_cast<float>(hh + dx * std::sin(a) + dy * std::cos(a));
      }
    cv::convertMaps(mapX, mapY, map1, map2, CV_16SC2, !bilinear);
  }
  void Run() { cv::remap(source, destination, map1, map2, flags, cv::BORDER_TRANSPARENT); }
  cv::Mat map1, map2;
};
#endif

#if VX_HAVE_MAGICK
struct MagickPeer {
  MagickPeer() {
    static const bool initialised = [] {
      setenv("MAGICK_THREAD_LIMIT", "1", 1);
      Magick::InitializeMagick(nullptr);
      return true;
    }();
    (void)initialised;
    original = Magick::Image(Magick::Geometry(kWidth, kHeight), Magick::Color("black"));
    original.addNoise(Magick::UniformNoise);
  }
  // A fresh copy each time: swirl works in place.
  void Run() {
    Magick::Image work = original;
    work.modifyImage();
    work.swirl(kDegrees);
  }
  Magick::Image original;
};
#endif

void Swirl(benchmark::State& state) {
  const bench::SampledCase c = bench::SampledCase::Of(state);
  bench::SampledScene scene(c, kSwirlClassId, 5, "degrees", kDegrees);
  if (!scene.configured) {
    state.SkipWithError("swirl could not be created or configured");
    return;
  }
  const auto render = [&] { scene.Render(); };
#if VX_HAVE_OPENCV
  cv::setNumThreads(1);
  RemapPeer remap(c.depth, c.bilinear);
  const auto remapRun = [&] { remap.Run(); };
#if VX_HAVE_MAGICK
  if (c.depth == 32) {
    MagickPeer magick;
    const auto magickRun = [&] { magick.Run(); };
    bench::MeasureAgainstEach(state, render, std::pair<std::string, decltype(remapRun)>{"remap", remapRun},
                              std::pair<std::string, decltype(magickRun)>{"magick", magickRun});
  } else
#endif
    bench::MeasureAgainst(state, "remap", render, remapRun);
#else
  bench::MeasureAgainstEach(state, render);
#endif
  state.SetLabel(c.Label());
}

BENCHMARK(Swirl)->Apply(bench::SampledCase::Register);

}  // namespace
}  // namespace vx
