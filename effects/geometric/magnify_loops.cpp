#include "effects/geometric/magnify_loops.h"

#include <algorithm>

#include "effects/geometric/clamped_loops.h"

namespace vx {
namespace {

using geometric_detail::HardMaskSink;
using geometric_detail::kReadsPalette;
using geometric_detail::PaletteComplete;

std::int32_t Held(std::int32_t v, std::int32_t last) { return v < 0 ? 0 : v > last ? last : v; }

// The mask byte at the destination pixel itself; the colour of the source
// pixel under the position, or of its four taps, every tap outside the
// source taking the nearest source pixel. A destination row samples one
// source row (or two), so Row binds them once and the pixels of the row
// differ by their column alone.
template <class Source, bool kBilinear>
class MagnifySampler {
 public:
  explicit MagnifySampler(const MagnifyLoopJob& job)
      : mask_(job.mask),
        source_(job.source),
        table_(job.palette),
        lastX_(job.source.width - 1),
        lastY_(job.source.height - 1) {}

  struct RowSampler {
    const std::uint8_t* mask;  // the destination row of the mask
    std::ptrdiff_t maskStep;
    const std::uint8_t* colour;  // source row y0
    std::ptrdiff_t down;         // on to row y1; 0 where it is held
    std::int32_t step, lastX, fy;
    typename Source::Table table;

    // Destination column dx, source position x (24.8).
    VX_PIXEL_INLINE PackedSample operator()(std::int32_t dx, std::int32_t x) const {
      const std::int32_t m = mask[dx * maskStep];
      const std::int32_t ix = x >> 8;
      const std::uint8_t* p = colour + static_cast<std::ptrdiff_t>(Held(ix, lastX)) * step;
      if constexpr (!kBilinear) {
        return {m, Source::LoadBgr(table, p)};
      } else {
        // The right tap is held unless both columns lie inside.
        const std::int32_t right = ix >= 0 && ix < lastX ? step : 0;
        return {m, geometric_detail::HeldBlend4At<Source>(table, p, down, right,
                                                          BilinearWeights(x & 255, fy))};
      }
    }
  };

  // Destination row dy, whose samples lie on source row y (24.8).
  VX_PIXEL_INLINE RowSampler Row(std::int32_t dy, std::int32_t y) const {
    const std::int32_t iy = y >> 8;
    const std::int32_t y0 = Held(iy, lastY_);
    return {mask_.Row(dy),
            mask_.step,
            source_.Row(y0),
            Held(iy + 1, lastY_) != y0 ? source_.rowStep : 0,
            source_.step,
            lastX_,
            y & 255,
            table_};
  }

 private:
  ViewWalk mask_, source_;
  typename Source::Table table_;
  std::int32_t lastX_, lastY_;
};

// A quadrant in its visit order. Sinks with span forms get a row kBatch
// pixels at a time, the batch's samples all taken first and handed over as
// one span (left to right whichever way the row is visited); others take
// each sample as it comes.
template <class Sampler, class Sink>
void QuadrantWalk(std::int32_t width, std::int32_t height, MagnifyMapping& map,
                  const Sampler& sample, Sink& sink) {
  constexpr bool kSpans = requires(const std::uint32_t* c, const std::uint8_t* m) {
    sink.PutSpan(0, c, m, 0);
  };
  constexpr std::int32_t kBatch = composite_detail::kBatch;
  std::uint32_t colours[kBatch];
  std::uint8_t masks[kBatch];
  const bool leftward = map.ReverseX();
  for (std::int32_t j = 0; j < height; ++j) {
    const std::int32_t y = map.ReverseY() ? height - 1 - j : j;
    sink.BeginRow(y);
    map.BeginRow(y);
    const auto row = sample.Row(y, map.Y());
    for (std::int32_t done = 0; done < width;) {
      const std::int32_t n = kSpans ? std::min(kBatch, width - done) : width - done;
      const std::int32_t first = leftward ? width - done - n : done;  // the batch's left end
      for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t at = leftward ? n - 1 - i : i;
        const PackedSample s = row(first + at, map.X());
        if constexpr (kSpans) {
          colours[at] = s.colour;
          masks[at] = static_cast<std::uint8_t>(s.mask);
        } else {
          sink.Put(first + at, s);
        }
        map.Next();
      }
      if constexpr (kSpans) sink.PutSpan(first, colours, masks, n);
      done += n;
    }
    EndSinkRow(sink);
  }
}

template <class Source, class Sink>
void Walk(bool interpolate, const MagnifyLoopJob& job, MagnifyMapping mapping, Sink& sink) {
  const std::int32_t w = job.destination.width, h = job.destination.height;
  if (interpolate)
    QuadrantWalk(w, h, mapping, MagnifySampler<Source, true>(job), sink);
  else
    QuadrantWalk(w, h, mapping, MagnifySampler<Source, false>(job), sink);
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
