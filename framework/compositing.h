// Compositing an effect's colours into the destination through the sprite's
// mask, written once for every destination format and path.
//
// Three pieces meet here:
//  - a destination format (Indexed8, Rgb555, Bgr<n>) knows how to store a
//    colour given in its own units and how to blend one in;
//  - a path (threshold, run, hard-mask) decides per pixel whether the
//    pixel is left, written outright or blended, and with what weight;
//  - a colour source, supplied by the effect, computes the colour of pixel x
//    of row y in the destination format's units.
// Composite<Format>(job, source) picks one fully specialised loop from a
// table (path x full blend x packed mask) once per render; the loops hold no
// test of format or path.
//
// The colour pass. A colour source is any type with
//   void BeginRow(std::int32_t y);              // rows of the update, top first
//   Format::Colour At(std::int32_t x);          // x from the update's left
// and, optionally,
//   std::int32_t SameColourFrom(std::int32_t x);  // pixels from x sharing At(x)
//   void Skip(std::int32_t x, std::int32_t n);    // pixels [x, x + n) not drawn
//   void EndRow(std::int32_t y);                  // after the row's last pixel
// and
//   void StoreRun(std::uint8_t* d, std::int32_t x, std::int32_t n);
// for a source that writes the pixels [x, x + n) outright itself, faster
// than one At each (a straight copy); d is pixel x of the row, and
//   void Entries(std::int32_t x, std::int32_t n, std::uint32_t* out);
// for a source that gives the colours of [x, x + n) at once (n at most
// kBatch), each as the row kernels take it (EntryOf with weight 0); blends
// then ask it instead of At; and
//   const std::uint8_t* Pixels(std::int32_t x);
// for a source into four-byte or 5-5-5 destinations whose colours are its
// own pixels of that size, as they are: pixel x of the row and those after
// it, which blends then read in place.
// Within a row every pixel is met once, in increasing x: a drawn pixel asks
// At once (or, for a source with SameColourFrom, one At answers the whole
// span of pixels it names), a pixel the mask leaves alone is part of one
// Skip run. So a source can carry per-pixel state along the row (a noise
// walk, a running position) by its own x. Hooks a source does not have
// cost nothing: the loops are built without them.
#pragma once

#include <algorithm>
#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "framework/pixel_formats.h"
#include "framework/pixel_view.h"
#include "framework/row_kernels.h"
#include "framework/sprite_records.h"

namespace vx {

// ---------------------------------------------------------------------------
// Paths.

enum class CompositePath { kThreshold, kRun, kHardMask };

// Hard-mask flag set: hard-mask; runs given and the update covering the
// whole mask rectangle (ClipToSprite result 1): run; else threshold.
inline CompositePath ChoosePath(std::int32_t clipResult, const std::uint16_t* runs,
                                std::int32_t hardMask) {
  if (hardMask) return CompositePath::kHardMask;
  return (clipResult == 1 && runs) ? CompositePath::kRun : CompositePath::kThreshold;
}

struct CompositeJob {
  ViewWalk destination;  // over the update rectangle
  ViewWalk mask;         // over the same rectangle of the mask
  CompositePath path = CompositePath::kThreshold;
  std::int32_t blend = 255;  // 0-255
  MaskThresholds thresholds;
  const std::uint16_t* runs = nullptr;  // the whole mask's runs (run path)
  Palette palette;                      // 8-bit destinations
};

namespace composite_detail {

template <class Source>
concept HasColourRuns = requires(Source& s, std::int32_t x) {
  { s.SameColourFrom(x) } -> std::convertible_to<std::int32_t>;
};
template <class Source>
concept HasSkip = requires(Source& s, std::int32_t x) { s.Skip(x, x); };
template <class Source>
concept HasEndRow = requires(Source& s, std::int32_t y) { s.EndRow(y); };

// Tells the source that [x, end) is not drawn, where it listens.
template <class Source>
inline void SkipRun(Source& src, std::int32_t x, std::int32_t end) {
  if constexpr (HasSkip<Source>) {
    if (end > x) src.Skip(x, end - x);
  }
}
template <class Source>
inline void EndRow(Source& src, std::int32_t y) {
  if constexpr (HasEndRow<Source>) src.EndRow(y);
}

template <class Fmt>
inline std::int32_t Step(const CompositeJob& job) {
  if constexpr (Fmt::kStep != 0)
    return Fmt::kStep;
  else
    return job.destination.step;
}

template <bool kPacked>
inline std::int32_t MaskAt(const std::uint8_t* m, std::int32_t x, std::int32_t step) {
  if constexpr (kPacked)
    return m[x];
  else
    return m[static_cast<std::ptrdiff_t>(x) * step];
}

// End of the span from x whose mask bytes are all above `floor`; packed
// masks are scanned eight 255 bytes at a time first (255 is above every
// floor that lets a pixel through at all).
template <bool kPacked>
inline std::int32_t SpanAbove(const std::uint8_t* m, std::int32_t x, std::int32_t end,
                              std::int32_t step, std::int32_t floor) {
  if constexpr (kPacked) {
#if defined(__SSE2__)
    const __m128i full = _mm_set1_epi8(-1);
    while (x + 16 <= end) {
      const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + x));
      if (_mm_movemask_epi8(_mm_cmpeq_epi8(sixteen, full)) != 0xFFFF) break;
      x += 16;
    }
#endif
    while (x + 8 <= end) {
      std::uint64_t eight;
      std::memcpy(&eight, m + x, 8);
      if (eight != ~std::uint64_t{0}) break;
      x += 8;
    }
  }
  while (x < end && MaskAt<kPacked>(m, x, step) > floor) ++x;
  return x;
}

// End of the run from x whose mask bytes are at or below `lower`; packed
// masks are scanned sixteen bytes at a time first.
template <bool kPacked>
inline std::int32_t SpanAtOrBelow(const std::uint8_t* m, std::int32_t x, std::int32_t end,
                                  std::int32_t step, std::int32_t lower) {
#if defined(__SSE2__)
  if constexpr (kPacked) {
    // A byte is at or below `lower` when subtracting it saturates to 0.
    const __m128i floor = _mm_set1_epi8(static_cast<char>(lower));
    const __m128i zero = _mm_setzero_si128();
    while (lower >= 0 && x + 16 <= end) {
      const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + x));
      if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(sixteen, floor), zero)) != 0xFFFF) break;
      x += 16;
    }
  }
#endif
  while (x < end && MaskAt<kPacked>(m, x, step) <= lower) ++x;
  return x;
}

// Past pixel x, whose mask byte is at or below `lower`: the whole run of
// such pixels, told to a source that listens for skipped runs.
template <bool kPacked, class Source>
inline std::int32_t PassUndrawn(Source& src, const std::uint8_t* m, std::int32_t x,
                                std::int32_t end, std::int32_t step, std::int32_t lower) {
  const std::int32_t runEnd = SpanAtOrBelow<kPacked>(m, x + 1, end, step, lower);
  SkipRun(src, x, runEnd);
  return runEnd;
}

// Writes the source's colours outright over [x, end) of one row.
template <class Fmt, class Source>
inline void StoreSpan(const Palette& p, std::uint8_t* row, std::int32_t step, std::int32_t x,
                      std::int32_t end, Source& src) {
  if constexpr (requires(std::uint8_t* d) { src.StoreRun(d, x, end); }) {
    src.StoreRun(row + static_cast<std::ptrdiff_t>(x) * step, x, end - x);
  } else if constexpr (HasColourRuns<Source>) {
    while (x < end) {
      const typename Fmt::Colour c = src.At(x);
      const std::int32_t n = std::max<std::int32_t>(1, src.SameColourFrom(x));
      const std::int32_t stop = n < end - x ? x + n : end;
      std::uint8_t* d = row + static_cast<std::ptrdiff_t>(x) * step;
      if constexpr (requires { Fmt::Fill(p, d, stop - x, step, c); }) {
        Fmt::Fill(p, d, stop - x, step, c);
        x = stop;
      } else {
        for (; x < stop; ++x, d += step) Fmt::Store(p, d, c);
      }
    }
  } else {
    std::uint8_t* d = row + static_cast<std::ptrdiff_t>(x) * step;
    for (; x < end; ++x, d += step) Fmt::Store(p, d, src.At(x));
  }
}

template <bool kFull>
inline std::int32_t Weight(std::int32_t m, std::int32_t blend) {
  if constexpr (kFull)
    return m;
  else
    return (m * blend) >> 8;
}

// Blends go through the row kernels (framework/row_kernels.h) in batches:
// colours and weights are gathered first, then blended together.
inline constexpr std::int32_t kBatch = 64;

// What blends into `Fmt` need of the colour table: for 8-bit destinations
// its colours as four-byte pixels (blue, green, red, 0), gathered once per
// render instead of three strided reads per blended pixel.
template <class Fmt>
struct BlendPalette {
  static constexpr bool kIndexed = std::is_base_of_v<Indexed8, Fmt>;
  explicit BlendPalette(const Palette& p) : palette(p) {
    if constexpr (kIndexed) {
      gathered = p.red && p.green && p.blue;
      for (std::uint32_t i = 0; gathered && i < 256; ++i) {
        const Rgb o = PaletteLookup(p, i);
        const std::uint8_t bgrx[4] = {o.b, o.g, o.r, 0};
        std::memcpy(&colours[i], bgrx, 4);
      }
    }
  }
  Palette palette;
  struct None {};
  [[no_unique_address]] std::conditional_t<kIndexed, std::uint32_t[256], None> colours;
  bool gathered = false;
};

// A colour and its weight in one word for the row kernels (BlendWord,
// BlendWord555): `c` in the format's own colour or as packed bytes.
template <class Fmt, class C>
VX_PIXEL_INLINE std::uint32_t EntryOf(C c, std::int32_t weight) {
  const auto k = static_cast<std::uint32_t>(weight);
  if constexpr (std::is_same_v<Fmt, Rgb555>) {
    if constexpr (std::is_same_v<C, std::uint32_t>)
      return BlendWord555(ToColour<Rgb555>(c), k);
    else
      return BlendWord555(c, k);
  } else if constexpr (std::is_same_v<C, std::uint32_t>) {
    return BlendWord(c, k);
  } else if constexpr (std::endian::native == std::endian::little) {
    // Bgrx in memory is the packed word with x on top, which BlendWord drops.
    std::uint32_t packed;
    std::memcpy(&packed, &c, 4);
    return BlendWord(packed, k);
  } else {
    return BlendWord(PackBgr(c.b, c.g, c.r), k);
  }
}
// Where the weight sits in an entry.
template <class Fmt>
inline constexpr int kWeightShift = std::is_same_v<Fmt, Rgb555> ? 16 : 24;

// The colour table's nearest index (InverseLookup) of each of n four-byte
// pixels (blue, green, red, any), handed on as put(i, index).
template <class Put>
VX_PIXEL_INLINE void NearestIndices(const Palette& p, const std::uint8_t* pixels, std::int32_t n,
                                    Put&& put) {
  std::int32_t i = 0;
#if defined(__SSE2__)
  // The inverse table's keys (InverseKey) four pixels at a time; the table
  // held here, as the caller's byte stores could alias `p`.
  const std::uint8_t* const inverse = p.inverse;
  const __m128i five = _mm_set1_epi32(0x1F);
  for (; i + 4 <= n; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 4 * i));
    const __m128i key = _mm_or_si128(
        _mm_and_si128(_mm_srli_epi32(v, 3), five),
        _mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 6), _mm_slli_epi32(five, 5)),
                     _mm_and_si128(_mm_srli_epi32(v, 9), _mm_slli_epi32(five, 10))));
    alignas(16) std::uint32_t keys[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(keys), key);
    for (std::int32_t k = 0; k < 4; ++k) put(i + k, inverse[keys[k]]);
  }
#endif
  for (; i < n; ++i) {
    const std::uint8_t* q = pixels + 4 * i;
    put(i, InverseLookup(p, q[2], q[1], q[0]));
  }
}

// Blends the entries cw[0, n) (EntryOf) into the pixels at(0) ...
// at(n - 1), n at most kBatch; kInPlace: the pixels lie side by side from
// at(0), so four-byte and 5-5-5 pixels are blended where they are. Others
// are gathered as four-byte pixels (8-bit ones as their palette colours),
// blended and put back.
template <class Fmt, bool kInPlace, class At>
VX_PIXEL_INLINE void BlendBatch(const BlendPalette<Fmt>& bp, At at, const std::uint32_t* cw,
                                std::int32_t n) {
  const Palette& p = bp.palette;
  const RowKernels& rows = Rows();
  std::uint8_t pixels[kBatch * 4];
  if constexpr (std::is_same_v<Fmt, Rgb555>) {
    if constexpr (kInPlace) {
      rows.blend555(at(0), cw, n);
    } else {
      for (std::int32_t i = 0; i < n; ++i) std::memcpy(pixels + 2 * i, at(i), 2);
      rows.blend555(pixels, cw, n);
      for (std::int32_t i = 0; i < n; ++i) std::memcpy(at(i), pixels + 2 * i, 2);
    }
  } else if constexpr (std::is_base_of_v<Indexed8, Fmt>) {
    if (bp.gathered) {
      for (std::int32_t i = 0; i < n; ++i) std::memcpy(pixels + 4 * i, &bp.colours[*at(i)], 4);
    } else {
      for (std::int32_t i = 0; i < n; ++i) {
        const Rgb o = PaletteLookup(p, *at(i));
        const std::uint8_t bgrx[4] = {o.b, o.g, o.r, 0};
        std::memcpy(pixels + 4 * i, bgrx, 4);
      }
    }
    rows.blendBgrx(pixels, cw, n);
    NearestIndices(p, pixels, n, [&at](std::int32_t i, std::uint8_t index) { *at(i) = index; });
  } else if constexpr (kInPlace && Fmt::kStep == 4) {
    rows.blendBgrx(at(0), cw, n);
  } else {
    const std::int32_t bytes = Fmt::kStep == 4 ? 4 : 3;
    for (std::int32_t i = 0; i < n; ++i) {
      pixels[4 * i + 3] = 0;
      std::memcpy(pixels + 4 * i, at(i), bytes);
    }
    rows.blendBgrx(pixels, cw, n);
    for (std::int32_t i = 0; i < n; ++i) std::memcpy(at(i), pixels + 4 * i, bytes);
  }
}

// Spans shorter than this are blended pixel by pixel: a batch would cost
// more than it saves.
inline constexpr std::int32_t kShortestBatch = 4;

// The colours of [x, x + n) of one row as the row kernels take them
// (EntryOf with weight 0), n at most kBatch; runs of one colour are
// written four entries at a time, up to three past their end (the next run
// or nothing reads them), so `cw` holds kBatch + 3.
template <class Fmt, class Source>
VX_PIXEL_INLINE void GatherEntries(Source& src, std::int32_t x, std::int32_t n, std::uint32_t* cw) {
  if constexpr (requires { src.Entries(x, n, cw); }) {
    src.Entries(x, n, cw);
  } else if constexpr (HasColourRuns<Source>) {
    for (std::int32_t i = 0; i < n;) {
      const std::uint32_t colour = EntryOf<Fmt>(src.At(x + i), 0);
      const std::int32_t same = std::max<std::int32_t>(1, src.SameColourFrom(x + i));
      // A run can reach far past the batch (a tile of 2^31 - 1 pixels).
      const std::int32_t stop = same < n - i ? i + same : n;
      for (; i < stop; i += 4) cw[i] = cw[i + 1] = cw[i + 2] = cw[i + 3] = colour;
      i = stop;
    }
  } else {
    for (std::int32_t i = 0; i < n; ++i) cw[i] = EntryOf<Fmt>(src.At(x + i), 0);
  }
}

// Four-byte and 5-5-5 destinations with packed masks blend straight from
// the mask bytes (RowKernels::blendBgrxMasked, blend555Masked), the
// weights worked out in the kernel: four-byte ones always, 5-5-5 ones from
// a source's own pixels.
template <class Fmt, bool kPacked>
inline constexpr bool kWeighsInKernel =
    kPacked && !std::is_base_of_v<Indexed8, Fmt> &&
    (Fmt::kStep == 4 || std::is_same_v<Fmt, Rgb555>);

// Blends the source's colours into [x, end) of one row, each by its mask
// value's weight.
template <class Fmt, bool kFull, bool kPacked, class Source>
inline void BlendSpan(const BlendPalette<Fmt>& bp, std::uint8_t* row, std::int32_t step,
                      const std::uint8_t* m, std::int32_t mstep, std::int32_t x,
                      std::int32_t end, std::int32_t blend, Source& src) {
  if (end - x < kShortestBatch) {
    for (; x < end; ++x)
      Fmt::Blend(bp.palette, row + static_cast<std::ptrdiff_t>(x) * step, src.At(x),
                 Weight<kFull>(MaskAt<kPacked>(m, x, mstep), blend));
    return;
  }
  std::uint32_t cw[kBatch + 3];
  constexpr bool kOwnPixels = requires { src.Pixels(x); };
  if constexpr (kWeighsInKernel<Fmt, kPacked> && (Fmt::kStep == 4 || kOwnPixels)) {
    const RowKernels& rows = Rows();
    constexpr bool kWords = std::is_same_v<Fmt, Rgb555>;
    const auto masked = kWords ? rows.blend555Masked : rows.blendBgrxMasked;
    const auto uniform = kWords ? rows.blend555Uniform : rows.blendBgrxUniform;
    constexpr std::ptrdiff_t kBytes = Fmt::kStep;
    // [at, at + n) from the colours c, pixels of the destination's size:
    // below blend level 255, runs of mask 255 (a faded sprite's inside) by
    // their one weight.
    const auto weigh = [&](std::int32_t at, std::int32_t n, const std::uint8_t* c) {
      std::uint8_t* d = row + at * kBytes;
      const std::uint8_t* mr = m + at;
      if constexpr (kFull) {
        masked(d, c, mr, 256, 256, n);
      } else {
        const std::int32_t k = Weight<false>(255, blend);
        for (std::int32_t i = 0; i < n;) {
          const std::int32_t full = SpanAbove<true>(mr, i, n, 1, 254);
          if (full > i) uniform(d + i * kBytes, c + i * kBytes, k, full - i);
          const std::int32_t part = SpanAtOrBelow<true>(mr, full, n, 1, 254);
          if (part > full)
            masked(d + full * kBytes, c + full * kBytes, mr + full, blend, 256, part - full);
          i = part;
        }
      }
    };
    // A source whose colours are its own pixels hands them over in place,
    // the whole span at once.
    if constexpr (kOwnPixels) {
      weigh(x, end - x, src.Pixels(x));
    } else {
      for (std::int32_t n; x < end; x += n) {
        n = std::min(kBatch, end - x);
        GatherEntries<Fmt>(src, x, n, cw);
        weigh(x, n, reinterpret_cast<const std::uint8_t*>(cw));
      }
    }
  } else {
    for (std::int32_t n; x < end; x += n) {
      n = std::min(kBatch, end - x);
      GatherEntries<Fmt>(src, x, n, cw);
      // Apart from the colours, so that the weights go several at a time.
      for (std::int32_t i = 0; i < n; ++i)
        cw[i] |= static_cast<std::uint32_t>(Weight<kFull>(MaskAt<kPacked>(m, x + i, mstep), blend))
                 << kWeightShift<Fmt>;
      std::uint8_t* d = row + static_cast<std::ptrdiff_t>(x) * step;
      BlendBatch<Fmt, true>(
          bp, [d, step](std::int32_t i) { return d + static_cast<std::ptrdiff_t>(i) * step; }, cw,
          n);
    }
  }
}

// End of the span from x whose mask bytes lie in (lower, upper].
template <bool kPacked>
inline std::int32_t SpanBetween(const std::uint8_t* m, std::int32_t x, std::int32_t end,
                                std::int32_t step, std::int32_t lower, std::int32_t upper) {
#if defined(__SSE2__)
  if constexpr (kPacked) {
    // Sixteen bytes at a time first: a byte is at or below a bound when
    // subtracting the bound saturates to 0.
    const __m128i low = _mm_set1_epi8(static_cast<char>(lower));
    const __m128i high = _mm_set1_epi8(static_cast<char>(upper));
    const __m128i zero = _mm_setzero_si128();
    while (lower >= 0 && upper >= 0 && x + 16 <= end) {
      const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + x));
      const __m128i inside = _mm_andnot_si128(_mm_cmpeq_epi8(_mm_subs_epu8(sixteen, low), zero),
                                              _mm_cmpeq_epi8(_mm_subs_epu8(sixteen, high), zero));
      if (_mm_movemask_epi8(inside) != 0xFFFF) break;
      x += 16;
    }
  }
#endif
  while (x < end) {
    const std::int32_t v = MaskAt<kPacked>(m, x, step);
    if (v <= lower || v > upper) break;
    ++x;
  }
  return x;
}

template <class Fmt, bool kFull, bool kPacked, class Source>
void ThresholdArea(const CompositeJob& job, Source& src) {
  const Palette& p = job.palette;
  const BlendPalette<Fmt> bp(p);
  const std::int32_t step = Step<Fmt>(job);
  const std::int32_t mstep = job.mask.step;
  const std::int32_t w = job.destination.width;
  const std::int32_t lower = job.thresholds.lower;
  // Outright writes need the upper threshold; minus one turns "at or above"
  // into "above" for the span scan.
  const std::int32_t upperFloor = job.thresholds.upper - 1;
  const std::int32_t blend = job.blend;
  for (std::int32_t y = 0; y < job.destination.height; ++y) {
    src.BeginRow(y);
    std::uint8_t* row = job.destination.Row(y);
    const std::uint8_t* m = job.mask.Row(y);
    std::int32_t x = 0;
    while (x < w) {
      const std::int32_t mv = MaskAt<kPacked>(m, x, mstep);
      if (mv <= lower) {
        x = PassUndrawn<kPacked>(src, m, x, w, mstep, lower);
        continue;
      }
      if constexpr (kFull) {
        if (mv > upperFloor) {
          const std::int32_t end = SpanAbove<kPacked>(m, x + 1, w, mstep, std::max(upperFloor, lower));
          StoreSpan<Fmt>(p, row, step, x, end, src);
          x = end;
          continue;
        }
      }
      // Below blend level 255 every drawn pixel blends.
      const std::int32_t end = kFull ? SpanBetween<kPacked>(m, x + 1, w, mstep, lower, upperFloor)
                                     : SpanAbove<kPacked>(m, x + 1, w, mstep, lower);
      BlendSpan<Fmt, kFull, kPacked>(bp, row, step, m, mstep, x, end, blend, src);
      x = end;
    }
    EndRow(src, y);
  }
}

template <class Fmt, bool kFull, bool kPacked, class Source>
void RunArea(const CompositeJob& job, Source& src) {
  const Palette& p = job.palette;
  const BlendPalette<Fmt> bp(p);
  const std::int32_t step = Step<Fmt>(job);
  const std::int32_t mstep = job.mask.step;
  const std::int64_t w = job.destination.width;
  const std::int32_t blend = job.blend;
  const std::uint16_t* runs = job.runs;
  for (std::int32_t y = 0; y < job.destination.height; ++y) {
    src.BeginRow(y);
    std::uint8_t* row = job.destination.Row(y);
    const std::uint8_t* m = job.mask.Row(y);
    std::int32_t x = 0;
    RunTriple t;
    // Counts beyond the row's width are cut at its end.
    for (runs = ReadRunTriple(runs, &t); !t.EndsRow(); runs = ReadRunTriple(runs, &t)) {
      const auto transparentEnd =
          static_cast<std::int32_t>(std::min<std::int64_t>(w, std::int64_t{x} + t.transparent));
      SkipRun(src, x, transparentEnd);
      x = transparentEnd;
      const auto partialEnd =
          static_cast<std::int32_t>(std::min<std::int64_t>(w, std::int64_t{x} + t.partial));
      BlendSpan<Fmt, kFull, kPacked>(bp, row, step, m, mstep, x, partialEnd, blend, src);
      x = partialEnd;
      const auto opaqueEnd =
          static_cast<std::int32_t>(std::min<std::int64_t>(w, std::int64_t{x} + t.opaque));
      if constexpr (kFull)
        StoreSpan<Fmt>(p, row, step, x, opaqueEnd, src);
      else
        BlendSpan<Fmt, false, kPacked>(bp, row, step, m, mstep, x, opaqueEnd, blend, src);
      x = opaqueEnd;
    }
    SkipRun(src, x, static_cast<std::int32_t>(w));
    EndRow(src, y);
  }
}

template <class Fmt, bool kPacked, class Source>
void HardMaskArea(const CompositeJob& job, Source& src) {
  const Palette& p = job.palette;
  const std::int32_t step = Step<Fmt>(job);
  const std::int32_t mstep = job.mask.step;
  const std::int32_t w = job.destination.width;
  const std::int32_t lower = job.thresholds.lower;
  for (std::int32_t y = 0; y < job.destination.height; ++y) {
    src.BeginRow(y);
    std::uint8_t* row = job.destination.Row(y);
    const std::uint8_t* m = job.mask.Row(y);
    std::int32_t x = 0;
    while (x < w) {
      if (MaskAt<kPacked>(m, x, mstep) <= lower) {
        x = PassUndrawn<kPacked>(src, m, x, w, mstep, lower);
        continue;
      }
      const std::int32_t end = SpanAbove<kPacked>(m, x + 1, w, mstep, lower);
      StoreSpan<Fmt>(p, row, step, x, end, src);
      x = end;
    }
    EndRow(src, y);
  }
}

template <class Fmt, class Source>
using AreaFn = void (*)(const CompositeJob&, Source&);

}  // namespace composite_detail

// False when the destination walk cannot take `Fmt`'s pixels: a step that
// does not fit the format, or a missing 8-bit colour table.
template <class Fmt>
bool DestinationFits(const CompositeJob& job) {
  if (job.destination.width <= 0 || job.destination.height <= 0) return true;
  if (!job.destination.top) return false;
  if (Fmt::kStep != 0 ? job.destination.step != Fmt::kStep : job.destination.step < 3)
    return false;
  if (std::is_base_of_v<Indexed8, Fmt> && !job.palette.inverse) return false;
  return true;
}

// False (nothing drawn) when the job cannot be run safely: views of
// different shapes, a destination that does not fit the format, a run path
// without runs, a hard-mask path into an unexpanded destination.
template <class Fmt>
bool CompositeJobFits(const CompositeJob& job) {
  if (!SameShape(job.destination, job.mask)) return false;
  if (!DestinationFits<Fmt>(job)) return false;
  if (job.destination.width <= 0 || job.destination.height <= 0) return true;
  if (!job.mask.top) return false;
  if (job.path == CompositePath::kRun && !job.runs) return false;
  if (job.path == CompositePath::kHardMask && !kIsExpandedFormat<Fmt>) return false;
  return true;
}

// Runs the loop for `job` with colours from `src`. Returns false (nothing
// drawn) when the job does not fit the format.
template <class Fmt, class Source>
bool Composite(const CompositeJob& job, Source& src) {
  using namespace composite_detail;
  if (!CompositeJobFits<Fmt>(job)) return false;
  if (job.destination.width <= 0 || job.destination.height <= 0) return true;
  // [path][full blend][packed mask]
  static constexpr AreaFn<Fmt, Source> kLoops[3][2][2] = {
      {{&ThresholdArea<Fmt, false, false, Source>, &ThresholdArea<Fmt, false, true, Source>},
       {&ThresholdArea<Fmt, true, false, Source>, &ThresholdArea<Fmt, true, true, Source>}},
      {{&RunArea<Fmt, false, false, Source>, &RunArea<Fmt, false, true, Source>},
       {&RunArea<Fmt, true, false, Source>, &RunArea<Fmt, true, true, Source>}},
      {{&HardMaskArea<Fmt, false, Source>, &HardMaskArea<Fmt, true, Source>},
       {&HardMaskArea<Fmt, false, Source>, &HardMaskArea<Fmt, true, Source>}},
  };
  // Blend levels outside 0-255 would carry components out of range;
  // thresholds beyond the mask's range mean the same as its ends, and
  // clamped they leave room for the loops' "minus one" without overflow.
  CompositeJob fitted = job;
  fitted.blend = std::clamp(job.blend, 0, 255);
  fitted.thresholds.lower = std::clamp(job.thresholds.lower, -1, 255);
  fitted.thresholds.upper = std::clamp(job.thresholds.upper, 0, 256);
  const int path = static_cast<int>(job.path);
  const int full = fitted.blend == 255 ? 1 : 0;
  const int packed = job.mask.step == 1 ? 1 : 0;
  kLoops[path][full][packed](fitted, src);
  return true;
}

// ---------------------------------------------------------------------------
// Sampled pixels: the geometric effects map every destination pixel back
// into the source and its mask, so each pixel arrives with its own mask
// value. A sink takes such samples for one row at a time:
//   void BeginRow(std::int32_t y);
//   void Put(std::int32_t x, const Sample<C>& s);  // x = 0, 1, ... in order
// where the colour C is the destination format's own colour or packed
// blue, green, red bytes (PackBgr) in the destination's units. A sink may
// also take a span of neighbours at once (CompositeSink::PutSpan).

// The end of a row for sinks that wait for it.
template <class Sink>
VX_PIXEL_INLINE void EndSinkRow(Sink& sink) {
  if constexpr (requires { sink.EndRow(); }) sink.EndRow();
}

template <class Colour>
struct Sample {
  std::int32_t mask;
  Colour colour;
};
using PackedSample = Sample<std::uint32_t>;

// Where sampled pixels go: the destination (colour) walk over the update,
// the alpha walk for colour plus alpha, and the values of the threshold rule.
struct SampledTarget {
  ViewWalk destination;
  ViewWalk alpha;
  MaskThresholds thresholds;
  std::int32_t blend = 255;
  Palette palette;
};

namespace composite_detail {

template <class Fmt, class C>
VX_PIXEL_INLINE void StoreSampled(const Palette& p, std::uint8_t* d, C c) {
  if constexpr (std::is_same_v<C, std::uint32_t>)
    StoreColour<Fmt>(p, d, c);
  else
    Fmt::Store(p, d, c);
}
template <class Fmt, class C>
VX_PIXEL_INLINE void BlendSampled(const Palette& p, std::uint8_t* d, C c, std::int32_t a) {
  if constexpr (std::is_same_v<C, std::uint32_t>)
    Fmt::Blend(p, d, ToColour<Fmt>(c), a);
  else
    Fmt::Blend(p, d, c, a);
}
template <class C>
VX_PIXEL_INLINE void WriteBgr(std::uint8_t* d, C c) {
  if constexpr (std::is_same_v<C, std::uint32_t>) {
    d[0] = static_cast<std::uint8_t>(c);
    d[1] = static_cast<std::uint8_t>(c >> 8);
    d[2] = static_cast<std::uint8_t>(c >> 16);
  } else {
    d[0] = c.b;
    d[1] = c.g;
    d[2] = c.r;
  }
}

}  // namespace composite_detail

// The threshold rule through each sample's own mask value: at or below the
// lower threshold the pixel stays; at or above the upper one, at blend
// level 255, the colour is stored; otherwise blended with weight m (blend
// level 255) or (m x blend) >> 8. Blends wait in a batch for the row
// kernels, written when it fills and at EndRow (the walks end every row
// with it; the next row and the sink's end write what is left).
template <class Fmt, bool kFull>
class CompositeSink {
 public:
  explicit CompositeSink(const SampledTarget& t)
      : dest_(t.destination),
        palette_(t.palette),
        step_(Fmt::kStep != 0 ? Fmt::kStep : t.destination.step),
        lower_(t.thresholds.lower),
        upper_(t.thresholds.upper),
        blend_(t.blend),
        opaqueWeight_((255 * t.blend) >> 8),
        blendPalette_(t.palette) {}
  CompositeSink(const CompositeSink&) = delete;
  CompositeSink& operator=(const CompositeSink&) = delete;
  ~CompositeSink() { Flush(); }

  void BeginRow(std::int32_t y) {
    Flush();
    row_ = dest_.Row(y);
  }
  void EndRow() { Flush(); }

  // Transparent samples leave the pixel alone unless the lower threshold
  // lets a zero mask through (it then blends with weight 0).
  bool SkipsTransparent() const { return lower_ >= 0; }

  // Whether PutOpaque may stand for Put of a sample whose mask is 255.
  bool TakesOpaque() const { return lower_ < 255 && (!kFull || upper_ <= 255); }

  template <class C = std::uint32_t>
  VX_PIXEL_INLINE void PutOpaque(std::int32_t x, C c) {
    std::uint8_t* d = At(x);
    if constexpr (kFull)
      composite_detail::StoreSampled<Fmt>(palette_, d, c);
    else
      Pend(d, c, opaqueWeight_);
  }

  template <class C>
  VX_PIXEL_INLINE void Put(std::int32_t x, const Sample<C>& s) {
    using namespace composite_detail;
    if (s.mask <= lower_) return;
    std::uint8_t* d = At(x);
    if constexpr (kFull) {
      if (s.mask >= upper_)
        StoreSampled<Fmt>(palette_, d, s.colour);
      else
        Pend(d, s.colour, s.mask);
    } else {
      Pend(d, s.colour, (s.mask * blend_) >> 8);
    }
  }

  // The span forms, for a walk that samples pixels [x, x + n) of the row
  // side by side (n at most kBatch): each pixel as Put (with mask value
  // masks[i]) or PutOpaque would take it, the blends of the span in one
  // batch. A span wholly left, stored or blended skips the sorting.
  template <class C>
  void PutSpan(std::int32_t x, const C* colours, const std::uint8_t* masks, std::int32_t n) {
    using namespace composite_detail;
    // Held here: the byte stores below could otherwise alias the sink's
    // own fields, which would then be read again for every pixel.
    const std::int32_t lower = lower_, upper = upper_, blend = blend_;
    const Palette palette = palette_;
    std::uint8_t* d = At(x);
    // Four-byte pixels blend in the kernel, those to store taking their
    // colour whole; pixels at or below a lower threshold of 0 have mask 0
    // and weigh nothing, which leaves them as they were (not 5-5-5 ones:
    // a blend clears bit 15). The masks need no look first then.
    constexpr bool kBgrxKernel = kKernelColours<C> && !kWords;
    const auto bgrxKernel = [&] {
      Rows().blendBgrxMasked(d, reinterpret_cast<const std::uint8_t*>(colours), masks,
                             kFull ? 256 : blend, StoreLevel(), n);
    };
    if (kBgrxKernel && lower <= 0) {
      bgrxKernel();
      return;
    }
    if constexpr (kIndexKernel<C>) {
      if (blendPalette_.gathered) {
        IndexSpan(d, colours, masks, n);
        return;
      }
    }
    std::uint8_t least = 255, most = 0;
    for (std::int32_t i = 0; i < n; ++i) {
      least = std::min(least, masks[i]);
      most = std::max(most, masks[i]);
    }
    if (most <= lower) return;
    const std::ptrdiff_t step = step_;
    const auto in = [d, step](std::int32_t i) { return d + i * step; };
    // After a whole span's blend, at blend level 255, the pixels to store
    // are stored over it.
    const auto storeOver = [&] {
      if constexpr (kFull)
        for (std::int32_t i = 0; i < n; ++i)
          if (masks[i] >= upper && masks[i] > lower)
            StoreSampled<Fmt>(palette, d + i * step, colours[i]);
    };
    if (kFull && least >= upper && least > lower) {
      for (std::int32_t i = 0; i < n; ++i) StoreSampled<Fmt>(palette, d + i * step, colours[i]);
      return;
    }
    if constexpr (kKernelColours<C>) {
      // Above the lower threshold every pixel blends or is stored; 5-5-5
      // ones to store are stored over their blend.
      if (least > lower) {
        if constexpr (kWords) {
          Rows().blend555Masked(d, reinterpret_cast<const std::uint8_t*>(colours), masks,
                                kFull ? 256 : blend, 256, n);
          storeOver();
        } else {
          bgrxKernel();
        }
        return;
      }
    }
    std::uint32_t cw[kBatch];
    if (!kFull && least > lower) {
      for (std::int32_t i = 0; i < n; ++i)
        cw[i] = EntryOf<Fmt>(colours[i], (masks[i] * blend) >> 8);
      BlendBatch<Fmt, true>(blendPalette_, in, cw, n);
      return;
    }
    if constexpr (kIsExpandedFormat<Fmt>) {
      // Weight 0 leaves an expanded pixel's bytes as they were, so the
      // whole span blends at once, the pixels left weighing 0; those to
      // store are stored over their blend.
      for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t m = masks[i];
        cw[i] = EntryOf<Fmt>(colours[i], m <= lower ? 0 : kFull ? m : (m * blend) >> 8);
      }
      BlendBatch<Fmt, true>(blendPalette_, in, cw, n);
      storeOver();
    } else {
      // Elsewhere a blend is not undone by weight 0 (5-5-5 clears bit 15, a
      // palette index goes to its colour's nearest): only the blended
      // pixels join the batch.
      std::uint8_t at[kBatch];
      std::int32_t k = 0;
      for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t m = masks[i];
        if (m <= lower) continue;
        if (kFull && m >= upper) {
          StoreSampled<Fmt>(palette, d + i * step, colours[i]);
          continue;
        }
        at[k] = static_cast<std::uint8_t>(i);
        cw[k++] = EntryOf<Fmt>(colours[i], kFull ? m : (m * blend) >> 8);
      }
      if (k > 0)
        BlendBatch<Fmt, false>(
            blendPalette_, [d, step, &at](std::int32_t i) { return d + at[i] * step; }, cw, k);
    }
  }

  static constexpr bool kStoresOpaque = kFull;

  // At blend level 255 only four-byte pixels take the span form: packed
  // colours are such pixels with a zero fourth byte, copied several at a
  // time; other stores gain nothing by waiting.
  template <class C>
  void PutOpaqueSpan(std::int32_t x, const C* c, std::int32_t n)
    requires(!kFull || (std::is_same_v<Fmt, Bgr4> && std::is_same_v<C, std::uint32_t> &&
                        std::endian::native == std::endian::little))
  {
    using namespace composite_detail;
    std::uint8_t* d = At(x);
    const std::ptrdiff_t step = step_;
    if constexpr (kFull) {
      Bgr4::Copy(d, reinterpret_cast<const std::uint8_t*>(c), n);
      return;
    }
    if constexpr (kKernelColours<C>) {
      const RowKernels& rows = Rows();
      (kWords ? rows.blend555Uniform : rows.blendBgrxUniform)(
          d, reinterpret_cast<const std::uint8_t*>(c), opaqueWeight_, n);
      return;
    }
    std::uint32_t cw[kBatch];
    for (std::int32_t i = 0; i < n; ++i) cw[i] = EntryOf<Fmt>(c[i], opaqueWeight_);
    BlendBatch<Fmt, true>(
        blendPalette_, [d, step](std::int32_t i) { return d + i * step; }, cw, n);
  }

 private:
  // A weight a byte cannot hold (a mask value beyond 0-255) takes the
  // rule pixel by pixel.
  template <class C>
  VX_PIXEL_INLINE void Pend(std::uint8_t* d, C c, std::int32_t weight) {
    if (weight < 0 || weight > 255) {
      composite_detail::BlendSampled<Fmt>(palette_, d, c, weight);
      return;
    }
    // A batch is a run of neighbours, walked to the right or (the second
    // pixel tells) to the left.
    if (pending_ != 0 && d != next_) {
      if (pending_ == 1 && d == first_ - step_)
        toLeft_ = true;
      else
        Flush();
    }
    if (pending_ == composite_detail::kBatch) Flush();
    if (pending_ == 0) {
      first_ = d;
      toLeft_ = false;
    }
    entries_[pending_] = composite_detail::EntryOf<Fmt>(c, weight);
    ++pending_;
    next_ = toLeft_ ? d - step_ : d + step_;
  }

  void Flush() {
    if (pending_ == 0) return;
    std::uint8_t* left = first_;
    if (toLeft_) {
      std::reverse(entries_, entries_ + pending_);
      left = first_ - static_cast<std::ptrdiff_t>(pending_ - 1) * step_;
    }
    const std::ptrdiff_t step = step_;
    composite_detail::BlendBatch<Fmt, true>(
        blendPalette_, [left, step](std::int32_t i) { return left + i * step; }, entries_,
        pending_);
    pending_ = 0;
  }

  // Colours the row kernels read as they are: for four-byte pixels blue,
  // green, red and a byte they leave unread; 5-5-5 words.
  static constexpr bool kWords = std::is_same_v<Fmt, Rgb555>;
  template <class C>
  static constexpr bool kKernelColours =
      (std::is_same_v<Fmt, Bgr4> &&
       (std::is_same_v<C, Bgrx> ||
        (std::is_same_v<C, std::uint32_t> && std::endian::native == std::endian::little))) ||
      (kWords && std::is_same_v<C, Rgb555::Colour>);

  // The masked kernels' upper level: the mask values whose pixels are
  // stored (at blend level 255, at or above the upper threshold and above
  // the lower one) weigh 256, which gives the colour whole. A lower
  // threshold of 255 or more leaves every pixel, whatever the level.
  std::int32_t StoreLevel() const {
    if (!kFull || lower_ >= 255) return 256;
    return std::clamp(std::max(upper_, lower_ + 1), 0, 256);
  }

  // Colours an 8-bit span blends in the kernel: four-byte ones whose fourth
  // byte the kernel leaves unread. A plain Indexed8 store needs the index a
  // Bgrx colour carries; packed colours carry none.
  template <class C>
  static constexpr bool kIndexKernel =
      std::endian::native == std::endian::little &&
      ((std::is_same_v<Fmt, Indexed8> && std::is_same_v<C, Bgrx>) ||
       (std::is_same_v<Fmt, Indexed8ViaPalette> &&
        (std::is_same_v<C, Bgrx> || std::is_same_v<C, std::uint32_t>)));

  // PutSpan into 8-bit pixels: every pixel's palette colour blends in the
  // masked kernel at once, those to store taking the colour whole; each
  // pixel then takes its blend's nearest index, the index the colour is
  // stored as, or (at or below the lower threshold) keeps its own.
  template <class C>
  void IndexSpan(std::uint8_t* d, const C* colours, const std::uint8_t* masks, std::int32_t n) {
    const std::int32_t lower = lower_, upper = upper_;
    const std::ptrdiff_t step = step_;
    alignas(16) std::uint8_t pixels[composite_detail::kBatch * 4];
    std::uint8_t old[composite_detail::kBatch];
    for (std::int32_t i = 0; i < n; ++i) {
      old[i] = d[i * step];
      std::memcpy(pixels + 4 * i, &blendPalette_.colours[old[i]], 4);
    }
    Rows().blendBgrxMasked(pixels, reinterpret_cast<const std::uint8_t*>(colours), masks,
                           kFull ? 256 : blend_, StoreLevel(), n);
    composite_detail::NearestIndices(
        palette_, pixels, n, [&](std::int32_t i, std::uint8_t index) {
          const std::int32_t m = masks[i];
          if constexpr (std::is_same_v<Fmt, Indexed8>)
            if (kFull && m >= upper) index = colours[i].x;
          d[i * step] = m > lower ? index : old[i];
        });
  }

  VX_PIXEL_INLINE std::uint8_t* At(std::int32_t x) const {
    if constexpr (Fmt::kStep != 0)
      return row_ + static_cast<std::ptrdiff_t>(x) * Fmt::kStep;
    else
      return row_ + static_cast<std::ptrdiff_t>(x) * step_;
  }

  ViewWalk dest_;
  Palette palette_;
  std::int32_t step_, lower_, upper_, blend_, opaqueWeight_;
  std::uint8_t* row_ = nullptr;
  composite_detail::BlendPalette<Fmt> blendPalette_;
  std::int32_t pending_ = 0;
  bool toLeft_ = false;
  std::uint8_t* first_ = nullptr;
  std::uint8_t* next_ = nullptr;
  std::uint32_t entries_[composite_detail::kBatch];
};

// Colour plus alpha, for sprites with a separate alpha channel: every
// pixel's alpha byte receives the mask value; the colour pixel receives the
// colour, unblended, as blue, green, red bytes of the expanded destination,
// where the mask value is above the lower threshold.
class AlphaSink {
 public:
  explicit AlphaSink(const SampledTarget& t)
      : colour_(t.destination), alpha_(t.alpha), lower_(t.thresholds.lower) {}

  void BeginRow(std::int32_t y) {
    colourRow_ = colour_.Row(y);
    alphaRow_ = alpha_.Row(y);
  }

  bool SkipsTransparent() const { return false; }

  bool TakesOpaque() const { return lower_ < 255; }

  VX_PIXEL_INLINE void PutOpaque(std::int32_t x, std::uint32_t c) {
    alphaRow_[static_cast<std::ptrdiff_t>(x) * alpha_.step] = 255;
    composite_detail::WriteBgr(colourRow_ + static_cast<std::ptrdiff_t>(x) * colour_.step, c);
  }

  template <class C>
  VX_PIXEL_INLINE void Put(std::int32_t x, const Sample<C>& s) {
    alphaRow_[static_cast<std::ptrdiff_t>(x) * alpha_.step] =
        static_cast<std::uint8_t>(s.mask < 0 ? 0 : s.mask > 255 ? 255 : s.mask);
    if (s.mask <= lower_) return;
    composite_detail::WriteBgr(colourRow_ + static_cast<std::ptrdiff_t>(x) * colour_.step,
                               s.colour);
  }

 private:
  ViewWalk colour_, alpha_;
  std::int32_t lower_;
  std::uint8_t* colourRow_ = nullptr;
  std::uint8_t* alphaRow_ = nullptr;
};

namespace composite_detail {

// A source that samples its own mask value,
//   void BeginRow(std::int32_t y);
//   Sample<Colour> SampleAt(std::int32_t x);  // x = 0, 1, ... in order
// put through `sink` over the job's destination.
template <class Sink, class Source>
void SampledRows(const CompositeJob& job, Sink& sink, Source& src) {
  for (std::int32_t y = 0; y < job.destination.height; ++y) {
    src.BeginRow(y);
    sink.BeginRow(y);
    for (std::int32_t x = 0; x < job.destination.width; ++x) sink.Put(x, src.SampleAt(x));
    EndSinkRow(sink);
  }
}

inline SampledTarget TargetOf(const CompositeJob& job) {
  SampledTarget t;
  t.destination = job.destination;
  t.thresholds = job.thresholds;
  t.blend = job.blend;
  t.palette = job.palette;
  return t;
}

}  // namespace composite_detail

// A self-sampling source composited by the threshold rule; job.mask and
// job.path are not read. False when the destination does not fit `Fmt`.
template <class Fmt, class Source>
bool CompositeSampled(const CompositeJob& job, Source& src) {
  using namespace composite_detail;
  if (!DestinationFits<Fmt>(job)) return false;
  if (job.destination.width <= 0 || job.destination.height <= 0) return true;
  SampledTarget t = TargetOf(job);
  t.blend = std::clamp(job.blend, 0, 255);
  t.thresholds.lower = std::clamp(job.thresholds.lower, -1, 255);
  t.thresholds.upper = std::clamp(job.thresholds.upper, 0, 256);
  if (t.blend == 255) {
    CompositeSink<Fmt, true> sink(t);
    SampledRows(job, sink, src);
  } else {
    CompositeSink<Fmt, false> sink(t);
    SampledRows(job, sink, src);
  }
  return true;
}

// A self-sampling source written as colour plus alpha (AlphaSink) into the
// expanded destination and `alpha` (byte 0 of its pixels).
template <class Fmt, class Source>
bool CompositeWithAlpha(const CompositeJob& job, const ViewWalk& alpha, Source& src) {
  static_assert(kIsExpandedFormat<Fmt>, "colour plus alpha writes expanded pixels");
  if (!DestinationFits<Fmt>(job) || !SameShape(job.destination, alpha)) return false;
  if (job.destination.width <= 0 || job.destination.height <= 0) return true;
  if (!alpha.top) return false;
  SampledTarget t = composite_detail::TargetOf(job);
  t.alpha = alpha;
  t.thresholds.lower = std::clamp(job.thresholds.lower, -1, 255);
  AlphaSink sink(t);
  composite_detail::SampledRows(job, sink, src);
  return true;
}

// Builds SourceT<Format> from `args` for the destination format `f` and runs
// it. False when `f` is kNone or the job does not fit.
template <template <class> class SourceT, class... Args>
bool CompositeInFormat(PixelFormat f, const CompositeJob& job, Args&&... args) {
  return VisitFormat(f, [&]<class Fmt>() {
    SourceT<Fmt> s(args...);
    return Composite<Fmt>(job, s);
  });
}

}  // namespace vx
