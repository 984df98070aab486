#include "effects/geometric/rotate_loops.h"

#include <algorithm>

namespace vx {

namespace {

using namespace rotate_detail;

// [interpolate][full blend]
template <class Source, class Fmt>
constexpr RotateLoopFn kRenderLoops[2][2] = {
    {&RotateLoop<Source, NearestSampler, CompositeSink<Fmt, false>>,
     &RotateLoop<Source, NearestSampler, CompositeSink<Fmt, true>>},
    {&RotateLoop<Source, BilinearSampler, CompositeSink<Fmt, false>>,
     &RotateLoop<Source, BilinearSampler, CompositeSink<Fmt, true>>},
};

// [interpolate]
template <class Source>
constexpr RotateLoopFn kAlphaLoops[2] = {&RotateLoop<Source, NearestSampler, AlphaSink>,
                                         &RotateLoop<Source, BilinearSampler, AlphaSink>};

template <class Source, class Fmt>
RotateLoopChoice Pick(bool interpolate, bool fullBlend) {
  constexpr bool kPalette =
      std::is_same_v<Source, Indexed8Source> || std::is_same_v<Fmt, Indexed8ViaPalette>;
  return {kRenderLoops<Source, Fmt>[interpolate ? 1 : 0][fullBlend ? 1 : 0], kPalette};
}

template <class Source>
RotateLoopChoice PickAlpha(bool interpolate) {
  return {kAlphaLoops<Source>[interpolate ? 1 : 0], std::is_same_v<Source, Indexed8Source>};
}

bool WindowUsable(const ByteWindow& w) {
  return w.base != nullptr && w.size > 0 && w.bytesPerPixel > 0;
}

}  // namespace

RotateLoopChoice SelectRotateLoop(const PixelView& colour, const PixelView& destination,
                                  bool interpolate, bool fullBlend) {
  const PixelFormat source = DestinationFormat(colour);
  const bool expandedSource = IsExpanded(source);
  switch (DestinationFormat(destination)) {
    case PixelFormat::kBgr3:
      if (expandedSource) return Pick<ExpandedSource, Bgr3>(interpolate, fullBlend);
      break;
    case PixelFormat::kBgr4:
      if (expandedSource) return Pick<ExpandedSource, Bgr4>(interpolate, fullBlend);
      break;
    case PixelFormat::kBgrWide:
      if (expandedSource) return Pick<ExpandedSource, BgrWide>(interpolate, fullBlend);
      break;
    case PixelFormat::kRgb555:
      // An expanded source here holds a 16-bit stage's 5-bit values.
      if (expandedSource) return Pick<ExpandedSource, Rgb555>(interpolate, fullBlend);
      if (source == PixelFormat::kRgb555)
        return Pick<Rgb555Source, Rgb555>(interpolate, fullBlend);
      break;
    case PixelFormat::kIndexed8:
      // An expanded source here holds an 8-bit stage's colours.
      if (expandedSource) return Pick<ExpandedSource, Indexed8ViaPalette>(interpolate, fullBlend);
      if (source == PixelFormat::kIndexed8)
        return Pick<Indexed8Source, Indexed8ViaPalette>(interpolate, fullBlend);
      break;
    case PixelFormat::kNone:
      break;
  }
  return {};
}

RotateLoopChoice SelectRotateAlphaLoop(const PixelView& colour,
                                       const PixelView& destinationColour, bool interpolate) {
  if (!IsExpanded(DestinationFormat(destinationColour))) return {};
  const PixelFormat source = DestinationFormat(colour);
  if (IsExpanded(source)) return PickAlpha<ExpandedSource>(interpolate);
  if (source == PixelFormat::kIndexed8 && destinationColour.depth == 8)
    return PickAlpha<Indexed8Source>(interpolate);
  if (source == PixelFormat::kRgb555 && destinationColour.depth == 16)
    return PickAlpha<Rgb555Source>(interpolate);
  return {};
}

bool RotateJobFits(const RotateLoopChoice& loop, const RotateLoopJob& job, bool withAlpha) {
  if (loop.run == nullptr) return false;
  const ViewWalk& d = job.destination;
  if (d.top == nullptr || d.width <= 0 || d.height <= 0 || d.step <= 0) return false;
  if (!WindowUsable(job.mask) || !WindowUsable(job.colour) || job.maskWidth <= 0) return false;
  if (withAlpha && (job.alpha.top == nullptr || job.alpha.step <= 0 || !SameShape(d, job.alpha)))
    return false;
  const Palette& p = job.palette;
  if (loop.usesPalette && !(p.red && p.green && p.blue && p.inverse)) return false;
  return true;
}

bool RunRotateLoop(const PixelView& colour, const PixelView& destination, bool interpolate,
                   RotateLoopJob job) {
  job.blend = std::clamp(job.blend, 0, 255);
  const RotateLoopChoice loop =
      SelectRotateLoop(colour, destination, interpolate, job.blend == 255);
  // The loop was chosen by the view; its walk must step like it.
  if (job.destination.step != destination.bytesPerPixel) return false;
  if (!RotateJobFits(loop, job, false)) return false;
  loop.run(job);
  return true;
}

bool RunRotateAlphaLoop(const PixelView& colour, const PixelView& destinationColour,
                        bool interpolate, const RotateLoopJob& job) {
  const RotateLoopChoice loop = SelectRotateAlphaLoop(colour, destinationColour, interpolate);
  if (job.destination.step != destinationColour.bytesPerPixel) return false;
  if (!RotateJobFits(loop, job, true)) return false;
  loop.run(job);
  return true;
}

}  // namespace vx
