// Rotate on a 640 x 480 sprite (blend 255, turned 30 degrees) driven through
// the module's exports as Glissade drives it, nearest and bilinear, at 32,
// 16 and 8 bits; in the same run the same turn by OpenCV's warpAffine on one
// thread (INTER_NEAREST / INTER_LINEAR) when it was found.
//
// Three paths (bench::PathName): opaque, the soft mask (where every pixel
// goes by its own mask value) and blend 128.
//
// Counters: Mpx/s of the rotate render, Mpx/s of the peer and their ratio
// (rotate / peer; above 1 means rotate is faster). Both are timed frame by
// frame in thread processor time, alternating, so that other work on a
// shared machine moves both alike. The peer only warps; rotate also
// composites through the mask. Peers: 8UC4 for 32-bit, 16UC1 for 16-bit,
// 8UC1 for 8-bit.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdint>
#include <random>

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
constexpr std::int32_t kDegrees = 30;

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

#if VX_HAVE_OPENCV
struct Peer : bench::CvPeerImages {
  Peer(int depth, bool bilinear) : CvPeerImages(depth, bilinear) {
    const cv::Point2f centre(kWidth / 2.0f, kHeight / 2.0f);
    turn = cv::getRotationMatrix2D(centre, -kDegrees, 1.0);
  }
  void Warp() {
    cv::warpAffine(source, destination, turn, destination.size(), flags, cv::BORDER_TRANSPARENT);
  }
  cv::Mat turn;
};
#endif

void Rotate(benchmark::State& state) {
  const bench::SampledCase c = bench::SampledCase::Of(state);
  bench::SampledScene scene(c, kRotateClassId, 7, "degrees", kDegrees);
  if (!scene.configured) {
    state.SkipWithError("rotate could not be created or configured");
    return;
  }
#if VX_HAVE_OPENCV
  cv::setNumThreads(1);
  Peer peer(c.depth, c.bilinear);
#endif
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    scene.Render();
    const double t1 = ThreadSeconds();
    ours += t1 - t0;
#if VX_HAVE_OPENCV
    state.PauseTiming();
    const double t2 = ThreadSeconds();
    peer.Warp();
    theirs += ThreadSeconds() - t2;
    state.ResumeTiming();
#endif
    benchmark::DoNotOptimize(scene.destination.Base());
  }
  const double frames = static_cast<double>(state.iterations());
  state.counters["Mpx/s"] = ours > 0 ? frames * kPixels / ours / 1e6 : 0;
  if (theirs > 0) {
    state.counters["warpAffine_Mpx/s"] = frames * kPixels / theirs / 1e6;
    state.counters["vs_warpAffine"] = theirs / ours;
  }
  state.SetLabel(c.Label());
}

BENCHMARK(Rotate)->Apply(bench::SampledCase::Register);

}  // namespace
}  // namespace vx
