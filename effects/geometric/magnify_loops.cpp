#include "effects/geometric/magnify_loops.h"

#include <algorithm>

#include "effects/geometric/clamped_loops.h"

namespace vx {
namespace {

using geometric_detail::HardMaskSink;
using geometric_detail::HeldBlend4;
using geometric_detail::kReadsPalette;
using geometric_detail::PaletteComplete;

std::int32_t Held(std::int32_t v, std::int32_t last) { return v < 0 ? 0 : v > last ? last : v; }

// The mask byte at the destination pixel itself; the colour of the source
// pixel under the position, or of its four taps, every tap outside the
// source taking the nearest source pixel.
template <class Source, bool kBilinear>
class MagnifySampler {
 public:
  explicit MagnifySampler(const MagnifyLoopJob& job)
      : mask_(job.mask),
        source_(job.source),
        table_(job.palette),
        lastX_(job.source.width - 1),
        lastY_(job.source.height - 1) {}

  VX_PIXEL_INLINE PackedSample operator()(std::int32_t dx, std::int32_t dy, std::int32_t x,
                                          std::int32_t y) const {
    const std::int32_t m = *mask_.At(dx, dy);
    const std::int32_t ix = x >> 8, iy = y >> 8;
    const std::int32_t x0 = Held(ix, lastX_), y0 = Held(iy, lastY_);
    if constexpr (!kBilinear) {
      return {m, Source::LoadBgr(table_, source_.At(x0, y0))};
    } else {
      return {m, HeldBlend4<Source>(table_, source_, x0, y0, Held(ix + 1, lastX_),
                                    Held(iy + 1, lastY_), BilinearWeights(x & 255, y & 255))};
    }
  }

 private:
  ViewWalk mask_, source_;
  typename Source::Table table_;
  std::int32_t lastX_, lastY_;
};

// A quadrant in its visit order, kBatch pixels of a row at a time: the
// batch's samples are all taken, then the sink gets them as one span (left
// to right whichever way the row is visited).
template <class Sampler, class Sink>
void SpanWalk(std::int32_t width, std::int32_t height, MagnifyMapping& map,
              const Sampler& sample, Sink& sink) {
  constexpr std::int32_t kBatch = composite_detail::kBatch;
  std::uint32_t colours[kBatch];
  std::uint8_t masks[kBatch];
  const bool leftward = map.ReverseX();
  for (std::int32_t j = 0; j < height; ++j) {
    const std::int32_t y = map.ReverseY() ? height - 1 - j : j;
    sink.BeginRow(y);
    map.BeginRow(y);
    for (std::int32_t done = 0; done < width;) {
      const std::int32_t n = width - done < kBatch ? width - done : kBatch;
      const std::int32_t first = leftward ? width - done - n : done;  // the batch's left end
      for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t at = leftward ? n - 1 - i : i;
        const PackedSample s = sample(first + at, y, map.X(), map.Y());
        colours[at] = s.colour;
        masks[at] = static_cast<std::uint8_t>(s.mask);
        map.Next();
      }
      sink.PutSpan(first, colours, masks, n);
      done += n;
    }
    EndSinkRow(sink);
  }
}

template <class Sampler, class Sink>
void WalkWith(std::int32_t w, std::int32_t h, MagnifyMapping& mapping, const Sampler& sample,
              Sink& sink) {
  if constexpr (requires(const std::uint32_t* c, const std::uint8_t* m) {
                  sink.PutSpan(0, c, m, 0);
                })
    SpanWalk(w, h, mapping, sample, sink);
  else
    SampledWalk(w, h, mapping, sample, sink);
}

template <class Source, class Sink>
void Walk(bool interpolate, const MagnifyLoopJob& job, MagnifyMapping mapping, Sink& sink) {
  const std::int32_t w = job.destination.width, h = job.destination.height;
  if (interpolate)
    WalkWith(w, h, mapping, MagnifySampler<Source, true>(job), sink);
  else
    WalkWith(w, h, mapping, MagnifySampler<Source, false>(job), sink);
}

}  // namespace

bool RunMagnifyLoop(const PixelView& source, const PixelView& destination, bool interpolate,
                    bool hardMask, const MagnifyLoopJob& given, const MagnifyMapping& mapping) {
  if (given.destination.top == nullptr || given.mask.top == nullptr ||
      given.source.top == nullptr || !SameShape(given.destination, given.mask) ||
      given.source.width <= 0 || given.source.height <= 0 ||
      given.destination.step != destination.bytesPerPixel)
    return false;
  MagnifyLoopJob job = given;
  job.blend = std::clamp(job.blend, 0, 255);
  return VisitSampledRenderFormats(source, destination, [&]<class Source, class Fmt>() {
    if (hardMask) {
      // A working buffer of blue, green, red bytes takes the source's as
      // they are.
      if constexpr (kIsExpandedFormat<Fmt> && Source::kSpan == 3) {
        HardMaskSink sink(job.destination, job.thresholds.lower);
        Walk<Source>(interpolate, job, mapping, sink);
        return true;
      } else {
        return false;
      }
    }
    if constexpr (kReadsPalette<Source, Fmt>)
      if (!PaletteComplete(job.palette)) return false;
    geometric_detail::WithCompositeSink<Fmt>(
        job, [&](auto& sink) { Walk<Source>(interpolate, job, mapping, sink); });
    return true;
  });
}

}  // namespace vx
