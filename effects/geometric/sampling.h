// Sampling for the geometric effects: a 24.8 fixed-point source position
// turned into a mask value and a colour, nearest or bilinear, every tap kept
// inside the mask's and the colour's pixel memory; and the generic walk that
// drives a sampler over the destination.
//
// A loop is SampledWalk<Mapping, Sampler, Sink>:
//  - the Mapping says where each destination pixel samples the source:
//      void BeginRow(std::int32_t y);  // rows top first, before pixel 0
//      std::int32_t X() const, Y() const;  // 24.8 position of the pixel
//      void Next();                    // on to the next pixel of the row
//    LinearMapping adds fixed column and row steps (rotate). A per-pixel
//    mapping (swirl: an angle that changes along the row, looked up in the
//    angle tables) keeps its own row state in BeginRow and Next; a walk in
//    parts (magnify's quadrants) runs SampledWalk once per part with a
//    mapping and a job over that part's sub-views;
//  - the Sampler (NearestSampler, BilinearSampler with its edge rule) reads
//    one source format (framework/pixel_formats.h) and tests every tap;
//  - the Sink (framework/compositing.h) composites the sample through the
//    threshold rule or writes colour plus alpha.
// An effect adds its mapping and picks sampler, source format and sink
// from a table once per render (VisitFormats); the inner loop holds no test
// of any of them.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "framework/compositing.h"
#include "framework/pixel_formats.h"
#include "framework/pixel_view.h"

namespace vx {

// 24.8 fixed-point source position.
struct FixedPoint {
  std::int32_t x, y;
};

// Source displacement in 8.8 fixed point for one destination column and
// one destination row.
struct MappingVectors {
  std::int32_t colStepX, colStepY;
  std::int32_t rowStepX, rowStepY;
};

// The byte range a sampler may read, as offsets from the start of a walked
// view's memory: a tap far outside is rejected without ever forming its
// address.
struct ByteWindow {
  const std::uint8_t* base = nullptr;
  std::int64_t size = 0;       // bytes from base
  std::int64_t topOffset = 0;  // first pixel of the top row
  std::int64_t rowStep = 0;
  std::int32_t bytesPerPixel = 0;
};

inline ByteWindow WindowOf(const ViewWalk& walk) {
  return {walk.memBegin, walk.memEnd - walk.memBegin, walk.top - walk.memBegin, walk.rowStep,
          walk.step};
}

// Offset of pixel (column, row) counted from the top row, or -1 when any of
// its `span` bytes falls outside the window. Columns and rows are at most
// 2^31 and a window below 2^31 bytes, so no sum here can overflow.
inline std::int64_t TapOffset(const ByteWindow& w, std::int64_t column, std::int64_t row,
                              std::int64_t span = 1) {
  const std::int64_t at = w.topOffset + row * w.rowStep + column * w.bytesPerPixel;
  return (at >= 0 && at + span <= w.size) ? at : -1;
}

// Offset of pixel (column, row) when it and its neighbours one column right
// and one row down all lie inside the window (bilinear taps), else -1.
inline std::int64_t QuadOffset(const ByteWindow& w, std::int64_t column, std::int64_t row,
                               std::int64_t span = 1) {
  const std::int64_t at = w.topOffset + row * w.rowStep + column * w.bytesPerPixel;
  const std::int64_t low = at + (w.rowStep < 0 ? w.rowStep : 0);
  const std::int64_t high = at + w.bytesPerPixel + (w.rowStep > 0 ? w.rowStep : 0) + span;
  return (low >= 0 && high <= w.size) ? at : -1;
}

// What a sampled walk reads besides its destination: the source's colour
// and mask sub-views' memory, and the sprite's size in columns and rows (no
// tap outside it is read, whatever the memory around it holds).
struct SampledJob : SampledTarget {
  ByteWindow colour;
  ByteWindow mask;
  std::int32_t maskWidth = 0;
  std::int32_t maskRows = 0;
};

// ---------------------------------------------------------------------------
// Samplers and their pieces.

// Bilinear weights of a 24.8 position's fractions, summing to 256.
struct Weights {
  std::int32_t w00, w10, w01, w11;
};
inline Weights BilinearWeights(std::int32_t fx, std::int32_t fy) {
  const std::int32_t w11 = (fx * fy) >> 8;
  const std::int32_t w10 = fx - w11;
  return {256 - w10 - fy, w10, fy - w11, w11};
}

#if defined(__SSE2__)
// BilinearWeights of four 24.8 positions at once, in 32-bit lanes (the
// fractions' product fits 16 bits).
struct Weights4 {
  __m128i w00, w10, w01, w11;
};
VX_PIXEL_INLINE Weights4 BilinearWeights4(__m128i x, __m128i y) {
  const __m128i byte = _mm_set1_epi32(255);
  const __m128i fx = _mm_and_si128(x, byte), fy = _mm_and_si128(y, byte);
  const __m128i w11 = _mm_srli_epi32(_mm_mullo_epi16(fx, fy), 8);
  const __m128i w10 = _mm_sub_epi32(fx, w11);
  return {_mm_sub_epi32(_mm_sub_epi32(_mm_set1_epi32(256), w10), fy), w10,
          _mm_sub_epi32(fy, w11), w11};
}

// Four positions of a line, (x, y) + i (dx, dy) for i = 0 to 3, in 32-bit
// lanes (wrapping as the scalar walk does), and a step to the next four.
struct LinePositions4 {
  LinePositions4(std::uint32_t x, std::uint32_t y, std::uint32_t dx, std::uint32_t dy)
      : xs(_mm_setr_epi32(static_cast<int>(x), static_cast<int>(x + dx),
                          static_cast<int>(x + 2 * dx), static_cast<int>(x + 3 * dx))),
        ys(_mm_setr_epi32(static_cast<int>(y), static_cast<int>(y + dy),
                          static_cast<int>(y + 2 * dy), static_cast<int>(y + 3 * dy))),
        xStep(_mm_set1_epi32(static_cast<int>(4 * dx))),
        yStep(_mm_set1_epi32(static_cast<int>(4 * dy))) {}
  VX_PIXEL_INLINE void Next() {
    xs = _mm_add_epi32(xs, xStep);
    ys = _mm_add_epi32(ys, yStep);
  }
  __m128i xs, ys;
  const __m128i xStep, yStep;

  // Each position's column and row as a 16-bit pair (column low), which a
  // multiply-add by Steps turns into the tap's offset. Inside a span every
  // position is at least 0 and below 2^23.
  VX_PIXEL_INLINE __m128i Pairs() const {
    return _mm_or_si128(_mm_srli_epi32(xs, 8),
                        _mm_and_si128(_mm_slli_epi32(ys, 8),
                                      _mm_set1_epi32(static_cast<int>(0xFFFF0000u))));
  }
  static __m128i Steps(std::int32_t pixel, std::ptrdiff_t row) {
    return _mm_set1_epi32(static_cast<int>(static_cast<std::uint16_t>(pixel) |
                                           (static_cast<std::uint32_t>(row) << 16)));
  }
};

// Two four-byte pixels of a row and the two below them (the low 8 bytes of
// `top` and `below`), weighed: each row's bytes are interleaved (b b g g r
// r x x) and multiply-added by (left weight, right weight) in 32-bit lanes;
// the fourth byte is weighed along and dropped.
VX_PIXEL_INLINE std::uint32_t BlendPairs(__m128i top, __m128i below, const Weights& w) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i both = _mm_unpacklo_epi64(_mm_unpacklo_epi8(top, _mm_srli_si128(top, 4)),
                                          _mm_unpacklo_epi8(below, _mm_srli_si128(below, 4)));
  const __m128i wTop = _mm_shuffle_epi32(_mm_cvtsi32_si128(w.w00 | (w.w10 << 16)), 0);
  const __m128i wBelow = _mm_shuffle_epi32(_mm_cvtsi32_si128(w.w01 | (w.w11 << 16)), 0);
  __m128i sum = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(both, zero), wTop),
                              _mm_madd_epi16(_mm_unpackhi_epi8(both, zero), wBelow));
  sum = _mm_srli_epi32(sum, 8);
  sum = _mm_packs_epi32(sum, sum);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum))) & 0xFFFFFFu;
}

// Two neighbouring pixels of a row from `p` as four-byte colours (the low
// 8 bytes): four-byte pixels as they are, palette indices as their colours.
template <class Source>
inline constexpr bool kTapPairs =
    std::is_same_v<Source, ExpandedSource<4>> || std::is_same_v<Source, Indexed8Source>;

template <class Source>
VX_PIXEL_INLINE __m128i TapPair(const typename Source::Table& pal, const std::uint8_t* p) {
  if constexpr (std::is_same_v<Source, Indexed8Source>)
    return _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(pal.bgr[p[0]])),
                              _mm_cvtsi32_si128(static_cast<int>(pal.bgr[p[1]])));
  else
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
#endif

// The four colour taps from `c` weighed. Four-byte pixels and palette
// colours go two by two through vector lanes, 5-5-5 words field by field;
// the integers are those of the plain form, and so are the bytes. kVector
// false keeps to the plain form (the tested walk does, so that the two
// walks check each other).
template <class Source, bool kVector = true>
VX_PIXEL_INLINE std::uint32_t Blend4Colour(const typename Source::Table& pal, const std::uint8_t* c,
                                           std::ptrdiff_t cRow, std::int32_t cStep,
                                           const Weights& w) {
#if defined(__SSE2__)
  if constexpr (kVector && kTapPairs<Source>)
    return BlendPairs(TapPair<Source>(pal, c), TapPair<Source>(pal, c + cRow), w);
  if constexpr (kVector && std::is_same_v<Source, Rgb555Source>) {
    // The four words side by side, their blue and green fields in one
    // vector and red in another, each multiply-added by the four weights;
    // the top and bottom halves (at most 31 x 256) are then summed.
    std::uint32_t top, below;
    std::memcpy(&top, c, 4);
    std::memcpy(&below, c + cRow, 4);
    const __m128i four = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(top)),
                                            _mm_cvtsi32_si128(static_cast<int>(below)));
    const __m128i field = _mm_set1_epi16(31);
    const __m128i blueGreen = _mm_unpacklo_epi64(_mm_and_si128(four, field),
                                                 _mm_and_si128(_mm_srli_epi16(four, 5), field));
    const __m128i red = _mm_and_si128(_mm_srli_epi16(four, 10), field);
    __m128i weights = _mm_unpacklo_epi32(_mm_cvtsi32_si128(w.w00 | (w.w10 << 16)),
                                         _mm_cvtsi32_si128(w.w01 | (w.w11 << 16)));
    weights = _mm_unpacklo_epi64(weights, weights);
    const __m128i halves = _mm_packs_epi32(_mm_madd_epi16(blueGreen, weights),
                                           _mm_madd_epi16(red, weights));
    __m128i sum = _mm_srli_epi32(_mm_madd_epi16(halves, _mm_set1_epi16(1)), 8);
    sum = _mm_packs_epi32(sum, sum);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum))) & 0xFFFFFFu;
  }
#endif
  const Lanes sum = LoadLanes<Source>(pal, c) * static_cast<Lanes>(w.w00) +
                    LoadLanes<Source>(pal, c + cStep) * static_cast<Lanes>(w.w10) +
                    LoadLanes<Source>(pal, c + cRow) * static_cast<Lanes>(w.w01) +
                    LoadLanes<Source>(pal, c + cRow + cStep) * static_cast<Lanes>(w.w11);
  return LanesToBgr((sum >> 8) & kLaneLow);
}

// The four taps at `m` (mask) and `c` (colour), weighed. Four-byte pixels
// over a packed mask carry the mask bytes in place of their fourth bytes
// and are weighed in one pass (products and sums stay below 2^16).
template <class Source, std::int32_t kMaskStep = 0, bool kVector = true>
VX_PIXEL_INLINE PackedSample Blend4(const typename Source::Table& pal, const std::uint8_t* m,
                              std::ptrdiff_t mRow, std::int32_t mStep, const std::uint8_t* c,
                              std::ptrdiff_t cRow, std::int32_t cStep, const Weights& w) {
#if defined(__SSE2__)
  if constexpr (kVector && std::is_same_v<Source, ExpandedSource<4>> && kMaskStep == 1) {
    // Per row: the two pixels' bytes interleaved (b b g g r r m m), the
    // fourth bytes replaced by the two mask bytes, then one multiply-add
    // of each pair by (left weight, right weight).
    const __m128i zero = _mm_setzero_si128();
    const auto row = [&](const std::uint8_t* px, const std::uint8_t* mk, std::int32_t left,
                         std::int32_t right) {
      const __m128i pair = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(px));
      __m128i mixed = _mm_unpacklo_epi8(pair, _mm_srli_si128(pair, 4));
      std::uint16_t masks;
      std::memcpy(&masks, mk, 2);
      mixed = _mm_insert_epi16(mixed, masks, 3);
      const __m128i weights = _mm_set1_epi32(left | (right << 16));
      return _mm_madd_epi16(_mm_unpacklo_epi8(mixed, zero), weights);
    };
    __m128i sum = _mm_add_epi32(row(c, m, w.w00, w.w10), row(c + cRow, m + mRow, w.w01, w.w11));
    sum = _mm_srli_epi32(sum, 8);
    sum = _mm_packs_epi32(sum, sum);
    const auto v = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum)));
    return {static_cast<std::int32_t>(v >> 24), v & 0xFFFFFFu};
  }
#endif
  return {(m[0] * w.w00 + m[mStep] * w.w10 + m[mRow] * w.w01 + m[mRow + mStep] * w.w11) >> 8,
          Blend4Colour<Source, kVector>(pal, c, cRow, cStep, w)};
}

// Destination rows whose source taps are fetched ahead. Inside a column
// block each row samples next to the row before it, on a line through the
// turned source that no hardware prefetcher follows; the tap
// kPrefetchRows rows further down is asked for while this one is read.
inline constexpr std::int32_t kPrefetchRows = 8;

// The byte distance from a tap to roughly the same tap kPrefetchRows rows
// on (unsigned: it only forms hint addresses, never a load).
inline std::uintptr_t PrefetchDistance(FixedPoint rowStep, std::ptrdiff_t row,
                                       std::int32_t step) {
  return static_cast<std::uintptr_t>(
      (std::int64_t{rowStep.y} * row + std::int64_t{rowStep.x} * step) * kPrefetchRows / 256);
}

VX_PIXEL_INLINE void PrefetchAhead(const std::uint8_t* p, std::uintptr_t distance) {
#if defined(__SSE2__)
  _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(p) + distance),
               _MM_HINT_T0);
#else
  (void)p;
  (void)distance;
#endif
}

// A step known when the loop is built, or the view's own (0).
template <std::int32_t kStep>
inline std::int32_t StepOf(std::int32_t runtime) {
  if constexpr (kStep != 0)
    return kStep;
  else
    return runtime;
}

// --- Samplers. Each tests every tap (operator()) or, inside a span the walk
// has already clipped, none (Inside). kColumnsLess / kRowsLess: how many
// columns and rows short of the sprite the left/top tap must stay for
// Inside. kRing: how many columns and rows beyond that span on either side
// the tested form can still draw something (the fading edge). kMaskStep:
// the mask's bytes per pixel when known (1, packed), else 0.

// What both samplers keep of the job: the two views, their row and pixel
// steps, and how far ahead to prefetch (from the source displacement of one
// destination row, where the walk has one; {0, 0} fetches nothing ahead).
template <class Source, std::int32_t kMaskStep>
class SamplerViews {
 protected:
  SamplerViews(const SampledJob& job, FixedPoint rowStep)
      : mask_(job.mask), colour_(job.colour), width_(job.maskWidth), rows_(job.maskRows),
        palette_(job.palette),
        mTop_(job.mask.base + job.mask.topOffset), cTop_(job.colour.base + job.colour.topOffset),
        mRow_(static_cast<std::ptrdiff_t>(job.mask.rowStep)),
        cRow_(static_cast<std::ptrdiff_t>(job.colour.rowStep)),
        mStep_(StepOf<kMaskStep>(job.mask.bytesPerPixel)),
        cStep_(StepOf<Source::kStep>(job.colour.bytesPerPixel)),
        ahead_(PrefetchDistance(rowStep, cRow_, cStep_)),
        maskPairs_(width_ <= 0x7FFF && rows_ <= 0x7FFF && Fits16(mRow_) && Fits16(mStep_)) {}

  static constexpr bool Fits16(std::ptrdiff_t v) { return v >= -0x8000 && v <= 0x7FFF; }

  // Only colour views of three or four bytes a pixel are fetched ahead.
  // A cache line of mask bytes, palette indices or 5-5-5 words holds 16 to
  // 64 of a row's taps, used again by the rows that follow; fetching those
  // ahead only crowds out what the walk still reads (it ran slower).
  VX_PIXEL_INLINE void ColourAhead(const std::uint8_t* p) const {
    if constexpr (Source::kStep >= 3) PrefetchAhead(p, ahead_);
  }

  // The sample of a tap outside the sprite: mask 0, black.
  template <class Colour = std::uint32_t>
  static Sample<Colour> Outside() {
    return {};
  }

  // How many of the n positions (x, y) + i (dx, dy) of a line inside the
  // span, from the first on, sample the mask value kValue (0 or 255) for
  // certain: the byte at each position holds it, or (kQuad) all four from
  // it. Where the mask's sides and steps fit 16 bits, four positions'
  // offsets come from one multiply-add, as in the nearest line walk.
  template <bool kQuad, std::uint8_t kValue>
  std::int32_t MaskRun(std::uint32_t x, std::uint32_t y, std::uint32_t dx, std::uint32_t dy,
                       std::int32_t n) const {
    static_assert(kValue == 0 || kValue == 255);
    const std::ptrdiff_t ms = StepOf<kMaskStep>(mStep_), row = mRow_;
    // The taps' bytes joined so that kValue means all of them hold it.
    const auto join = [](std::uint32_t a, std::uint32_t b) { return kValue == 0 ? a | b : a & b; };
    const auto taps = [&](std::ptrdiff_t offset) {
      const std::uint8_t* m = mTop_ + offset;
      if constexpr (kQuad)
        return join(join(m[0], m[ms]), join(m[row], m[row + ms]));
      else
        return std::uint32_t{m[0]};
    };
    std::int32_t i = 0;
#if defined(__SSE2__)
    if (maskPairs_) {
      const __m128i steps = LinePositions4::Steps(static_cast<std::int32_t>(ms), row);
      LinePositions4 at4(x, y, dx, dy);
      for (; i + 4 <= n; i += 4, at4.Next()) {
        alignas(16) std::int32_t o[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(o), _mm_madd_epi16(at4.Pairs(), steps));
        if (join(join(taps(o[0]), taps(o[1])), join(taps(o[2]), taps(o[3]))) != kValue) break;
      }
      x += static_cast<std::uint32_t>(i) * dx;
      y += static_cast<std::uint32_t>(i) * dy;
    }
#endif
    for (; i < n; ++i, x += dx, y += dy)
      if (taps((static_cast<std::int32_t>(y) >> 8) * row + (static_cast<std::int32_t>(x) >> 8) * ms) !=
          kValue)
        break;
    return i;
  }

  ByteWindow mask_, colour_;
  std::int32_t width_, rows_;
  typename Source::Table palette_;
  const std::uint8_t* mTop_;
  const std::uint8_t* cTop_;
  std::ptrdiff_t mRow_, cRow_;
  std::int32_t mStep_, cStep_;
  std::uintptr_t ahead_;
  bool maskPairs_;  // MaskRun may multiply-add 16-bit pairs
};

template <class Source, std::int32_t kMaskStep>
class NearestSampler : SamplerViews<Source, kMaskStep> {
  using Views = SamplerViews<Source, kMaskStep>;
  using Views::mask_, Views::colour_, Views::width_, Views::rows_, Views::palette_, Views::mTop_,
      Views::cTop_, Views::mRow_, Views::cRow_, Views::mStep_, Views::cStep_,
      Views::ColourAhead;

 public:
  static constexpr std::int32_t kColumnsLess = 0, kRowsLess = 0, kRing = 0;

  template <std::uint8_t kValue>
  std::int32_t MaskRun(std::uint32_t x, std::uint32_t y, std::uint32_t dx, std::uint32_t dy,
                       std::int32_t n) const {
    return Views::template MaskRun<false, kValue>(x, y, dx, dy, n);
  }

  explicit NearestSampler(const SampledJob& job, FixedPoint rowStep = {})
      : Views(job, rowStep),
        pairs_(Views::maskPairs_ && Views::Fits16(cRow_) && Views::Fits16(cStep_)),
        stored_(palette_, job.palette) {}

  template <class Colour = std::uint32_t>
  Sample<Colour> operator()(std::int32_t x, std::int32_t y) const {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    if (ix < 0 || ix >= width_ || iy < 0 || iy >= rows_) return Outside<Colour>();
    const std::int64_t m = TapOffset(mask_, ix, iy);
    if (m < 0) return Outside<Colour>();
    const std::int64_t c = TapOffset(colour_, ix, iy, Source::kSpan);
    if (c < 0) return Outside<Colour>();
    return {mask_.base[m], Load<Colour>(colour_.base + c)};
  }

  // A tap outside: mask 0, black; as Bgrx, with the index black is stored
  // as, like every colour Load gives.
  template <class Colour = std::uint32_t>
  Sample<Colour> Outside() const {
    if constexpr (std::is_same_v<Colour, Bgrx>)
      return {0, stored_.black};
    else
      return {};
  }

  // Colour packed blue, green, red; or (Rgb555::Colour, from a 5-5-5
  // source) the 5-5-5 word itself; or (Bgrx, from palette indices) the
  // index's colour and, as x, the index that colour is stored as in an
  // 8-bit destination.
  template <class Colour = std::uint32_t>
  VX_PIXEL_INLINE Sample<Colour> Inside(std::int32_t x, std::int32_t y) const {
    const std::ptrdiff_t ix = x >> 8, iy = y >> 8;
    const std::uint8_t* m = mTop_ + iy * mRow_ + ix * StepOf<kMaskStep>(mStep_);
    const std::uint8_t* p = cTop_ + iy * cRow_ + ix * StepOf<Source::kStep>(cStep_);
    ColourAhead(p);
    return {*m, Load<Colour>(p)};
  }

  // The colour alone, where the walk knows the mask to be opaque.
  template <class Colour = std::uint32_t>
  VX_PIXEL_INLINE Colour InsideColour(std::int32_t x, std::int32_t y) const {
    const std::ptrdiff_t ix = x >> 8, iy = y >> 8;
    const std::uint8_t* p = cTop_ + iy * cRow_ + ix * StepOf<Source::kStep>(cStep_);
    ColourAhead(p);
    return Load<Colour>(p);
  }

  // Inside or (kOpaque) InsideColour at the n positions (x, y) + i (dx, dy)
  // of a line, handed on as put(i, sample) or (kOpaque) put(i, colour) in
  // order. Where the sprite's sides and the views' steps fit 16 bits, the
  // taps' offsets go four at a time: column and row as a 16-bit pair in
  // each lane, times (pixel step, row step) and added in one multiply-add.
  template <bool kOpaque, class Colour, class Put>
  VX_PIXEL_INLINE void ForLine(std::uint32_t x, std::uint32_t y, std::uint32_t dx,
                               std::uint32_t dy, std::int32_t n, Put&& put) const {
    std::int32_t i = 0;
#if defined(__SSE2__)
    if (pairs_) {
      const __m128i cSteps = LinePositions4::Steps(StepOf<Source::kStep>(cStep_), cRow_);
      const __m128i mSteps = LinePositions4::Steps(StepOf<kMaskStep>(mStep_), mRow_);
      LinePositions4 at4(x, y, dx, dy);
      for (; i + 4 <= n; i += 4, at4.Next()) {
        const __m128i at = at4.Pairs();
        alignas(16) std::int32_t c[4], m[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(c), _mm_madd_epi16(at, cSteps));
        if constexpr (!kOpaque)
          _mm_store_si128(reinterpret_cast<__m128i*>(m), _mm_madd_epi16(at, mSteps));
        for (std::int32_t k = 0; k < 4; ++k) {
          const std::uint8_t* p = cTop_ + c[k];
          ColourAhead(p);
          if constexpr (kOpaque) {
            put(i + k, Load<Colour>(p));
          } else {
            const std::uint8_t* q = mTop_ + m[k];
            put(i + k, Sample<Colour>{*q, Load<Colour>(p)});
          }
        }
      }
      x += static_cast<std::uint32_t>(i) * dx;
      y += static_cast<std::uint32_t>(i) * dy;
    }
#endif
    for (; i < n; ++i, x += dx, y += dy) {
      const auto sx = static_cast<std::int32_t>(x), sy = static_cast<std::int32_t>(y);
      if constexpr (kOpaque)
        put(i, InsideColour<Colour>(sx, sy));
      else
        put(i, Inside<Colour>(sx, sy));
    }
  }

  // ForLine into colours[i] and (not kOpaque) masks[i].
  template <bool kOpaque, class Colour>
  void InsideLine(std::uint32_t x, std::uint32_t y, std::uint32_t dx, std::uint32_t dy,
                  std::int32_t n, Colour* colours, std::uint8_t* masks) const {
    if constexpr (kOpaque) {
      ForLine<true, Colour>(x, y, dx, dy, n, [colours](std::int32_t i, Colour c) { colours[i] = c; });
    } else {
      ForLine<false, Colour>(x, y, dx, dy, n, [colours, masks](std::int32_t i, Sample<Colour> s) {
        colours[i] = s.colour;
        masks[i] = static_cast<std::uint8_t>(s.mask);
      });
    }
  }

 private:
  template <class Colour>
  VX_PIXEL_INLINE Colour Load(const std::uint8_t* p) const {
    if constexpr (std::is_same_v<Colour, std::uint32_t>) {
      return Source::LoadBgr(palette_, p);
    } else if constexpr (std::is_same_v<Colour, Bgrx>) {
      static_assert(std::is_same_v<Source, Indexed8Source>);
      return stored_.colours[*p];
    } else {
      static_assert(std::is_same_v<Source, Rgb555Source> && std::is_same_v<Colour, Rgb555::Colour>);
      return static_cast<Rgb555::Colour>(Load555(p) & 0x7FFF);
    }
  }

  // Each palette index's colour with the index it is stored as (the
  // nearest by the inverse table, or 0 without one), worked out once per
  // render instead of the inverse key per stored pixel.
  struct StoredIndices {
    StoredIndices(const typename Source::Table& table, const Palette& p) {
      for (std::uint32_t i = 0; i < 256; ++i) {
        const std::uint32_t c = table.bgr[i];
        const std::uint32_t b = c & 0xFF, g = (c >> 8) & 0xFF, r = (c >> 16) & 0xFF;
        colours[i] = Bgrx{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g),
                          static_cast<std::uint8_t>(r),
                          p.inverse ? InverseLookup(p, r, g, b) : std::uint8_t{0}};
      }
      black = Bgrx{0, 0, 0, p.inverse ? InverseLookup(p, 0, 0, 0) : std::uint8_t{0}};
    }
    Bgrx colours[256];
    Bgrx black;
  };
  struct NoIndices {
    NoIndices(const typename Source::Table&, const Palette&) {}
  };
  bool pairs_;  // InsideLine may multiply-add 16-bit pairs
  [[no_unique_address]] const std::conditional_t<std::is_same_v<Source, Indexed8Source>,
                                                 StoredIndices, NoIndices>
      stored_;
};

// How a bilinear sample treats the sprite's edge. FadingEdges: each of the
// four taps inside the sprite gives its mask byte and colour, a tap outside
// gives mask 0 and the colour of the nearest pixel inside, so the edge
// blends toward transparent; one column and row around the sprite can draw.
// MaskAtTap: the single mask byte at the integer position, any column of the
// mask, and all four colour taps in the colour view.
struct FadingEdges {};
struct MaskAtTap {};

template <class Source, std::int32_t kMaskStep, class MaskRule = FadingEdges>
class BilinearSampler : SamplerViews<Source, kMaskStep> {
  using Views = SamplerViews<Source, kMaskStep>;
  using Views::mask_, Views::colour_, Views::width_, Views::rows_, Views::palette_, Views::mTop_,
      Views::cTop_, Views::mRow_, Views::cRow_, Views::mStep_, Views::cStep_,
      Views::ColourAhead;
  static constexpr bool kFading = std::is_same_v<MaskRule, FadingEdges>;

 public:
  static constexpr std::int32_t kColumnsLess = 1, kRowsLess = 1, kRing = kFading ? 1 : 0;
  using Views::Outside;

  // Inside a clipped span (fading edges): 0 or 255 where all four taps are.
  template <std::uint8_t kValue>
  std::int32_t MaskRun(std::uint32_t x, std::uint32_t y, std::uint32_t dx, std::uint32_t dy,
                       std::int32_t n) const
    requires kFading
  {
    return Views::template MaskRun<true, kValue>(x, y, dx, dy, n);
  }

  explicit BilinearSampler(const SampledJob& job, FixedPoint rowStep = {}) : Views(job, rowStep) {}

  PackedSample operator()(std::int32_t x, std::int32_t y) const {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    const Weights w = BilinearWeights(x - (ix << 8), y - (iy << 8));
    if constexpr (kFading) {
      if (ix < -1 || ix >= width_ || iy < -1 || iy >= rows_) return {};
      const std::int32_t weight[4] = {w.w00, w.w10, w.w01, w.w11};
      std::int32_t m = 0;
      for (std::int32_t t = 0; t < 4; ++t) {
        const std::int32_t tx = ix + (t & 1), ty = iy + (t >> 1);
        if (tx < 0 || tx >= width_ || ty < 0 || ty >= rows_) continue;
        const std::int64_t at = TapOffset(mask_, tx, ty);
        if (at >= 0) m += mask_.base[at] * weight[t];
      }
      m >>= 8;
      // Taps outside take the colour of the nearest pixel inside: clamped
      // coordinates, so a tap pair on the edge may share one pixel.
      const auto clamp = [](std::int32_t v, std::int32_t n) { return v < 0 ? 0 : v >= n ? n - 1 : v; };
      const std::int32_t x0 = clamp(ix, width_), x1 = clamp(ix + 1, width_);
      const std::int32_t y0 = clamp(iy, rows_), y1 = clamp(iy + 1, rows_);
      const std::int64_t c = TapOffset(colour_, x0, y0, Source::kSpan);
      if (c < 0 || TapOffset(colour_, x1, y0, Source::kSpan) < 0 ||
          TapOffset(colour_, x0, y1, Source::kSpan) < 0 ||
          TapOffset(colour_, x1, y1, Source::kSpan) < 0)
        return {};
      return {m, Blend4Colour<Source, false>(
                     palette_, colour_.base + c, static_cast<std::ptrdiff_t>((y1 - y0) * colour_.rowStep),
                     (x1 - x0) * colour_.bytesPerPixel, w)};
    } else {
      if (ix < 0 || ix >= width_ || iy < 0 || iy >= rows_) return {};
      const std::int64_t m = TapOffset(mask_, ix, iy);
      if (m < 0) return {};
      const std::int64_t c = QuadOffset(colour_, ix, iy, Source::kSpan);
      if (c < 0) return {};
      return {mask_.base[m], Blend4Colour<Source, false>(palette_, colour_.base + c, cRow_,
                                                          colour_.bytesPerPixel, w)};
    }
  }

  // Inside a clipped span, all four taps in the sprite: only for the fading
  // edges, which there weigh the four taps as they are.
  VX_PIXEL_INLINE PackedSample Inside(std::int32_t x, std::int32_t y) const
    requires kFading
  {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    const std::int32_t ms = StepOf<kMaskStep>(mStep_), cs = StepOf<Source::kStep>(cStep_);
    const std::uint8_t* m = mTop_ + iy * mRow_ + std::ptrdiff_t{ix} * ms;
    const std::uint8_t* p = cTop_ + iy * cRow_ + std::ptrdiff_t{ix} * cs;
    ColourAhead(p);
    return Blend4<Source, kMaskStep>(palette_, m, mRow_, ms, p, cRow_, cs,
                                     BilinearWeights(x - (ix << 8), y - (iy << 8)));
  }

  // The colour alone, where the walk knows all four mask taps opaque.
  VX_PIXEL_INLINE std::uint32_t InsideColour(std::int32_t x, std::int32_t y) const
    requires kFading
  {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    const std::int32_t cs = StepOf<Source::kStep>(cStep_);
    const std::uint8_t* p = cTop_ + iy * cRow_ + std::ptrdiff_t{ix} * cs;
    ColourAhead(p);
    return Blend4Colour<Source>(palette_, p, cRow_, cs,
                                BilinearWeights(x - (ix << 8), y - (iy << 8)));
  }

#if defined(__SSE2__)
  // Inside or (kOpaque) InsideColour at the n positions (x, y) + i (dx, dy)
  // of a line, into colours[i] and (not kOpaque) masks[i], for four-byte
  // pixels and palette indices (taken as their colours' four bytes): four
  // at a time, their weights in one vector, each pixel's taps weighed as in
  // Blend4, the four sums packed together.
  template <bool kOpaque>
  void InsideLine(std::uint32_t x, std::uint32_t y, std::uint32_t dx, std::uint32_t dy,
                  std::int32_t n, std::uint32_t* colours, std::uint8_t* masks) const
    requires(kFading && kTapPairs<Source>)
  {
    std::int32_t i = 0;
    if constexpr (kOpaque || kMaskStep == 1) {
      const __m128i zero = _mm_setzero_si128();
      LinePositions4 at4(x, y, dx, dy);
      // One pixel's taps, top pair then below pair, as 16-bit lanes
      // b b g g r r m m (the mask bytes in place of the fourth bytes),
      // multiply-added by its weights.
      const auto weigh = [&](std::uint32_t px, std::uint32_t py, __m128i topWeights,
                             __m128i belowWeights) {
        const std::ptrdiff_t ix = static_cast<std::int32_t>(px) >> 8;
        const std::ptrdiff_t iy = static_cast<std::int32_t>(py) >> 8;
        const std::uint8_t* c = cTop_ + iy * cRow_ + ix * Source::kStep;
        ColourAhead(c);
        const __m128i top = TapPair<Source>(palette_, c);
        const __m128i below = TapPair<Source>(palette_, c + cRow_);
        __m128i topPairs = _mm_unpacklo_epi8(top, _mm_srli_si128(top, 4));
        __m128i belowPairs = _mm_unpacklo_epi8(below, _mm_srli_si128(below, 4));
        if constexpr (!kOpaque) {
          const std::uint8_t* m = mTop_ + iy * mRow_ + ix;
          std::uint16_t upper, lower;
          std::memcpy(&upper, m, 2);
          std::memcpy(&lower, m + mRow_, 2);
          topPairs = _mm_insert_epi16(topPairs, upper, 3);
          belowPairs = _mm_insert_epi16(belowPairs, lower, 3);
        }
        const __m128i sum =
            _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(topPairs, zero), topWeights),
                          _mm_madd_epi16(_mm_unpacklo_epi8(belowPairs, zero), belowWeights));
        return _mm_srli_epi32(sum, 8);
      };
      for (; i + 4 <= n; i += 4) {
        const Weights4 w = BilinearWeights4(at4.xs, at4.ys);
        const __m128i topWeights = _mm_or_si128(w.w00, _mm_slli_epi32(w.w10, 16));
        const __m128i belowWeights = _mm_or_si128(w.w01, _mm_slli_epi32(w.w11, 16));
        const __m128i s0 = weigh(x, y, _mm_shuffle_epi32(topWeights, 0x00),
                                 _mm_shuffle_epi32(belowWeights, 0x00));
        const __m128i s1 = weigh(x + dx, y + dy, _mm_shuffle_epi32(topWeights, 0x55),
                                 _mm_shuffle_epi32(belowWeights, 0x55));
        const __m128i s2 = weigh(x + 2 * dx, y + 2 * dy, _mm_shuffle_epi32(topWeights, 0xAA),
                                 _mm_shuffle_epi32(belowWeights, 0xAA));
        const __m128i s3 = weigh(x + 3 * dx, y + 3 * dy, _mm_shuffle_epi32(topWeights, 0xFF),
                                 _mm_shuffle_epi32(belowWeights, 0xFF));
        const __m128i words = _mm_packus_epi16(_mm_packs_epi32(s0, s1), _mm_packs_epi32(s2, s3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(colours + i),
                         _mm_and_si128(words, _mm_set1_epi32(0xFFFFFF)));
        if constexpr (!kOpaque) {
          const __m128i m = _mm_srli_epi32(words, 24);
          const __m128i m8 = _mm_packus_epi16(_mm_packs_epi32(m, m), zero);
          const auto four = static_cast<std::uint32_t>(_mm_cvtsi128_si32(m8));
          std::memcpy(masks + i, &four, 4);
        }
        x += 4 * dx;
        y += 4 * dy;
        at4.Next();
      }
    }
    for (; i < n; ++i, x += dx, y += dy) {
      const auto sx = static_cast<std::int32_t>(x), sy = static_cast<std::int32_t>(y);
      if constexpr (kOpaque) {
        colours[i] = InsideColour(sx, sy);
      } else {
        const PackedSample s = Inside(sx, sy);
        colours[i] = s.colour;
        masks[i] = static_cast<std::uint8_t>(s.mask);
      }
    }
  }
#endif
};

// ---------------------------------------------------------------------------
// Mappings and the walk.

// Fixed column and row steps from a start position. Positions advance in
// unsigned arithmetic: far outside the source they may wrap, which the
// samplers' bounds tests absorb.
class LinearMapping {
 public:
  LinearMapping(FixedPoint start, const MappingVectors& steps)
      : rowX_(static_cast<std::uint32_t>(start.x)), rowY_(static_cast<std::uint32_t>(start.y)),
        colX_(static_cast<std::uint32_t>(steps.colStepX)),
        colY_(static_cast<std::uint32_t>(steps.colStepY)),
        rowStepX_(static_cast<std::uint32_t>(steps.rowStepX)),
        rowStepY_(static_cast<std::uint32_t>(steps.rowStepY)) {}

  void BeginRow(std::int32_t) {
    x_ = rowX_;
    y_ = rowY_;
    rowX_ += rowStepX_;
    rowY_ += rowStepY_;
  }
  std::int32_t X() const { return static_cast<std::int32_t>(x_); }
  std::int32_t Y() const { return static_cast<std::int32_t>(y_); }
  void Next() {
    x_ += colX_;
    y_ += colY_;
  }

 private:
  std::uint32_t rowX_, rowY_, colX_, colY_, rowStepX_, rowStepY_;
  std::uint32_t x_ = 0, y_ = 0;
};

// Every pixel of a width x height destination, sampled where the mapping
// puts it and handed to the sink. Rows top first and each left to right,
// unless the mapping says otherwise: a mapping with ReverseX() / ReverseY()
// (magnify's quadrants, walked toward or away from a fixed point) visits
// each row from its right end or the rows bottom-up, and its positions
// follow the visit. A sampler callable as (x, y, X, Y) is also told the
// destination pixel (magnify takes the mask there).
template <class Mapping, class Sampler, class Sink>
void SampledWalk(std::int32_t width, std::int32_t height, Mapping& map, const Sampler& sample,
                 Sink& sink) {
  constexpr bool kOrdered = requires(const Mapping& m) {
    m.ReverseX();
    m.ReverseY();
  };
  constexpr bool kAtDestination = requires { sample(0, 0, 0, 0); };
  std::int32_t x0 = 0, dx = 1, y0 = 0, dy = 1;
  if constexpr (kOrdered) {
    if (map.ReverseX()) x0 = width - 1, dx = -1;
    if (map.ReverseY()) y0 = height - 1, dy = -1;
  }
  for (std::int32_t j = 0, y = y0; j < height; ++j, y += dy) {
    sink.BeginRow(y);
    map.BeginRow(y);
    for (std::int32_t i = 0, x = x0; i < width; ++i, x += dx) {
      if constexpr (kAtDestination)
        sink.Put(x, sample(x, y, map.X(), map.Y()));
      else
        sink.Put(x, sample(map.X(), map.Y()));
      map.Next();
    }
    EndSinkRow(sink);
  }
}

// ---------------------------------------------------------------------------
// The format pairs of the geometric effects' tables.

// `Render`: an expanded source into every destination, carried byte for
// byte in the destination's units (a 16-bit stage's 5-bit values into
// 5-5-5, an 8-bit stage's colours into indices); 5-5-5 into 5-5-5; indices
// into indices. 8-bit destinations store through the colour table.
// visit.template operator()<Source, Fmt>() with the reader and the format
// to run; a value-initialised result for the pairs without a loop.
template <class F>
auto VisitSampledRenderFormats(const PixelView& source, const PixelView& destination,
                               F&& visit) {
  using Result = decltype(visit.template operator()<Indexed8Source, Indexed8ViaPalette>());
  return VisitFormats(SourceFormatOf(source), PixelFormatOf(destination),
                      [&]<class Source, class Fmt>() -> Result {
                        using Stored = typename Source::Stored;
                        constexpr bool kExpandedSource = Source::kSpan == 3;
                        if constexpr (std::is_same_v<Fmt, Indexed8>) {
                          if constexpr (kExpandedSource || std::is_same_v<Source, Indexed8Source>)
                            return visit.template operator()<Stored, Indexed8ViaPalette>();
                          else
                            return Result();
                        } else if constexpr (kExpandedSource ||
                                             (std::is_same_v<Fmt, Rgb555> &&
                                              std::is_same_v<Source, Rgb555Source>)) {
                          return visit.template operator()<Stored, Fmt>();
                        } else {
                          return Result();
                        }
                      });
}

// `RenderWithAlpha`: the destination colour is expanded and its depth names
// the source's format: any expanded source, indices for depth 8, 5-5-5 for
// depth 16. visit.template operator()<Source>() with the reader to run.
template <class F>
auto VisitSampledAlphaFormats(const PixelView& source, const PixelView& destinationColour,
                              F&& visit) {
  using Result = decltype(visit.template operator()<Indexed8Source>());
  const std::int32_t depth = destinationColour.depth;
  return VisitFormats(SourceFormatOf(source), PixelFormatOf(destinationColour),
                      [&]<class Source, class Fmt>() -> Result {
                        if constexpr (!kIsExpandedFormat<Fmt>) {
                          return Result();
                        } else {
                          if constexpr (std::is_same_v<Source, Indexed8Source>) {
                            if (depth != 8) return Result();
                          } else if constexpr (std::is_same_v<Source, Rgb555Source>) {
                            if (depth != 16) return Result();
                          }
                          return visit.template operator()<typename Source::Stored>();
                        }
                      });
}

}  // namespace vx
