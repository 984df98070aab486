// What the geometric benchmarks' OpenCV peers share: a random source and a
// destination of the stage's size, in the type matching a stage depth (the
// 8- and 16-bit peers are single-channel), and the sampling flag.
#pragma once

#if VX_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "sprite_scene.h"

namespace vx::bench {

struct CvPeerImages {
  CvPeerImages(int depth, bool bilinear)
      : flags(bilinear ? cv::INTER_LINEAR : cv::INTER_NEAREST) {
    const int type = depth == 32 ? CV_8UC4 : depth == 16 ? CV_16UC1 : CV_8UC1;
    source.create(kHeight, kWidth, type);
    destination.create(kHeight, kWidth, type);
    cv::randu(source, 0, 255);
  }
  int flags;
  cv::Mat source, destination;
};

}  // namespace vx::bench
#endif
