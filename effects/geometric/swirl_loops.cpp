#include "effects/geometric/swirl_loops.h"

#include <algorithm>

#include "effects/geometric/clamped_loops.h"

namespace vx {
namespace {

using geometric_detail::HeldBlend4;
using geometric_detail::kReadsPalette;
using geometric_detail::PaletteComplete;

// The mask byte at the sample's own pixel (none outside the sprite, none at
// or below the lower threshold); the colour there, or of the four taps with
// those past the last column or row held on it.
template <class Source, bool kBilinear>
class SwirlSampler {
 public:
  explicit SwirlSampler(const SwirlLoopJob& job)
      : mask_(job.mask), colour_(job.colour), table_(job.palette), lower_(job.thresholds.lower) {}

  VX_PIXEL_INLINE PackedSample operator()(std::int32_t x, std::int32_t y) const {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    if (static_cast<std::uint32_t>(ix) >= static_cast<std::uint32_t>(mask_.width) ||
        static_cast<std::uint32_t>(iy) >= static_cast<std::uint32_t>(mask_.height))
      return {};
    const std::int32_t m = *mask_.At(ix, iy);
    if (m <= lower_) return {};
    if constexpr (!kBilinear) {
      return {m, Source::LoadBgr(table_, colour_.At(ix, iy))};
    } else {
      const std::int32_t x1 = ix + 1 < colour_.width ? ix + 1 : ix;
      const std::int32_t y1 = iy + 1 < colour_.height ? iy + 1 : iy;
      return {m, HeldBlend4<Source>(table_, colour_, ix, iy, x1, y1,
                                    BilinearWeights(x & 255, y & 255))};
    }
  }

 private:
  ViewWalk mask_, colour_;
  typename Source::Table table_;
  std::int32_t lower_;
};

template <class Source, class Sink>
void Walk(bool interpolate, const SwirlLoopJob& job, SwirlMapping mapping, Sink& sink) {
  const std::int32_t w = job.destination.width, h = job.destination.height;
  if (interpolate)
    SampledWalk(w, h, mapping, SwirlSampler<Source, true>(job), sink);
  else
    SampledWalk(w, h, mapping, SwirlSampler<Source, false>(job), sink);
}

// The sprite's walks must match in shape and hold pixels.
bool Usable(const SwirlLoopJob& job) {
  return job.destination.top != nullptr && job.mask.top != nullptr && job.colour.top != nullptr &&
         SameShape(job.mask, job.colour) && job.mask.width > 0 && job.mask.height > 0;
}

}  // namespace

bool RunSwirlLoop(const PixelView& colour, const PixelView& destination, bool interpolate,
                  const SwirlLoopJob& given, const SwirlMapping& mapping) {
  if (!Usable(given) || given.destination.step != destination.bytesPerPixel) return false;
  SwirlLoopJob job = given;
  job.blend = std::clamp(job.blend, 0, 255);
  return VisitSampledRenderFormats(colour, destination, [&]<class Source, class Fmt>() {
    if constexpr (kReadsPalette<Source, Fmt>)
      if (!PaletteComplete(job.palette)) return false;
    geometric_detail::WithCompositeSink<Fmt>(
        job, [&](auto& sink) { Walk<Source>(interpolate, job, mapping, sink); });
    return true;
  });
}

bool RunSwirlAlphaLoop(const PixelView& colour, const PixelView& destinationColour,
                       bool interpolate, const SwirlLoopJob& job, const SwirlMapping& mapping) {
  if (!Usable(job) || job.alpha.top == nullptr || !SameShape(job.destination, job.alpha) ||
      job.destination.step != destinationColour.bytesPerPixel)
    return false;
  return VisitSampledAlphaFormats(colour, destinationColour, [&]<class Source>() {
    if constexpr (std::is_same_v<Source, Indexed8Source>)
      if (!PaletteComplete(job.palette)) return false;
    AlphaSink sink(job);
    Walk<Source>(interpolate, job, mapping, sink);
    return true;
  });
}

}  // namespace vx
