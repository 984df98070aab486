// Magnify on a 640 x 480 sprite (200 % about the centre; opaque, soft mask
// and blend 128, see bench::PathName) driven through the module's exports as Glissade drives it,
// nearest and bilinear, at 32, 16 and 8 bits; in the same run OpenCV's
// resize of the same centre region (320 x 240) to the whole picture with
// the same sampling, on one thread.
//
// Counters (MeasureAgainst): Mpx/s of the magnify render and of the peer,
// and their ratio vs_resize (magnify / peer; above 1 means magnify is
// faster). The peer only resamples; magnify also composites through the
// mask.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "cv_peer.h"
#include "sprite_scene.h"

#if VX_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace vx {
namespace {

using bench::kHeight;
using bench::kPixels;
using bench::kWidth;

struct Scene : bench::SpriteScene {
  Scene(int depth, bool bilinear, int path) : SpriteScene(depth, kMagnifyClassId, 3) {
    UsePath(path);
    configured = Apply(host.values().List(
        {{"percentage", host.values().Integer(200)},
         {"interpolation", host.values().Integer(bilinear ? 1 : 0)}}));
  }
  bool configured = false;
};

#if VX_HAVE_OPENCV
struct Peer : bench::CvPeerImages {
  Peer(int depth, bool bilinear) : CvPeerImages(depth, bilinear) {
    region = source(cv::Rect(kWidth / 4, kHeight / 4, kWidth / 2, kHeight / 2));
  }
  void Run() { cv::resize(region, destination, destination.size(), 0, 0, flags); }
  cv::Mat region;
};
#endif

void Magnify(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  const bool bilinear = state.range(1) != 0;
  const int path = static_cast<int>(state.range(2));
  Scene scene(depth, bilinear, path);
  if (!scene.configured) {
    state.SkipWithError("magnify could not be created or configured");
    return;
  }
  const auto render = [&] { scene.Render(); };
#if VX_HAVE_OPENCV
  cv::setNumThreads(1);
  Peer peer(depth, bilinear);
  bench::MeasureAgainst(state, "resize", render, [&] { peer.Run(); });
#else
  bench::MeasureAgainstEach(state, render);
#endif
  state.SetLabel(std::to_string(depth) + "-bit " + (bilinear ? "bilinear" : "nearest") + ", " +
                 bench::PathName(path));
}

BENCHMARK(Magnify)
    ->ArgsProduct({{32, 16, 8}, {0, 1}, {0, 1, 2}})
    ->ArgNames({"depth", "bilinear", "path"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vx
