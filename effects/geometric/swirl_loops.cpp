#include "effects/geometric/swirl_loops.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "effects/geometric/clamped_loops.h"

namespace vx {
namespace {

using geometric_detail::HeldBlend4;
using geometric_detail::kReadsPalette;
using geometric_detail::PaletteComplete;

#if defined(__SSE2__)
// The four colour taps of a bilinear sample at `p` as two vectors of 16-bit
// lanes: the left taps' (top, below) pairs of blue, green, red and fourth
// byte, then the right taps', ready to be multiply-added by (top weight,
// below weight). Sources without such a form sample pixel by pixel.
template <class Source>
VX_PIXEL_INLINE void TapWords(const typename Source::Table& t, const std::uint8_t* p,
                              std::ptrdiff_t row, __m128i* left, __m128i* right) {
  const __m128i zero = _mm_setzero_si128();
  if constexpr (std::is_same_v<Source, Rgb555Source>) {
    std::uint32_t top, below;
    std::memcpy(&top, p, 4);
    std::memcpy(&below, p + row, 4);
    // Words (left top, left below, right top, right below), split into
    // fields, each pair of a tap then a 32-bit lane.
    const __m128i v = _mm_unpacklo_epi16(_mm_cvtsi32_si128(static_cast<int>(top)),
                                         _mm_cvtsi32_si128(static_cast<int>(below)));
    const __m128i field = _mm_set1_epi16(31);
    const __m128i blueGreen = _mm_unpacklo_epi32(_mm_and_si128(v, field),
                                                 _mm_and_si128(_mm_srli_epi16(v, 5), field));
    const __m128i red = _mm_unpacklo_epi32(_mm_and_si128(_mm_srli_epi16(v, 10), field), zero);
    *left = _mm_unpacklo_epi64(blueGreen, red);
    *right = _mm_unpackhi_epi64(blueGreen, red);
  } else {
    __m128i top, below;
    if constexpr (std::is_same_v<Source, Indexed8Source>) {
      const auto pair = [&](const std::uint8_t* q) {
        return _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t.bgr[q[0]])),
                                  _mm_cvtsi32_si128(static_cast<int>(t.bgr[q[1]])));
      };
      top = pair(p);
      below = pair(p + row);
    } else {
      top = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
      below = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + row));
    }
    const __m128i both = _mm_unpacklo_epi8(top, below);
    *left = _mm_unpacklo_epi8(both, zero);
    *right = _mm_unpackhi_epi8(both, zero);
  }
}

template <class Source>
inline constexpr bool kTapWords = std::is_same_v<Source, ExpandedSource<4>> ||
                                  std::is_same_v<Source, Indexed8Source> ||
                                  std::is_same_v<Source, Rgb555Source>;
#endif

// The colour a sink takes: 5-5-5 destinations their own words (packed
// here four at a time), the others packed blue, green, red bytes.
template <class Sink>
struct SinkColour {
  using Type = std::uint32_t;
};
template <bool kFull>
struct SinkColour<CompositeSink<Rgb555, kFull>> {
  using Type = Rgb555::Colour;
};

template <class Colour>
VX_PIXEL_INLINE Colour ColourOf(std::uint32_t packed) {
  if constexpr (std::is_same_v<Colour, std::uint32_t>)
    return packed;
  else
    return ToColour<Rgb555>(packed);
}

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
        innerRows_(static_cast<std::uint32_t>(job.mask.height - (kBilinear ? 1 : 0))),
        narrow_(Narrow(job.mask.width) && Narrow(job.mask.height) &&
                Narrow(job.mask.rowStep) && Narrow(job.mask.step) &&
                Narrow(job.colour.rowStep) && Narrow(job.colour.step)) {}

  VX_PIXEL_INLINE PackedSample operator()(std::int32_t x, std::int32_t y) const {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    if (static_cast<std::uint32_t>(ix) < innerColumns_ &&
        static_cast<std::uint32_t>(iy) < innerRows_) {
      const std::int32_t m = *mask_.At(ix, iy);
      if (m <= lower_) return {};
      const std::int32_t step = StepOf<Source::kStep>(colour_.step);
      const std::uint8_t* p = colour_.top + iy * colour_.rowStep + std::ptrdiff_t{ix} * step;
      if constexpr (!kBilinear)
        return {m, Source::LoadBgr(table_, p)};
      else
        return {m, Blend4Colour<Source>(table_, p, colour_.rowStep, step,
                                        BilinearWeights(x & 255, y & 255))};
    }
    if constexpr (!kBilinear)
      return {};
    else
      return Edge(ix, iy, x & 255, y & 255);
  }

  // The samples at the positions (xs[i], ys[i]), i < n, as mask values and
  // colours. Groups of four whose taps all lie inside go without a test
  // per sample, their pixels' offsets multiply-added in 16-bit halves
  // (columns, rows and steps of the sprite within 16 bits) and bilinear
  // ones weighed four at a time where the source has TapWords. A mask byte
  // at or below the lower threshold there gives mask 0 and leaves the
  // colour as read (every sink passes over such a sample without reading
  // its colour).
  // The row variant in use (framework/row_kernels.h) picks the form: the
  // plain one samples pixel by pixel, the others in groups, compiled for
  // SSE2 or (VEX-coded, the same operations) for AVX2.
  template <class Colour>
  [[gnu::noinline]] void Run(const std::int32_t* xs, const std::int32_t* ys, std::int32_t n,
                             std::int32_t* ms, Colour* cs) const {
#if defined(VX_ROWS_X86)
    if constexpr (!kBilinear || kTapWords<Source>) {
      if (narrow_ && variant_ == RowVariant::kAvx2) return RunAvx2(xs, ys, n, ms, cs);
      if (narrow_ && variant_ == RowVariant::kSse2) return Groups(xs, ys, n, ms, cs);
    }
#endif
    for (std::int32_t i = 0; i < n; ++i) {
      const PackedSample s = (*this)(xs[i], ys[i]);
      ms[i] = s.mask;
      cs[i] = ColourOf<Colour>(s.colour);
    }
  }

 private:
#if defined(VX_ROWS_X86)
  template <class Colour>
  [[gnu::noinline, gnu::target("avx2")]] void RunAvx2(const std::int32_t* xs,
                                                      const std::int32_t* ys, std::int32_t n,
                                                      std::int32_t* ms, Colour* cs) const {
    Groups(xs, ys, n, ms, cs);
  }

  template <class Colour>
  VX_PIXEL_INLINE void Groups(const std::int32_t* xs, const std::int32_t* ys, std::int32_t n,
                              std::int32_t* ms, Colour* cs) const {
    std::int32_t i = 0;
    const std::uint8_t* const maskTop = mask_.top;
    const std::uint8_t* const colourTop = colour_.top;
    const std::ptrdiff_t colourRow = colour_.rowStep;
    const std::int32_t lower = lower_;
    const typename Source::Table& table = table_;
    const __m128i maskSteps = HalfPairs(mask_.step, mask_.rowStep);
    const __m128i colourSteps =
        HalfPairs(StepOf<Source::kStep>(colour_.step), colour_.rowStep);
    const __m128i columns = _mm_set1_epi32(static_cast<std::int32_t>(innerColumns_));
    const __m128i rows = _mm_set1_epi32(static_cast<std::int32_t>(innerRows_));
    const __m128i none = _mm_set1_epi32(-1);
    alignas(16) std::int32_t maskAt[4], colourAt[4];
    for (; i + 4 <= n; i += 4) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(xs + i));
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ys + i));
      const __m128i ix = _mm_srai_epi32(x, 8), iy = _mm_srai_epi32(y, 8);
      const __m128i inside = _mm_and_si128(
          _mm_and_si128(_mm_cmpgt_epi32(ix, none), _mm_cmpgt_epi32(columns, ix)),
          _mm_and_si128(_mm_cmpgt_epi32(iy, none), _mm_cmpgt_epi32(rows, iy)));
      if (_mm_movemask_ps(_mm_castsi128_ps(inside)) != 15) {
        for (std::int32_t k = i; k < i + 4; ++k) {
          const PackedSample s = (*this)(xs[k], ys[k]);
          ms[k] = s.mask;
          cs[k] = ColourOf<Colour>(s.colour);
        }
        continue;
      }
      const __m128i at = _mm_or_si128(ix, _mm_slli_epi32(iy, 16));
      _mm_store_si128(reinterpret_cast<__m128i*>(maskAt), _mm_madd_epi16(at, maskSteps));
      _mm_store_si128(reinterpret_cast<__m128i*>(colourAt), _mm_madd_epi16(at, colourSteps));
      const auto mask = [&](std::int32_t k) {
        const std::int32_t m = maskTop[maskAt[k]];
        return m > lower ? m : 0;
      };
      if constexpr (kBilinear) {
        ms[i] = mask(0);
        ms[i + 1] = mask(1);
        ms[i + 2] = mask(2);
        ms[i + 3] = mask(3);
        // Nothing of the four is drawn (the soft edge's outside).
        if ((ms[i] | ms[i + 1] | ms[i + 2] | ms[i + 3]) == 0 && lower >= 0) {
          for (std::int32_t k = i; k < i + 4; ++k) cs[k] = 0;
          continue;
        }
      }
      if constexpr (!kBilinear) {
        for (std::int32_t k = 0; k < 4; ++k) {
          ms[i + k] = mask(k);
          const std::uint8_t* p = colourTop + colourAt[k];
          if constexpr (std::is_same_v<Colour, std::uint16_t> &&
                        std::is_same_v<Source, Rgb555Source>)
            cs[i + k] = static_cast<std::uint16_t>(Load555(p) & 0x7FFF);
          else
            cs[i + k] = ColourOf<Colour>(Source::LoadBgr(table, p));
        }
      } else {
        // The weights as (top, below) pairs of the left and right taps.
        const Weights4 w = BilinearWeights4(x, y);
        const __m128i left = _mm_or_si128(w.w00, _mm_slli_epi32(w.w01, 16));
        const __m128i right = _mm_or_si128(w.w10, _mm_slli_epi32(w.w11, 16));
        const __m128i s0 = Weigh<0>(table, colourTop + colourAt[0], colourRow, left, right);
        const __m128i s1 = Weigh<1>(table, colourTop + colourAt[1], colourRow, left, right);
        const __m128i s2 = Weigh<2>(table, colourTop + colourAt[2], colourRow, left, right);
        const __m128i s3 = Weigh<3>(table, colourTop + colourAt[3], colourRow, left, right);
        const __m128i bytes =
            _mm_packus_epi16(_mm_packs_epi32(s0, s1), _mm_packs_epi32(s2, s3));
        if constexpr (std::is_same_v<Colour, std::uint16_t>) {
          // ToColour<Rgb555> four at a time.
          const __m128i red =
              _mm_and_si128(_mm_srli_epi32(bytes, 6), _mm_set1_epi32(0x7C00));
          const __m128i green =
              _mm_and_si128(_mm_srli_epi32(bytes, 3), _mm_set1_epi32(0x3E0));
          const __m128i blue = _mm_and_si128(bytes, _mm_set1_epi32(31));
          const __m128i words = _mm_or_si128(_mm_or_si128(red, green), blue);
          _mm_storel_epi64(reinterpret_cast<__m128i*>(cs + i),
                           _mm_packs_epi32(words, words));
        } else {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(cs + i),
                           _mm_and_si128(bytes, _mm_set1_epi32(0xFFFFFF)));
        }
      }
    }
    for (; i < n; ++i) {
      const PackedSample s = (*this)(xs[i], ys[i]);
      ms[i] = s.mask;
      cs[i] = ColourOf<Colour>(s.colour);
    }
  }
#endif

  static bool Narrow(std::int64_t v) { return v >= -32768 && v <= 32767; }

#if defined(VX_ROWS_X86)
  // (column step, row step) in the 16-bit halves of every lane, for a
  // multiply-add with (column, row).
  static __m128i HalfPairs(std::int64_t step, std::int64_t row) {
    return _mm_set1_epi32(static_cast<std::int32_t>((static_cast<std::uint32_t>(step) & 0xFFFFu) |
                                                    (static_cast<std::uint32_t>(row) << 16)));
  }

  // Sample k of a group whose taps all lie inside, its colour at `p`: the
  // weighed blue, green, red and fourth byte as 32-bit lanes.
  template <int k>
  VX_PIXEL_INLINE static __m128i Weigh(const typename Source::Table& table, const std::uint8_t* p,
                                       std::ptrdiff_t row, __m128i leftWeights,
                                       __m128i rightWeights) {
    __m128i left, right;
    TapWords<Source>(table, p, row, &left, &right);
    constexpr int kLane = k * 0x55;
    const __m128i sum =
        _mm_add_epi32(_mm_madd_epi16(left, _mm_shuffle_epi32(leftWeights, kLane)),
                      _mm_madd_epi16(right, _mm_shuffle_epi32(rightWeights, kLane)));
    return _mm_srli_epi32(sum, 8);
  }
#endif

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
  bool narrow_;
  RowVariant variant_ = Rows().variant;
};

// A row goes in batches of destination pixels: first all their positions
// (the mapping's serial float chain and table lookups on their own), then
// all their samples (no chain through them), then the sink.
constexpr std::int32_t kChunk = SwirlMapping::kBatch;
static_assert(kChunk <= composite_detail::kBatch, "a batch is one span for the sink");

// Kept out of line, like the sampling pass: each loop gets the registers to
// itself. Sinks with span forms take the batch as one span (mask values are
// bytes here).
template <class Sink, class Colour>
[[gnu::noinline]] void PutAll(Sink& sink, std::int32_t x0, const std::int32_t* ms,
                              const Colour* cs, std::int32_t n) {
  if constexpr (requires(const std::uint8_t* m) { sink.PutSpan(x0, cs, m, n); }) {
    std::uint8_t masks[kChunk];
    for (std::int32_t i = 0; i < n; ++i) masks[i] = static_cast<std::uint8_t>(ms[i]);
    sink.PutSpan(x0, cs, masks, n);
  } else {
    for (std::int32_t i = 0; i < n; ++i) sink.Put(x0 + i, Sample<Colour>{ms[i], cs[i]});
  }
}

template <class Sampler, class Sink>
void ChunkedWalk(std::int32_t width, std::int32_t height, SwirlMapping& map,
                 const Sampler& sample, Sink& sink) {
  alignas(16) std::int32_t xs[kChunk], ys[kChunk], ms[kChunk];
  // Colours of samples with nothing drawn stay as they were; a span sink
  // may weigh them by 0, so they start as values.
  alignas(16) typename SinkColour<Sink>::Type cs[kChunk] = {};
  for (std::int32_t y = 0; y < height; ++y) {
    sink.BeginRow(y);
    map.BeginRow(y);
    for (std::int32_t x0 = 0; x0 < width; x0 += kChunk) {
      const std::int32_t n = width - x0 < kChunk ? width - x0 : kChunk;
      map.Fill(xs, ys, n);
      sample.Run(xs, ys, n, ms, cs);
      PutAll(sink, x0, ms, cs, n);
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
