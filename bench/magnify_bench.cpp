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
  const bench::SampledCase c = bench::SampledCase::Of(state);
  bench::SampledScene scene(c, kMagnifyClassId, 3, "percentage", 200);
  if (!scene.configured) {
    state.SkipWithError("magnify could not be created or configured");
    return;
  }
  const auto render = [&] { scene.Render(); };
#if VX_HAVE_OPENCV
  cv::setNumThreads(1);
  Peer peer(c.depth, c.bilinear);
  bench::MeasureAgainst(state, "resize", render, [&] { peer.Run(); });
#else
  bench::MeasureAgainstEach(state, render);
#endif
  state.SetLabel(c.Label());
}

BENCHMARK(Magnify)->Apply(bench::SampledCase::Register);

}  // namespace
}  // namespace vx
