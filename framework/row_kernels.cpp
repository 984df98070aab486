#include "framework/row_kernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(VX_ROWS_X86)
#include <cpuid.h>
#include <emmintrin.h>
#endif

namespace vx {
namespace row_detail {

void BlendBgrxPlain(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i, d += 4) {
    const std::int32_t k = static_cast<std::int32_t>(cw[i] >> 24);
    for (int b = 0; b < 3; ++b) {
      const auto c = static_cast<std::int32_t>((cw[i] >> (8 * b)) & 255);
      d[b] = static_cast<std::uint8_t>(d[b] + (((c - d[b]) * k) >> 8));
    }
  }
}

namespace {

// n 5-5-5 words moved toward colour(i) by weight(i) each, bit 15 cleared.
template <class Colour, class Weight>
inline void Blend555WordsPlain(std::uint8_t* d, std::int32_t n, Colour colour, Weight weight) {
  for (std::int32_t i = 0; i < n; ++i, d += 2) {
    std::uint16_t o;
    std::memcpy(&o, d, 2);
    const std::uint32_t c = colour(i);
    const std::int32_t k = weight(i);
    std::int32_t out = 0;
    for (int shift = 0; shift <= 10; shift += 5) {
      const std::int32_t from = (o >> shift) & 31;
      const auto to = static_cast<std::int32_t>((c >> shift) & 31);
      out |= (from + (((to - from) * k) >> 8)) << shift;
    }
    const auto packed = static_cast<std::uint16_t>(out);
    std::memcpy(d, &packed, 2);
  }
}

// A mask byte's weight: (m x scale) >> 8, or 256 (the colour whole) at or
// above `upper`.
std::int32_t MaskWeight(std::int32_t m, std::int32_t scale, std::int32_t upper) {
  return m >= upper ? 256 : (m * scale) >> 8;
}

std::uint32_t Word(const std::uint8_t* c) {
  std::uint16_t w;
  std::memcpy(&w, c, 2);
  return w;
}

}  // namespace

void Blend555Plain(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n) {
  Blend555WordsPlain(
      d, n, [cw](std::int32_t i) { return cw[i]; },
      [cw](std::int32_t i) { return static_cast<std::int32_t>((cw[i] >> 16) & 255); });
}

void Blend555MaskedPlain(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                         std::int32_t scale, std::int32_t upper, std::int32_t n) {
  Blend555WordsPlain(
      d, n, [c](std::int32_t i) { return Word(c + 2 * i); },
      [m, scale, upper](std::int32_t i) { return MaskWeight(m[i], scale, upper); });
}

void Blend555UniformPlain(std::uint8_t* d, const std::uint8_t* c, std::int32_t k, std::int32_t n) {
  Blend555WordsPlain(
      d, n, [c](std::int32_t i) { return Word(c + 2 * i); }, [k](std::int32_t) { return k; });
}

namespace {

// n four-byte pixels moved toward `c` by weight(i) each.
template <class Weight>
inline void BlendPixelsPlain(std::uint8_t* d, const std::uint8_t* c, std::int32_t n, Weight weight) {
  for (std::int32_t i = 0; i < n; ++i, d += 4, c += 4) {
    const std::int32_t k = weight(i);
    for (int b = 0; b < 3; ++b) d[b] = static_cast<std::uint8_t>(d[b] + (((c[b] - d[b]) * k) >> 8));
  }
}

}  // namespace

void BlendBgrxMaskedPlain(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                          std::int32_t scale, std::int32_t upper, std::int32_t n) {
  BlendPixelsPlain(d, c, n,
                   [m, scale, upper](std::int32_t i) { return MaskWeight(m[i], scale, upper); });
}

void BlendBgrxUniformPlain(std::uint8_t* d, const std::uint8_t* c, std::int32_t k, std::int32_t n) {
  BlendPixelsPlain(d, c, n, [k](std::int32_t) { return k; });
}

#if defined(VX_ROWS_X86)
// The vector kernels compute d + (((c - d) x k) >> 8) as
// (d x (256 - k) + c x k) >> 8: the same integer (d x 256 is a multiple of
// 256), with every term and the sum (at most 255 x 256) inside an unsigned
// 16-bit lane.

namespace {

// Four four-byte pixels `to` moved toward `from` by the weights w (one per
// 32-bit lane, 0-256).
inline __m128i BlendFourSse2(__m128i to, __m128i from, __m128i w) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi16(256);
  const auto mix = [&](__m128i t, __m128i f, __m128i k) {
    return _mm_srli_epi16(
        _mm_add_epi16(_mm_mullo_epi16(t, _mm_sub_epi16(full, k)), _mm_mullo_epi16(f, k)), 8);
  };
  // Each weight into the 16-bit lanes of bytes 0-2 of its unpacked pixel
  // (words w 0 w 0 of a pair of pixels picked as w w w 0); byte 3 weighs 0,
  // so `from`'s byte 3 counts for nothing and `to`'s stays.
  const auto spread = [](__m128i pair) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(pair, _MM_SHUFFLE(1, 0, 0, 0)),
                               _MM_SHUFFLE(1, 0, 0, 0));
  };
  const __m128i low = mix(_mm_unpacklo_epi8(to, zero), _mm_unpacklo_epi8(from, zero),
                          spread(_mm_unpacklo_epi32(w, w)));
  const __m128i high = mix(_mm_unpackhi_epi8(to, zero), _mm_unpackhi_epi8(from, zero),
                           spread(_mm_unpackhi_epi32(w, w)));
  return _mm_packus_epi16(low, high);
}

}  // namespace

void BlendBgrxSse2(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n) {
  std::int32_t i = 0;
  for (; i + 4 <= n; i += 4, d += 16) {
    const __m128i from = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cw + i));
    const __m128i to = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                     BlendFourSse2(to, from, _mm_srli_epi32(from, 24)));
  }
  BlendBgrxPlain(d, cw + i, n - i);
}

namespace {

// Four pixels at a time, the weights for pixels i to i + 3 from weights(i);
// the rest by the plain rule.
template <class Weights, class Tail>
inline void BlendPixelsSse2(std::uint8_t* d, const std::uint8_t* c, std::int32_t n,
                            Weights weights, Tail tail) {
  std::int32_t i = 0;
  for (; i + 4 <= n; i += 4, d += 16, c += 16) {
    const __m128i from = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    const __m128i to = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), BlendFourSse2(to, from, weights(i)));
  }
  tail(d, c, i);
}

}  // namespace

void BlendBgrxMaskedSse2(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                         std::int32_t scale, std::int32_t upper, std::int32_t n) {
  const __m128i zero = _mm_setzero_si128();
  // Mask byte x scale fits the low 16 bits of each lane (at most 255 x 256).
  const __m128i by = _mm_set1_epi32(scale);
  const __m128i below = _mm_set1_epi32(upper - 1), whole = _mm_set1_epi32(256);
  BlendPixelsSse2(
      d, c, n,
      [&](std::int32_t i) {
        std::int32_t four;
        std::memcpy(&four, m + i, 4);
        const __m128i bytes =
            _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(four), zero), zero);
        const __m128i take = _mm_cmpgt_epi32(bytes, below);
        return _mm_or_si128(_mm_and_si128(take, whole),
                            _mm_andnot_si128(take, _mm_srli_epi32(_mm_mullo_epi16(bytes, by), 8)));
      },
      [&](std::uint8_t* dt, const std::uint8_t* ct, std::int32_t i) {
        BlendBgrxMaskedPlain(dt, ct, m + i, scale, upper, n - i);
      });
}

void BlendBgrxUniformSse2(std::uint8_t* d, const std::uint8_t* c, std::int32_t k, std::int32_t n) {
  const __m128i w = _mm_set1_epi32(k);
  BlendPixelsSse2(
      d, c, n, [w](std::int32_t) { return w; },
      [&](std::uint8_t* dt, const std::uint8_t* ct, std::int32_t i) {
        BlendBgrxUniformPlain(dt, ct, k, n - i);
      });
}

namespace {

// Eight 5-5-5 words `to` moved toward `from` by the weights k (16-bit
// lanes, 0-256).
inline __m128i BlendEight555Sse2(__m128i to, __m128i from, __m128i k) {
  const __m128i field = _mm_set1_epi16(31);
  const __m128i rest = _mm_sub_epi16(_mm_set1_epi16(256), k);
  const auto blend = [&](int shift) {
    const __m128i t = _mm_and_si128(_mm_srli_epi16(to, shift), field);
    const __m128i f = _mm_and_si128(_mm_srli_epi16(from, shift), field);
    return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(t, rest), _mm_mullo_epi16(f, k)), 8);
  };
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(blend(10), 10), _mm_slli_epi16(blend(5), 5)),
                      blend(0));
}

// Eight words at a time, the weights for words i to i + 7 from weights(i);
// the rest by `tail`.
template <class Weights, class Tail>
inline void Blend555WordsSse2(std::uint8_t* d, const std::uint8_t* c, std::int32_t n,
                              Weights weights, Tail tail) {
  std::int32_t i = 0;
  for (; i + 8 <= n; i += 8, d += 16, c += 16) {
    const __m128i from = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    const __m128i to = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), BlendEight555Sse2(to, from, weights(i)));
  }
  tail(d, c, i);
}

}  // namespace

void Blend555Sse2(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n) {
  const __m128i byte = _mm_set1_epi32(255);
  // The low halves of two vectors of words, exactly (sign extension and
  // signed packing give back the same 16 bits).
  const auto lows = [](__m128i a, __m128i b) {
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16),
                           _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
  };
  std::int32_t i = 0;
  for (; i + 8 <= n; i += 8, d += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cw + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cw + i + 4));
    const __m128i k = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(a, 16), byte),
                                      _mm_and_si128(_mm_srli_epi32(b, 16), byte));
    const __m128i to = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), BlendEight555Sse2(to, lows(a, b), k));
  }
  Blend555Plain(d, cw + i, n - i);
}

void Blend555MaskedSse2(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                        std::int32_t scale, std::int32_t upper, std::int32_t n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i by = _mm_set1_epi16(static_cast<short>(scale));
  const __m128i below = _mm_set1_epi16(static_cast<short>(upper - 1));
  const __m128i whole = _mm_set1_epi16(256);
  Blend555WordsSse2(
      d, c, n,
      [&](std::int32_t i) {
        const __m128i bytes =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m + i)), zero);
        const __m128i take = _mm_cmpgt_epi16(bytes, below);
        // At most 255 x 256: the low 16 bits of the product hold it.
        return _mm_or_si128(_mm_and_si128(take, whole),
                            _mm_andnot_si128(take, _mm_srli_epi16(_mm_mullo_epi16(bytes, by), 8)));
      },
      [&](std::uint8_t* dt, const std::uint8_t* ct, std::int32_t i) {
        Blend555MaskedPlain(dt, ct, m + i, scale, upper, n - i);
      });
}

void Blend555UniformSse2(std::uint8_t* d, const std::uint8_t* c, std::int32_t k, std::int32_t n) {
  const __m128i w = _mm_set1_epi16(static_cast<short>(k));
  Blend555WordsSse2(
      d, c, n, [w](std::int32_t) { return w; },
      [&](std::uint8_t* dt, const std::uint8_t* ct, std::int32_t i) {
        Blend555UniformPlain(dt, ct, k, n - i);
      });
}

bool CpuHasAvx2() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  // The processor must have AVX and the system must save its registers.
  if (!(c & bit_OSXSAVE) || !(c & bit_AVX)) return false;
  unsigned lo = 0, hi = 0;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  if ((lo & 6) != 6) return false;
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  __cpuid_count(7, 0, a, b, c, d);
  return (b & bit_AVX2) != 0;
}
#endif

RowVariant PickVariant(const char* request, bool (*supported)(RowVariant)) {
  int want = static_cast<int>(RowVariant::kAvx2);
  if (request) {
    for (int v = 0; v <= want; ++v)
      if (std::strcmp(request, RowVariantName(static_cast<RowVariant>(v))) == 0) {
        want = v;
        break;
      }
  }
  for (int v = want; v > 0; --v)
    if (supported(static_cast<RowVariant>(v))) return static_cast<RowVariant>(v);
  return RowVariant::kPlain;
}

}  // namespace row_detail

namespace {

using namespace row_detail;

constexpr RowKernels kPlain{RowVariant::kPlain, &BlendBgrxPlain, &Blend555Plain,
                            &BlendBgrxMaskedPlain, &BlendBgrxUniformPlain,
                            &Blend555MaskedPlain, &Blend555UniformPlain};
#if defined(VX_ROWS_X86)
constexpr RowKernels kSse2{RowVariant::kSse2, &BlendBgrxSse2, &Blend555Sse2,
                           &BlendBgrxMaskedSse2, &BlendBgrxUniformSse2,
                           &Blend555MaskedSse2, &Blend555UniformSse2};
constexpr RowKernels kAvx2{RowVariant::kAvx2, &BlendBgrxAvx2, &Blend555Avx2,
                           &BlendBgrxMaskedAvx2, &BlendBgrxUniformAvx2,
                           &Blend555MaskedAvx2, &Blend555UniformAvx2};
#endif

const RowKernels* TableOf(RowVariant v) {
#if defined(VX_ROWS_X86)
  if (v == RowVariant::kAvx2) return &kAvx2;
  if (v == RowVariant::kSse2) return &kSse2;
#else
  (void)v;
#endif
  return &kPlain;
}

std::atomic<const RowKernels*> active{nullptr};

}  // namespace

bool RowsSupported(RowVariant v) {
  switch (v) {
    case RowVariant::kPlain:
      return true;
#if defined(VX_ROWS_X86)
    case RowVariant::kSse2:
      return true;
    case RowVariant::kAvx2: {
      static const bool has = CpuHasAvx2();
      return has;
    }
#endif
    default:
      return false;
  }
}

const RowKernels& Rows() {
  const RowKernels* t = active.load(std::memory_order_acquire);
  if (!t) {
    // Two threads arriving together pick the same table.
    t = TableOf(PickVariant(std::getenv("VORNIX_ROWS"), &RowsSupported));
    active.store(t, std::memory_order_release);
  }
  return *t;
}

bool UseRows(RowVariant v) {
  if (!RowsSupported(v)) return false;
  active.store(TableOf(v), std::memory_order_release);
  return true;
}

const char* RowVariantName(RowVariant v) {
  switch (v) {
    case RowVariant::kSse2: return "sse2";
    case RowVariant::kAvx2: return "avx2";
    default: return "plain";
  }
}

}  // namespace vx
