// The rotate pixel loops: a 24.8 fixed-point walk over the destination that
// samples the unrotated source and mask (nearest or bilinear) and either
// composites the sample through the mask (`Render`) or writes colour and
// alpha side by side (`RenderWithAlpha`).
//
// One template family over (source format, sampler, sink) is the whole set:
//  - a source format reads one colour tap as blue, green, red bytes
//    (expanded bytes, 5-5-5 fields, or a palette index looked up);
//  - a sampler turns a source position into a mask value and a colour,
//    keeping every tap inside the mask's and the colour's pixel memory;
//  - a sink stores the sample: through the framework's destination formats
//    and the threshold rule, or as unblended colour plus alpha.
// The loops are picked once per render from small tables; the inner loop
// holds no test of format, sampling mode or blend level. The destination
// is walked in blocks of columns, each row of a block cut once into the
// span whose taps all lie inside the views and the transparent parts
// before and after it; inside the span no tap is tested, and the part of
// it that samples a rectangle of fully opaque mask is stored by colour
// alone.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "effects/geometric/rotate_geometry.h"
#include "framework/compositing.h"
#include "framework/pixel_view.h"
#include "framework/sprite_records.h"

namespace vx {

// Everything a rotate loop reads, prepared once per render.
struct RotateLoopJob {
  ViewWalk destination;  // destination (colour) sub-view over the update
  ViewWalk alpha;        // destination alpha sub-view (RenderWithAlpha only)
  ByteWindow colour;     // the colour sub-view's memory
  ByteWindow mask;       // the mask sub-view's memory
  std::int32_t maskWidth = 0;  // columns of the mask sub-view
  MappingVectors steps{};
  FixedPoint start{};  // source position of the destination's first pixel
  MaskThresholds thresholds;
  std::int32_t blend = 255;
  Palette palette;
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


// What a sampler yields: the mask value and the colour as packed bytes; a
// transparent sample has m 0 and no colour.
struct Sample {
  std::int32_t m = 0;
  std::uint32_t c = 0;
};

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
  if constexpr (kVector && std::is_same_v<Source, ExpandedSource<4>>) {
    return BlendPairs(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(c)),
                      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(c + cRow)), w);
  }
  if constexpr (kVector && std::is_same_v<Source, Indexed8Source>) {
    const auto colour = [&](const std::uint8_t* q) {
      return _mm_cvtsi32_si128(static_cast<int>(pal.bgr[*q]));
    };
    return BlendPairs(_mm_unpacklo_epi32(colour(c), colour(c + 1)),
                      _mm_unpacklo_epi32(colour(c + cRow), colour(c + cRow + 1)), w);
  }
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
VX_PIXEL_INLINE Sample Blend4(const typename Source::Table& pal, const std::uint8_t* m,
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
inline std::uintptr_t PrefetchDistance(const MappingVectors& v, std::ptrdiff_t row,
                                       std::int32_t step) {
  return static_cast<std::uintptr_t>(
      (std::int64_t{v.rowStepY} * row + std::int64_t{v.rowStepX} * step) * kPrefetchRows / 256);
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
// columns and rows short of the views the left/top tap must stay. kMaskStep:
// the mask's bytes per pixel when known (1, packed), else 0.

// What both samplers keep of the job: the two views, their row and pixel
// steps, and how far ahead to prefetch.
template <class Source, std::int32_t kMaskStep>
class SamplerViews {
 protected:
  explicit SamplerViews(const RotateLoopJob& job)
      : mask_(job.mask), colour_(job.colour), width_(job.maskWidth), palette_(job.palette),
        mTop_(job.mask.base + job.mask.topOffset), cTop_(job.colour.base + job.colour.topOffset),
        mRow_(static_cast<std::ptrdiff_t>(job.mask.rowStep)),
        cRow_(static_cast<std::ptrdiff_t>(job.colour.rowStep)),
        mStep_(StepOf<kMaskStep>(job.mask.bytesPerPixel)),
        cStep_(StepOf<Source::kStep>(job.colour.bytesPerPixel)),
        ahead_(PrefetchDistance(job.steps, cRow_, cStep_)),
        maskAhead_(PrefetchDistance(job.steps, mRow_, mStep_)) {}

  ByteWindow mask_, colour_;
  std::int32_t width_;
  typename Source::Table palette_;
  const std::uint8_t* mTop_;
  const std::uint8_t* cTop_;
  std::ptrdiff_t mRow_, cRow_;
  std::int32_t mStep_, cStep_;
  std::uintptr_t ahead_, maskAhead_;
};

template <class Source, std::int32_t kMaskStep>
class NearestSampler : SamplerViews<Source, kMaskStep> {
  using Views = SamplerViews<Source, kMaskStep>;
  using Views::mask_, Views::colour_, Views::width_, Views::palette_, Views::mTop_,
      Views::cTop_, Views::mRow_, Views::cRow_, Views::mStep_, Views::cStep_, Views::ahead_,
      Views::maskAhead_;

 public:
  static constexpr std::int32_t kColumnsLess = 0, kRowsLess = 0;

  explicit NearestSampler(const RotateLoopJob& job) : Views(job) {}

  Sample operator()(std::int32_t x, std::int32_t y) const {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    if (ix < 0 || ix >= width_) return {};
    const std::int64_t m = TapOffset(mask_, ix, iy);
    if (m < 0) return {};
    const std::int64_t c = TapOffset(colour_, ix, iy, Source::kSpan);
    if (c < 0) return {};
    return {mask_.base[m], Source::LoadBgr(palette_, colour_.base + c)};
  }

  VX_PIXEL_INLINE Sample Inside(std::int32_t x, std::int32_t y) const {
    const std::ptrdiff_t ix = x >> 8, iy = y >> 8;
    const std::uint8_t* m = mTop_ + iy * mRow_ + ix * StepOf<kMaskStep>(mStep_);
    const std::uint8_t* p = cTop_ + iy * cRow_ + ix * StepOf<Source::kStep>(cStep_);
    PrefetchAhead(m, maskAhead_);
    PrefetchAhead(p, ahead_);
    return {*m, Source::LoadBgr(palette_, p)};
  }

  // The colour alone, where the walk knows the mask to be opaque.
  VX_PIXEL_INLINE std::uint32_t InsideColour(std::int32_t x, std::int32_t y) const {
    const std::ptrdiff_t ix = x >> 8, iy = y >> 8;
    const std::uint8_t* p = cTop_ + iy * cRow_ + ix * StepOf<Source::kStep>(cStep_);
    PrefetchAhead(p, ahead_);
    return Source::LoadBgr(palette_, p);
  }

};

template <class Source, std::int32_t kMaskStep>
class BilinearSampler : SamplerViews<Source, kMaskStep> {
  using Views = SamplerViews<Source, kMaskStep>;
  using Views::mask_, Views::colour_, Views::width_, Views::palette_, Views::mTop_,
      Views::cTop_, Views::mRow_, Views::cRow_, Views::mStep_, Views::cStep_, Views::ahead_,
      Views::maskAhead_;

 public:
  static constexpr std::int32_t kColumnsLess = 1, kRowsLess = 1;

  explicit BilinearSampler(const RotateLoopJob& job) : Views(job) {}

  Sample operator()(std::int32_t x, std::int32_t y) const {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    // The right neighbour must exist: the last column is never a left tap.
    if (ix < 0 || ix >= width_ - 1) return {};
    const std::int64_t m = QuadOffset(mask_, ix, iy);
    if (m < 0) return {};
    const std::int64_t c = QuadOffset(colour_, ix, iy, Source::kSpan);
    if (c < 0) return {};
    return Blend4<Source, 0, false>(palette_, mask_.base + m, mRow_, mask_.bytesPerPixel,
                          colour_.base + c, cRow_, colour_.bytesPerPixel,
                          BilinearWeights(x - (ix << 8), y - (iy << 8)));
  }

  VX_PIXEL_INLINE Sample Inside(std::int32_t x, std::int32_t y) const {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    const std::int32_t ms = StepOf<kMaskStep>(mStep_), cs = StepOf<Source::kStep>(cStep_);
    const std::uint8_t* m = mTop_ + iy * mRow_ + std::ptrdiff_t{ix} * ms;
    const std::uint8_t* p = cTop_ + iy * cRow_ + std::ptrdiff_t{ix} * cs;
    PrefetchAhead(m, maskAhead_);
    PrefetchAhead(p, ahead_);
    return Blend4<Source, kMaskStep>(palette_, m, mRow_, ms, p, cRow_, cs,
                                     BilinearWeights(x - (ix << 8), y - (iy << 8)));
  }

  // The colour alone, where the walk knows all four mask taps opaque.
  VX_PIXEL_INLINE std::uint32_t InsideColour(std::int32_t x, std::int32_t y) const {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    const std::int32_t cs = StepOf<Source::kStep>(cStep_);
    const std::uint8_t* p = cTop_ + iy * cRow_ + std::ptrdiff_t{ix} * cs;
    PrefetchAhead(p, ahead_);
    return Blend4Colour<Source>(palette_, p, cRow_, cs,
                                BilinearWeights(x - (ix << 8), y - (iy << 8)));
  }

};

// --- Destination side.

// `Render`: the threshold rule through the mask value of the sample.
template <class Fmt, bool kFull>
class CompositeSink {
 public:
  explicit CompositeSink(const RotateLoopJob& job)
      : dest_(job.destination),
        palette_(job.palette),
        step_(Fmt::kStep != 0 ? Fmt::kStep : job.destination.step),
        lower_(job.thresholds.lower),
        upper_(job.thresholds.upper),
        blend_(job.blend),
        opaqueWeight_((255 * job.blend) >> 8) {}

  void BeginRow(std::int32_t y) { row_ = dest_.Row(y); }

  // Transparent samples leave the pixel alone unless the lower threshold
  // lets a zero mask through (it then blends with weight 0).
  bool SkipsTransparent() const { return lower_ >= 0; }

  // Whether PutOpaque may stand for Put of a sample whose mask is 255.
  bool TakesOpaque() const { return lower_ < 255 && (!kFull || upper_ <= 255); }

  VX_PIXEL_INLINE void PutOpaque(std::int32_t x, std::uint32_t c) {
    std::uint8_t* d = row_ + static_cast<std::ptrdiff_t>(x) * StepOf<Fmt::kStep>(step_);
    if constexpr (kFull)
      StoreColour<Fmt>(palette_, d, c);
    else
      Fmt::Blend(palette_, d, ToColour<Fmt>(c), opaqueWeight_);
  }

  VX_PIXEL_INLINE void Put(std::int32_t x, const Sample& s) {
    if (s.m <= lower_) return;
    std::uint8_t* d = row_ + static_cast<std::ptrdiff_t>(x) * StepOf<Fmt::kStep>(step_);
    if constexpr (kFull) {
      if (s.m >= upper_)
        StoreColour<Fmt>(palette_, d, s.c);
      else
        Fmt::Blend(palette_, d, ToColour<Fmt>(s.c), s.m);
    } else {
      Fmt::Blend(palette_, d, ToColour<Fmt>(s.c), (s.m * blend_) >> 8);
    }
  }

 private:
  ViewWalk dest_;
  Palette palette_;
  std::int32_t step_, lower_, upper_, blend_, opaqueWeight_;
  std::uint8_t* row_ = nullptr;
};

// `RenderWithAlpha`: the mask value always, the colour unblended above the
// lower threshold, as blue, green, red bytes of the expanded destination.
class AlphaSink {
 public:
  explicit AlphaSink(const RotateLoopJob& job)
      : colour_(job.destination), alpha_(job.alpha), lower_(job.thresholds.lower) {}

  void BeginRow(std::int32_t y) {
    colourRow_ = colour_.Row(y);
    alphaRow_ = alpha_.Row(y);
  }

  bool SkipsTransparent() const { return false; }

  bool TakesOpaque() const { return lower_ < 255; }

  VX_PIXEL_INLINE void PutOpaque(std::int32_t x, std::uint32_t c) {
    alphaRow_[static_cast<std::ptrdiff_t>(x) * alpha_.step] = 255;
    std::uint8_t* d = colourRow_ + static_cast<std::ptrdiff_t>(x) * colour_.step;
    d[0] = static_cast<std::uint8_t>(c);
    d[1] = static_cast<std::uint8_t>(c >> 8);
    d[2] = static_cast<std::uint8_t>(c >> 16);
  }

  VX_PIXEL_INLINE void Put(std::int32_t x, const Sample& s) {
    alphaRow_[static_cast<std::ptrdiff_t>(x) * alpha_.step] = static_cast<std::uint8_t>(s.m);
    if (s.m <= lower_) return;
    std::uint8_t* d = colourRow_ + static_cast<std::ptrdiff_t>(x) * colour_.step;
    d[0] = static_cast<std::uint8_t>(s.c);
    d[1] = static_cast<std::uint8_t>(s.c >> 8);
    d[2] = static_cast<std::uint8_t>(s.c >> 16);
  }

 private:
  ViewWalk colour_, alpha_;
  std::int32_t lower_;
  std::uint8_t* colourRow_ = nullptr;
  std::uint8_t* alphaRow_ = nullptr;
};

// The walk with every tap tested. Positions advance in unsigned arithmetic:
// far outside the source they may wrap, which the samplers' bounds tests
// absorb.
template <class Source, template <class, std::int32_t> class Sampler, std::int32_t kMaskStep,
          class Sink>
void RotateLoop(const RotateLoopJob& job) {
  const Sampler<Source, kMaskStep> sample(job);
  Sink sink(job);
  const auto colX = static_cast<std::uint32_t>(job.steps.colStepX);
  const auto colY = static_cast<std::uint32_t>(job.steps.colStepY);
  const auto rowX = static_cast<std::uint32_t>(job.steps.rowStepX);
  const auto rowY = static_cast<std::uint32_t>(job.steps.rowStepY);
  auto startX = static_cast<std::uint32_t>(job.start.x);
  auto startY = static_cast<std::uint32_t>(job.start.y);
  const std::int32_t width = job.destination.width;
  for (std::int32_t y = 0; y < job.destination.height; ++y) {
    sink.BeginRow(y);
    std::uint32_t px = startX, py = startY;
    for (std::int32_t x = 0; x < width; ++x) {
      sink.Put(x, sample(static_cast<std::int32_t>(px), static_cast<std::int32_t>(py)));
      px += colX;
      py += colY;
    }
    startX += rowX;
    startY += rowY;
  }
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

// A rectangle of 255 bytes among the first `columns` bytes of rows
// [0, rows) of a packed mask whose window `TapArea` accepted: the run of
// 255 through the middle column of the middle row, grown a row at a time
// while its area grows. False when the middle byte is not 255.
bool OpaqueArea(const ByteWindow& mask, std::int32_t columns, std::int32_t rows, OpaqueBox* box);

// Destination columns walked together: a block's rows touch a narrow band
// of the turned source, which stays in cache from one row to the next.
inline constexpr std::int32_t kColumnBlock = 128;
// Rows whose spans are worked out together, before their blocks are walked.
inline constexpr std::int32_t kRowChunk = 64;

// Pixels [x, end) of one row, every tap inside the views: sampled and put
// through the mask, or (kOpaque) known to sample an opaque mask and stored
// by colour alone.
template <bool kOpaque, class S, class Sink>
VX_PIXEL_INLINE void WalkInside(const S& sample, Sink& sink, std::int32_t x, std::int32_t end,
                                std::uint32_t px, std::uint32_t py, std::uint32_t colX,
                                std::uint32_t colY) {
  for (; x < end; ++x) {
    if constexpr (kOpaque)
      sink.PutOpaque(x, sample.InsideColour(static_cast<std::int32_t>(px),
                                            static_cast<std::int32_t>(py)));
    else
      sink.Put(x, sample.Inside(static_cast<std::int32_t>(px), static_cast<std::int32_t>(py)));
    px += colX;
    py += colY;
  }
}

// The walk with each row cut into transparent ends and a span whose taps all
// lie inside [0, columns) x [0, rows) of the views, in blocks of columns.
// Where the mask has a rectangle of 255 and the sink knows what an opaque
// sample does, the part of the span whose taps all fall in it is written
// without reading the mask.
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
  const S sample(job);
  Sink sink(job);
  const std::int64_t hiX = std::int64_t{256} * (columns - S::kColumnsLess);
  const std::int64_t hiY = std::int64_t{256} * (rows - S::kRowsLess);
  // Left/top taps inside `opaque` less the columns and rows the other taps
  // need put every tap on a 255 byte.
  OpaqueBox opaque{};
  const bool hasOpaque = kMaskStep == 1 && sink.TakesOpaque() &&
                    OpaqueArea(job.mask, columns, rows, &opaque) &&
                    opaque.right - S::kColumnsLess > opaque.left &&
                    opaque.bottom - S::kRowsLess > opaque.top;
  const std::int64_t loOpaqueX = std::int64_t{256} * opaque.left;
  const std::int64_t hiOpaqueX = std::int64_t{256} * (opaque.right - S::kColumnsLess);
  const std::int64_t loOpaqueY = std::int64_t{256} * opaque.top;
  const std::int64_t hiOpaqueY = std::int64_t{256} * (opaque.bottom - S::kRowsLess);
  const auto colX = static_cast<std::uint32_t>(job.steps.colStepX);
  const auto colY = static_cast<std::uint32_t>(job.steps.colStepY);
  const auto rowX = static_cast<std::uint32_t>(job.steps.rowStepX);
  const auto rowY = static_cast<std::uint32_t>(job.steps.rowStepY);
  const std::int32_t width = job.destination.width;
  const bool skipEnds = sink.SkipsTransparent();
  const std::int32_t height = job.destination.height;
  // Each row's span and opaque part, over the whole row, for a chunk of
  // rows at a time; the column blocks then only cut them.
  std::int32_t spanFirst[kRowChunk], spanLast[kRowChunk], opaqueFirst[kRowChunk],
      opaqueLast[kRowChunk];
  auto chunkX = static_cast<std::uint32_t>(job.start.x);
  auto chunkY = static_cast<std::uint32_t>(job.start.y);
  for (std::int32_t y0 = 0; y0 < height; y0 += kRowChunk) {
    const std::int32_t rowsHere = height - y0 < kRowChunk ? height - y0 : kRowChunk;
    std::uint32_t rx = chunkX, ry = chunkY;
    for (std::int32_t r = 0; r < rowsHere; ++r, rx += rowX, ry += rowY) {
      std::int64_t first = 0, last = width;
      ClipLinear(static_cast<std::int32_t>(rx), job.steps.colStepX, 0, hiX, &first, &last);
      ClipLinear(static_cast<std::int32_t>(ry), job.steps.colStepY, 0, hiY, &first, &last);
      // An empty span may have its ends anywhere; the whole row is then
      // transparent.
      if (last <= first) first = last = 0;
      std::int64_t o0 = first, o1 = hasOpaque ? last : first;
      if (hasOpaque) {
        ClipLinear(static_cast<std::int32_t>(rx), job.steps.colStepX, loOpaqueX, hiOpaqueX, &o0,
                   &o1);
        ClipLinear(static_cast<std::int32_t>(ry), job.steps.colStepY, loOpaqueY, hiOpaqueY, &o0,
                   &o1);
      }
      if (o1 <= o0) o0 = o1 = first;
      spanFirst[r] = static_cast<std::int32_t>(first);
      spanLast[r] = static_cast<std::int32_t>(last);
      opaqueFirst[r] = static_cast<std::int32_t>(o0);
      opaqueLast[r] = static_cast<std::int32_t>(o1);
    }
    const auto clamp = [](std::int32_t v, std::int32_t lo, std::int32_t hi) {
      return v < lo ? lo : v > hi ? hi : v;
    };
    for (std::int32_t bx = 0; bx < width; bx += kColumnBlock) {
      const std::int32_t bEnd = width - bx < kColumnBlock ? width : bx + kColumnBlock;
      std::uint32_t startX = chunkX + static_cast<std::uint32_t>(bx) * colX;
      std::uint32_t startY = chunkY + static_cast<std::uint32_t>(bx) * colY;
      for (std::int32_t r = 0; r < rowsHere; ++r, startX += rowX, startY += rowY) {
        sink.BeginRow(y0 + r);
        const std::int32_t x0 = clamp(spanFirst[r], bx, bEnd), x1 = clamp(spanLast[r], x0, bEnd);
        const std::int32_t o0 = clamp(opaqueFirst[r], x0, x1), o1 = clamp(opaqueLast[r], o0, x1);
        if (!skipEnds)
          for (std::int32_t x = bx; x < x0; ++x) sink.Put(x, Sample{});
        // Positions of column x of this block's row.
        const auto atX = [&](std::int32_t x) {
          return startX + static_cast<std::uint32_t>(x - bx) * colX;
        };
        const auto atY = [&](std::int32_t x) {
          return startY + static_cast<std::uint32_t>(x - bx) * colY;
        };
        WalkInside<false>(sample, sink, x0, o0, atX(x0), atY(x0), colX, colY);
        WalkInside<true>(sample, sink, o0, o1, atX(o0), atY(o0), colX, colY);
        WalkInside<false>(sample, sink, o1, x1, atX(o1), atY(o1), colX, colY);
        if (!skipEnds)
          for (std::int32_t x = x1; x < bEnd; ++x) sink.Put(x, Sample{});
      }
    }
    chunkX += static_cast<std::uint32_t>(rowsHere) * rowX;
    chunkY += static_cast<std::uint32_t>(rowsHere) * rowY;
  }
}

}  // namespace rotate_detail
}  // namespace vx
