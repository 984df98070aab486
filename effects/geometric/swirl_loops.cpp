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
// those past the last column or row held on it. Samples whose taps all lie
// inside take a short form that holds nothing.
template <class Source, bool kBilinear>
class SwirlSampler {
 public:
  explicit SwirlSampler(const SwirlLoopJob& job)
      : mask_(job.mask), colour_(job.colour), table_(job.palette), lower_(job.thresholds.lower),
        innerColumns_(static_cast<std::uint32_t>(job.mask.width - (kBilinear ? 1 : 0))),
        innerRows_(static_cast<std::uint32_t>(job.mask.height - (kBilinear ? 1 : 0))) {}

  VX_PIXEL_INLINE PackedSample operator()(std::int32_t x, std::int32_t y) const {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    if (static_cast<std::uint32_t>(ix) < innerColumns_ &&
        static_cast<std::uint32_t>(iy) < innerRows_) {
      const std::int32_t m = *mask_.At(ix, iy);
      if (m <= lower_) return {};
      const std::uint8_t* p = colour_.top + iy * colour_.rowStep +
                              std::ptrdiff_t{ix} * StepOf<Source::kStep>(colour_.step);
      if constexpr (!kBilinear)
        return {m, Source::LoadBgr(table_, p)};
      else
        return {m, Blend4Colour<Source>(table_, p, colour_.rowStep,
                                        StepOf<Source::kStep>(colour_.step),
                                        BilinearWeights(x & 255, y & 255))};
    }
    if constexpr (!kBilinear)
      return {};
    else
      return Edge(ix, iy, x & 255, y & 255);
  }

 private:
  // The last column or row, or outside: taps past the sprite held on it.
  PackedSample Edge(std::int32_t ix, std::int32_t iy, std::int32_t fx, std::int32_t fy) const {
    if (static_cast<std::uint32_t>(ix) >= static_cast<std::uint32_t>(mask_.width) ||
        static_cast<std::uint32_t>(iy) >= static_cast<std::uint32_t>(mask_.height))
      return {};
    const std::int32_t m = *mask_.At(ix, iy);
    if (m <= lower_) return {};
    const std::int32_t x1 = ix + 1 < colour_.width ? ix + 1 : ix;
    const std::int32_t y1 = iy + 1 < colour_.height ? iy + 1 : iy;
    return {m, HeldBlend4<Source>(table_, colour_, ix, iy, x1, y1, BilinearWeights(fx, fy))};
  }

  ViewWalk mask_, colour_;
  typename Source::Table table_;
  std::int32_t lower_;
  std::uint32_t innerColumns_, innerRows_;
};

// Destination pixels whose positions are all worked out before the first
// of them is sampled: the mapping's serial float chain and table lookups
// run on their own, and the sampling that follows has no chain through it.
constexpr std::int32_t kChunk = 64;

template <class Sampler, class Sink>
void ChunkedWalk(std::int32_t width, std::int32_t height, SwirlMapping& map,
                 const Sampler& sample, Sink& sink) {
  std::int32_t xs[kChunk], ys[kChunk];
  for (std::int32_t y = 0; y < height; ++y) {
    sink.BeginRow(y);
    map.BeginRow(y);
    for (std::int32_t x0 = 0; x0 < width; x0 += kChunk) {
      const std::int32_t n = width - x0 < kChunk ? width - x0 : kChunk;
      map.Fill(xs, ys, n);
      for (std::int32_t i = 0; i < n; ++i) sink.Put(x0 + i, sample(xs[i], ys[i]));
    }
    EndSinkRow(sink);
  }
}

template <class Source, class Sink>
void Walk(bool interpolate, const SwirlLoopJob& job, SwirlMapping mapping, Sink& sink) {
  const std::int32_t w = job.destination.width, h = job.destination.height;
  if (interpolate)
    ChunkedWalk(w, h, mapping, SwirlSampler<Source, true>(job), sink);
  else
    ChunkedWalk(w, h, mapping, SwirlSampler<Source, false>(job), sink);
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
