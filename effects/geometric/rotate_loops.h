// The rotate pixel loops: a 24.8 fixed-point walk over the destination that
// samples the unrotated source and mask (nearest or bilinear) and either
// composites the sample through the mask (`Render`) or writes colour and
// alpha side by side (`RenderWithAlpha`).
//
// The pieces are shared: source formats (framework/pixel_formats.h),
// samplers and the generic walk (sampling.h), sinks (framework/
// compositing.h). Rotate adds its linear mapping and the fast form of the
// walk below.
// The loops are picked once per render from small tables; the inner loop
// holds no test of format, sampling mode or blend level. The destination
// is walked in blocks of columns, each row of a block cut once into the
// span whose taps all lie inside the views and the transparent parts
// before and after it; inside the span no tap is tested, and the part of
// it that samples a rectangle of fully opaque mask, with the 255 bytes
// next to it, is stored by colour alone.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "effects/geometric/rotate_geometry.h"
#include "effects/geometric/sampling.h"
#include "framework/compositing.h"
#include "framework/pixel_view.h"
#include "framework/sprite_records.h"

namespace vx {

// Everything a rotate loop reads, prepared once per render: the sampled
// walk's views and values, the mapping's steps and start.
struct RotateLoopJob : SampledJob {
  MappingVectors steps{};
  FixedPoint start{};  // source position of the destination's first pixel
  // Test every tap against the views' memory, pixel by pixel, instead of
  // clipping each row to the span whose taps all lie inside. Both draw the
  // same bytes; the tested walk is the reference for the clipped one.
  bool checkEveryTap = false;
};

using RotateLoopFn = void (*)(const RotateLoopJob&);

// A chosen loop, and whether it reads the colour table (an 8-bit side).
struct RotateLoopChoice {
  RotateLoopFn run = nullptr;
  bool usesPalette = false;
};

// The loop for `Render`: by the colour (source) view's and the destination's
// formats, the sampling mode and whether the blend level is 255. Empty for
// combinations without a loop (they draw nothing).
RotateLoopChoice SelectRotateLoop(const PixelView& colour, const PixelView& destination,
                                  bool interpolate, bool fullBlend, bool checkEveryTap = false,
                                  bool packedMask = true);

// The loop for `RenderWithAlpha`: the destination colour view is expanded,
// its depth names the source format. Empty when there is none.
RotateLoopChoice SelectRotateAlphaLoop(const PixelView& colour,
                                       const PixelView& destinationColour, bool interpolate,
                                       bool checkEveryTap = false, bool packedMask = true);

// Whether `job` can be walked safely by `loop`: views present, matching
// shapes, windows over real memory, a whole colour table where the loop
// reads one. `withAlpha` also checks the alpha sub-view.
bool RotateJobFits(const RotateLoopChoice& loop, const RotateLoopJob& job, bool withAlpha);

// Picks and runs the `Render` loop; false means nothing was drawn. A blend
// level outside 0-255 is taken as its nearest end.
bool RunRotateLoop(const PixelView& colour, const PixelView& destination, bool interpolate,
                   RotateLoopJob job);

// Picks and runs the `RenderWithAlpha` loop; false means nothing was drawn.
bool RunRotateAlphaLoop(const PixelView& colour, const PixelView& destinationColour,
                        bool interpolate, const RotateLoopJob& job);

namespace rotate_detail {



// The rotate walk's source displacement for one destination row, for the
// samplers to fetch ahead by.
inline FixedPoint RowStepOf(const RotateLoopJob& job) {
  return {job.steps.rowStepX, job.steps.rowStepY};
}

// The colour a sampler hands a sink: packed bytes, unless the pair has a
// cheaper form. Nearest 5-5-5 into 5-5-5 carries the words as they are;
// nearest palette indices into an 8-bit destination carry each index's
// colour with the index it is stored as (the sink is then plain Indexed8,
// storing that index, where the colour table's sink would look it up).
template <class S, class Sink>
struct InsideColourOf {
  using Type = std::uint32_t;
};
template <std::int32_t kMaskStep, bool kFull>
struct InsideColourOf<NearestSampler<Rgb555Source, kMaskStep>, CompositeSink<Rgb555, kFull>> {
  using Type = Rgb555::Colour;
};
template <std::int32_t kMaskStep, bool kFull>
struct InsideColourOf<NearestSampler<Indexed8Source, kMaskStep>, CompositeSink<Indexed8, kFull>> {
  using Type = Bgrx;
};

// A sample with every tap tested: packed bytes, or the colour with its
// stored index where the sink stores that (5-5-5 words gain nothing here).
template <class Colour, class S>
VX_PIXEL_INLINE auto TestedSample(const S& sample, std::int32_t x, std::int32_t y) {
  if constexpr (std::is_same_v<Colour, Bgrx>)
    return sample.template operator()<Colour>(x, y);
  else
    return sample(x, y);
}

// The walk with every tap tested: the generic walk along rotate's steps.
template <class Source, template <class, std::int32_t> class Sampler, std::int32_t kMaskStep,
          class Sink>
void RotateLoop(const RotateLoopJob& job) {
  using S = Sampler<Source, kMaskStep>;
  using Colour = typename InsideColourOf<S, Sink>::Type;
  const S sample(job, RowStepOf(job));
  Sink sink(job);
  LinearMapping map(job.start, job.steps);
  const auto tap = [&sample](std::int32_t x, std::int32_t y) {
    return TestedSample<Colour>(sample, x, y);
  };
  SampledWalk(job.destination.width, job.destination.height, map, tap, sink);
}

// Narrows [first, last) to the x for which lo <= start + x * step < hi.
void ClipLinear(std::int64_t start, std::int64_t step, std::int64_t lo, std::int64_t hi,
                std::int64_t* first, std::int64_t* last);

// Columns and rows of the area every tap may address without a test: the
// views' windows must be whole bottom-up rows, as sub-views are. False when
// they are not (the tested walk is used then).
bool TapArea(const RotateLoopJob& job, std::int32_t colourSpan, std::int32_t* columns,
             std::int32_t* rows);

// Columns [left, right) by rows [top, bottom) of a mask.
struct OpaqueBox {
  std::int32_t left, top, right, bottom;
};

// Rectangles of 255 bytes a row may be stored through, among the first
// `columns` bytes of rows [0, rows) of a packed mask whose window `TapArea`
// accepted. The first is the run of 255 through the middle column of the
// middle row, grown a row at a time while its area grows; the others are
// the steps of a rounded shape around it: as the growth goes on (a row at
// a time, to the side with the wider run, until none is left), the
// tallest box of each width below three quarters of the last one kept.
// Empty when the middle byte is not 255.
inline constexpr std::int32_t kOpaqueBoxes = 4;
struct OpaqueBoxes {
  std::int32_t count = 0;
  OpaqueBox box[kOpaqueBoxes];
};
OpaqueBoxes OpaqueAreas(const ByteWindow& mask, std::int32_t columns, std::int32_t rows);

// A box as the 24.8 positions whose taps all fall in it.
struct TapBox {
  std::int64_t loX, hiX, loY, hiY;
};

// Narrows [*first, *last) of a row starting at (x, y) and stepping by
// (stepX, stepY) to one run of pixels each inside one of `boxes`: the
// longest run inside one box, joined by those of the other boxes it meets.
// Empty when the row misses them all.
void TapBoxesRun(const TapBox* boxes, std::int32_t count, std::int32_t x, std::int32_t y,
                 std::int32_t stepX, std::int32_t stepY, std::int64_t* first, std::int64_t* last);

// Destination columns walked together: a block's rows touch a narrow band
// of the turned source, which stays in cache from one row to the next.
// Sources of one or two bytes a pixel are not fetched ahead and their
// bands are small; there the cost of cutting each row into blocks
// outweighed what the narrower band saved.
template <class Source>
inline constexpr std::int32_t kColumnBlock = Source::kStep <= 2 ? 1024 : 128;
// Rows whose spans are worked out together, before their blocks are walked.
inline constexpr std::int32_t kRowChunk = 64;

// The sampled parts of a row blend into the destination, which they read;
// the same parts of the rows below lie at about the same columns, short
// runs no hardware prefetcher follows. The destination under them is asked
// for this many rows ahead.
inline constexpr std::int32_t kBlendRowsAhead = 6;

// Asks for the cache lines of columns [x0, x1) of row y of `d`, if it has
// that row.
inline void FetchRowAhead(const ViewWalk& d, std::int32_t y, std::int32_t x0, std::int32_t x1) {
  if (y >= d.height || x1 <= x0) return;
  const std::uint8_t* row = d.Row(y);
  const std::ptrdiff_t first = std::ptrdiff_t{x0} * d.step, last = std::ptrdiff_t{x1} * d.step - 1;
  for (std::ptrdiff_t b = first; b < last; b += 64) PrefetchAhead(row + b, 0);
  PrefetchAhead(row + last, 0);
}

// Pixels [x, end) of one row, every tap inside the views: sampled and put
// through the mask, or (kOpaque) known to sample an opaque mask and stored
// by colour alone.
// Sinks with span forms take the samples a batch at a time (an Inside
// sample's mask value is one of the mask's bytes or a weighed sum of four).

template <bool kOpaque, class S, class Sink>
VX_PIXEL_INLINE void WalkInside(const S& sample, Sink& sink, std::int32_t x, std::int32_t end,
                                std::uint32_t px, std::uint32_t py, std::uint32_t colX,
                                std::uint32_t colY) {
  using Colour = typename InsideColourOf<S, Sink>::Type;
  const auto take = [&](std::uint32_t sx, std::uint32_t sy) {
    if constexpr (kOpaque) {
      if constexpr (std::is_same_v<Colour, std::uint32_t>)
        return sample.InsideColour(static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sy));
      else
        return sample.template InsideColour<Colour>(static_cast<std::int32_t>(sx),
                                                    static_cast<std::int32_t>(sy));
    } else {
      if constexpr (std::is_same_v<Colour, std::uint32_t>)
        return sample.Inside(static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sy));
      else
        return sample.template Inside<Colour>(static_cast<std::int32_t>(sx),
                                              static_cast<std::int32_t>(sy));
    }
  };
  constexpr bool kSpans =
      kOpaque ? requires(const Colour* c) { sink.PutOpaqueSpan(x, c, x); }
              : requires(const Colour* c, const std::uint8_t* m) { sink.PutSpan(x, c, m, x); };
  // Opaque samples taken one at a time are stored as they come: held for
  // a span they ran slower in timing, though in fewer instructions.
  constexpr bool kStores = requires { requires Sink::kStoresOpaque; };
  constexpr bool kLines = requires(Colour* c, std::uint8_t* m) {
    sample.template InsideLine<kOpaque>(px, py, colX, colY, x, c, m);
  } && requires(const Colour* c, const std::uint8_t* m) { sink.PutSpan(x, c, m, x); };
  // Opaque samples stored one at a time go straight from a sampler that
  // hands a line's samples on as they come, without the batch.
  constexpr bool kLineStores = kOpaque && kStores && !kSpans && requires {
    sample.template ForLine<true, Colour>(px, py, colX, colY, x, [](std::int32_t, Colour) {});
  };
  if constexpr (kLineStores) {
    sample.template ForLine<true, Colour>(px, py, colX, colY, end - x,
                                          [&sink, x](std::int32_t i, Colour c) {
                                            sink.PutOpaque(x + i, c);
                                          });
  } else if constexpr (kLines) {
    // A sampler that takes a line at once fills the batch itself.
    Colour colours[composite_detail::kBatch];
    std::uint8_t masks[composite_detail::kBatch];
    while (x < end) {
      const std::int32_t n = end - x < composite_detail::kBatch ? end - x : composite_detail::kBatch;
      sample.template InsideLine<kOpaque>(px, py, colX, colY, n, colours, masks);
      if constexpr (!kOpaque)
        sink.PutSpan(x, colours, masks, n);
      else if constexpr (kSpans)
        sink.PutOpaqueSpan(x, colours, n);
      else
        for (std::int32_t i = 0; i < n; ++i) sink.PutOpaque(x + i, colours[i]);
      x += n;
      px += static_cast<std::uint32_t>(n) * colX;
      py += static_cast<std::uint32_t>(n) * colY;
    }
  } else if constexpr (kSpans && !(kOpaque && kStores)) {
    Colour colours[composite_detail::kBatch];
    std::uint8_t masks[composite_detail::kBatch];
    while (x < end) {
      const std::int32_t n = end - x < composite_detail::kBatch ? end - x : composite_detail::kBatch;
      for (std::int32_t i = 0; i < n; ++i, px += colX, py += colY) {
        if constexpr (kOpaque) {
          colours[i] = take(px, py);
        } else {
          const auto s = take(px, py);
          colours[i] = s.colour;
          masks[i] = static_cast<std::uint8_t>(s.mask);
        }
      }
      if constexpr (kOpaque)
        sink.PutOpaqueSpan(x, colours, n);
      else
        sink.PutSpan(x, colours, masks, n);
      x += n;
    }
  } else {
    for (; x < end; ++x, px += colX, py += colY) {
      if constexpr (kOpaque)
        sink.PutOpaque(x, take(px, py));
      else
        sink.Put(x, take(px, py));
    }
  }
}

// The walk with each row cut into transparent ends, a span whose taps all
// lie inside [0, columns) x [0, rows) of the views, and between them the
// sampler's ring (a fading edge) sampled with every tap tested; in blocks
// of columns.
// Where the mask has a rectangle of 255 and the sink knows what an opaque
// sample does, the part of the span whose taps all fall in it is written
// without reading the mask; the runs of 255 on either side of it are found
// by reading the mask alone, and so are the span's ends of mask 0 where
// the sink leaves transparent pixels as they are.
// A destination row has at most 2^20 pixels and a step at most 256, so a
// position that wrapped in 32 bits is outside exactly when its unwrapped
// value is, and the span is computed on the unwrapped values.
template <class Source, template <class, std::int32_t> class Sampler, std::int32_t kMaskStep,
          class Sink>
void RotateSpanLoop(const RotateLoopJob& job) {
  using S = Sampler<Source, kMaskStep>;
  std::int32_t columns = 0, rows = 0;
  if (!TapArea(job, Source::kSpan, &columns, &rows)) {
    RotateLoop<Source, Sampler, kMaskStep, Sink>(job);
    return;
  }
  const S sample(job, RowStepOf(job));
  Sink sink(job);
  const std::int64_t hiX = std::int64_t{256} * (columns - S::kColumnsLess);
  const std::int64_t hiY = std::int64_t{256} * (rows - S::kRowsLess);
  const std::int64_t ring = std::int64_t{256} * S::kRing;
  // Left/top taps inside a box less the columns and rows the other taps
  // need put every tap on a 255 byte.
  TapBox opaque[kOpaqueBoxes]{};
  std::int32_t opaqueBoxes = 0;
  if (kMaskStep == 1 && sink.TakesOpaque()) {
    const OpaqueBoxes found = OpaqueAreas(job.mask, columns, rows);
    for (std::int32_t i = 0; i < found.count; ++i) {
      const OpaqueBox& b = found.box[i];
      if (b.right - S::kColumnsLess > b.left && b.bottom - S::kRowsLess > b.top)
        opaque[opaqueBoxes++] = {std::int64_t{256} * b.left,
                                 std::int64_t{256} * (b.right - S::kColumnsLess),
                                 std::int64_t{256} * b.top,
                                 std::int64_t{256} * (b.bottom - S::kRowsLess)};
    }
  }
  const auto colX = static_cast<std::uint32_t>(job.steps.colStepX);
  const auto colY = static_cast<std::uint32_t>(job.steps.colStepY);
  const auto rowX = static_cast<std::uint32_t>(job.steps.rowStepX);
  const auto rowY = static_cast<std::uint32_t>(job.steps.rowStepY);
  const std::int32_t width = job.destination.width;
  const bool skipEnds = sink.SkipsTransparent();
  const bool growOpaque = sink.TakesOpaque();
  // What the transparent ends take where the sink does not leave them.
  const auto outside = sample.template Outside<typename InsideColourOf<S, Sink>::Type>();
  const std::int32_t height = job.destination.height;
  constexpr std::int32_t kBlock = kColumnBlock<Source>;
  // Each row's span and opaque part, over the whole row, for a chunk of
  // rows at a time; the column blocks then only cut them.
  std::int32_t ringFirst[kRowChunk], ringLast[kRowChunk], spanFirst[kRowChunk],
      spanLast[kRowChunk], opaqueFirst[kRowChunk], opaqueLast[kRowChunk];
  auto chunkX = static_cast<std::uint32_t>(job.start.x);
  auto chunkY = static_cast<std::uint32_t>(job.start.y);
  for (std::int32_t y0 = 0; y0 < height; y0 += kRowChunk) {
    const std::int32_t rowsHere = height - y0 < kRowChunk ? height - y0 : kRowChunk;
    std::uint32_t rx = chunkX, ry = chunkY;
    for (std::int32_t r = 0; r < rowsHere; ++r, rx += rowX, ry += rowY) {
      std::int64_t r0 = 0, r1 = width;
      ClipLinear(static_cast<std::int32_t>(rx), job.steps.colStepX, -ring, hiX + ring, &r0, &r1);
      ClipLinear(static_cast<std::int32_t>(ry), job.steps.colStepY, -ring, hiY + ring, &r0, &r1);
      // An empty span may have its ends anywhere; the whole row is then
      // transparent. The inner span lies within the ring's, both being
      // where a line crosses nested rectangles.
      if (r1 <= r0) r0 = r1 = 0;
      std::int64_t first = r0, last = r1;
      ClipLinear(static_cast<std::int32_t>(rx), job.steps.colStepX, 0, hiX, &first, &last);
      ClipLinear(static_cast<std::int32_t>(ry), job.steps.colStepY, 0, hiY, &first, &last);
      if (last <= first) first = last = r1;
      std::int64_t o0 = first, o1 = last;
      TapBoxesRun(opaque, opaqueBoxes, static_cast<std::int32_t>(rx),
                  static_cast<std::int32_t>(ry), job.steps.colStepX, job.steps.colStepY, &o0, &o1);
      if (o1 <= o0) o0 = o1 = first;
      ringFirst[r] = static_cast<std::int32_t>(r0);
      ringLast[r] = static_cast<std::int32_t>(r1);
      spanFirst[r] = static_cast<std::int32_t>(first);
      spanLast[r] = static_cast<std::int32_t>(last);
      opaqueFirst[r] = static_cast<std::int32_t>(o0);
      opaqueLast[r] = static_cast<std::int32_t>(o1);
    }
    const auto clamp = [](std::int32_t v, std::int32_t lo, std::int32_t hi) {
      return v < lo ? lo : v > hi ? hi : v;
    };
    for (std::int32_t bx = 0; bx < width; bx += kBlock) {
      const std::int32_t bEnd = width - bx < kBlock ? width : bx + kBlock;
      std::uint32_t startX = chunkX + static_cast<std::uint32_t>(bx) * colX;
      std::uint32_t startY = chunkY + static_cast<std::uint32_t>(bx) * colY;
      for (std::int32_t r = 0; r < rowsHere; ++r, startX += rowX, startY += rowY) {
        sink.BeginRow(y0 + r);
        const std::int32_t e0 = clamp(ringFirst[r], bx, bEnd), e1 = clamp(ringLast[r], e0, bEnd);
        const std::int32_t x0 = clamp(spanFirst[r], e0, e1), x1 = clamp(spanLast[r], x0, e1);
        std::int32_t o0 = clamp(opaqueFirst[r], x0, x1), o1 = clamp(opaqueLast[r], o0, x1);
        if (!skipEnds)
          for (std::int32_t x = bx; x < e0; ++x) sink.Put(x, outside);
        // Positions of column x of this block's row.
        const auto atX = [&](std::int32_t x) {
          return startX + static_cast<std::uint32_t>(x - bx) * colX;
        };
        const auto atY = [&](std::int32_t x) {
          return startY + static_cast<std::uint32_t>(x - bx) * colY;
        };
        const auto edge = [&](std::int32_t from, std::int32_t to) {
          for (std::int32_t x = from; x < to; ++x)
            sink.Put(x, TestedSample<typename InsideColourOf<S, Sink>::Type>(
                            sample, static_cast<std::int32_t>(atX(x)),
                            static_cast<std::int32_t>(atY(x))));
        };
        edge(e0, x0);
        // Runs of one mask value found by the mask alone: from column
        // `from` toward `to` (either side).
        const auto run = [&]<std::uint8_t kValue>(std::int32_t from, std::int32_t to) {
          if (to == from) return 0;
          return to > from ? sample.template MaskRun<kValue>(atX(from), atY(from), colX, colY,
                                                              to - from)
                            : sample.template MaskRun<kValue>(atX(from - 1), atY(from - 1),
                                                              0u - colX, 0u - colY, from - to);
        };
        // The opaque part takes in the 255 bytes next to it that its boxes
        // missed.
        if (growOpaque) {
          o0 -= run.template operator()<255>(o0, x0);
          o1 += run.template operator()<255>(o1, x1);
        }
        // The sampled parts, [l0, l1) before the opaque part and [r0, r1)
        // after it, or one run without it. A sink that leaves transparent
        // pixels alone has nothing to do for their outer pixels of mask 0
        // (the corners around a rounded sprite).
        std::int32_t l0 = x0, l1 = o0, r0 = o1, r1 = x1;
        if (o0 == o1) l1 = r0 = x1;
        if (skipEnds) {
          l0 += run.template operator()<0>(l0, l1);
          if (r1 > r0)
            r1 -= run.template operator()<0>(r1, r0);
          else
            l1 -= run.template operator()<0>(l1, l0);
        }
        FetchRowAhead(job.destination, y0 + r + kBlendRowsAhead, l0, l1);
        FetchRowAhead(job.destination, y0 + r + kBlendRowsAhead, r0, r1);
        WalkInside<false>(sample, sink, l0, l1, atX(l0), atY(l0), colX, colY);
        WalkInside<true>(sample, sink, o0, o1, atX(o0), atY(o0), colX, colY);
        WalkInside<false>(sample, sink, r0, r1, atX(r0), atY(r0), colX, colY);
        edge(x1, e1);
        if (!skipEnds)
          for (std::int32_t x = e1; x < bEnd; ++x) sink.Put(x, outside);
        EndSinkRow(sink);
      }
    }
    chunkX += static_cast<std::uint32_t>(rowsHere) * rowX;
    chunkY += static_cast<std::uint32_t>(rowsHere) * rowY;
  }
}

}  // namespace rotate_detail
}  // namespace vx
