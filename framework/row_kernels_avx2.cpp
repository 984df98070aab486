// The AVX2 rows. Only these functions carry the AVX2 target, and they run
// only after the processor check (Rows()); nothing else in this file is
// compiled for AVX2, so no shared inline code can pick up its instructions.
#include "framework/row_kernels.h"

#if defined(VX_ROWS_X86)
#include <immintrin.h>

#include <cstring>

#define VX_AVX2 __attribute__((target("avx2")))

namespace vx::row_detail {
namespace {

// d + (((c - d) x k) >> 8) in signed 16-bit lanes, given k2 = 2k: (c - d) x
// 128 and 2k both fit a lane, and the high half of their product is the
// shifted term exactly (floor division by 256).
VX_AVX2 inline __m256i Mix(__m256i d, __m256i c, __m256i k2) {
  return _mm256_add_epi16(d, _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(c, d), 7), k2));
}

VX_AVX2 inline __m256i Field(__m256i v, int shift) {
  return _mm256_and_si256(_mm256_srl_epi16(v, _mm_cvtsi32_si128(shift)), _mm256_set1_epi16(31));
}

// Eight four-byte pixels `to` moved toward `from` by the weights w (one
// per 32-bit lane, 0-256). Unpacking and packing work within 128-bit
// halves, so the bytes come back in their places; each half's first two
// pixels unpack into `low`, the last two into `high`.
VX_AVX2 inline __m256i BlendEight(__m256i to, __m256i from, __m256i w) {
  const __m256i zero = _mm256_setzero_si256();
  // 2w into the 16-bit lanes of bytes 0-2 of each unpacked pixel; byte 3
  // weighs 0, so `from`'s byte 3 counts for nothing and `to`'s stays.
  const __m256i w2 = _mm256_slli_epi32(w, 1);
  const __m256i spreadLow = _mm256_setr_epi8(
      0, 1, 0, 1, 0, 1, -128, -128, 4, 5, 4, 5, 4, 5, -128, -128,
      0, 1, 0, 1, 0, 1, -128, -128, 4, 5, 4, 5, 4, 5, -128, -128);
  const __m256i spreadHigh = _mm256_setr_epi8(
      8, 9, 8, 9, 8, 9, -128, -128, 12, 13, 12, 13, 12, 13, -128, -128,
      8, 9, 8, 9, 8, 9, -128, -128, 12, 13, 12, 13, 12, 13, -128, -128);
  const __m256i low = Mix(_mm256_unpacklo_epi8(to, zero), _mm256_unpacklo_epi8(from, zero),
                          _mm256_shuffle_epi8(w2, spreadLow));
  const __m256i high = Mix(_mm256_unpackhi_epi8(to, zero), _mm256_unpackhi_epi8(from, zero),
                           _mm256_shuffle_epi8(w2, spreadHigh));
  return _mm256_packus_epi16(low, high);
}

}  // namespace

VX_AVX2 void BlendBgrxAvx2(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n) {
  std::int32_t i = 0;
  for (; i + 8 <= n; i += 8, d += 32) {
    const __m256i from = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cw + i));
    const __m256i to = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                        BlendEight(to, from, _mm256_srli_epi32(from, 24)));
  }
  BlendBgrxSse2(d, cw + i, n - i);
}

namespace {

// Eight pixels at a time, the weights for pixels i to i + 7 from
// weights(i); the rest by the SSE2 kernel `tail`.
template <class Weights, class Tail>
VX_AVX2 inline void BlendPixelsAvx2(std::uint8_t* d, const std::uint8_t* c, std::int32_t n,
                                    Weights weights, Tail tail) {
  std::int32_t i = 0;
  for (; i + 8 <= n; i += 8, d += 32, c += 32) {
    const __m256i from = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c));
    const __m256i to = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), BlendEight(to, from, weights(i)));
  }
  tail(d, c, i);
}

}  // namespace

VX_AVX2 void BlendBgrxMaskedAvx2(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                                 std::int32_t scale, std::int32_t upper, std::int32_t n) {
  // Mask byte x scale fits the low 16 bits of each lane (at most 255 x 256).
  const __m256i by = _mm256_set1_epi32(scale);
  const __m256i below = _mm256_set1_epi32(upper - 1), whole = _mm256_set1_epi32(256);
  BlendPixelsAvx2(
      d, c, n,
      [&](std::int32_t i) VX_AVX2 {
        const __m256i bytes =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m + i)));
        return _mm256_blendv_epi8(_mm256_srli_epi32(_mm256_mullo_epi16(bytes, by), 8), whole,
                                  _mm256_cmpgt_epi32(bytes, below));
      },
      [&](std::uint8_t* dt, const std::uint8_t* ct, std::int32_t i) {
        BlendBgrxMaskedSse2(dt, ct, m + i, scale, upper, n - i);
      });
}

VX_AVX2 void BlendBgrxUniformAvx2(std::uint8_t* d, const std::uint8_t* c, std::int32_t k,
                                  std::int32_t n) {
  const __m256i w = _mm256_set1_epi32(k);
  BlendPixelsAvx2(
      d, c, n, [w](std::int32_t) VX_AVX2 { return w; },
      [&](std::uint8_t* dt, const std::uint8_t* ct, std::int32_t i) {
        BlendBgrxUniformSse2(dt, ct, k, n - i);
      });
}

namespace {

// Sixteen 5-5-5 words `to` moved toward `from` by the weights k (16-bit
// lanes, 0-256).
VX_AVX2 inline __m256i BlendSixteen555(__m256i to, __m256i from, __m256i k) {
  const __m256i k2 = _mm256_slli_epi16(k, 1);
  const __m256i red = Mix(Field(to, 10), Field(from, 10), k2);
  const __m256i green = Mix(Field(to, 5), Field(from, 5), k2);
  const __m256i blue = Mix(Field(to, 0), Field(from, 0), k2);
  return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(red, 10), _mm256_slli_epi16(green, 5)),
                         blue);
}

// Sixteen words at a time, the weights for words i to i + 15 from
// weights(i); the rest by the SSE2 kernel `tail`.
template <class Weights, class Tail>
VX_AVX2 inline void Blend555WordsAvx2(std::uint8_t* d, const std::uint8_t* c, std::int32_t n,
                                      Weights weights, Tail tail) {
  std::int32_t i = 0;
  for (; i + 16 <= n; i += 16, d += 32, c += 32) {
    const __m256i from = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c));
    const __m256i to = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), BlendSixteen555(to, from, weights(i)));
  }
  tail(d, c, i);
}

}  // namespace

VX_AVX2 void Blend555Avx2(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n) {
  const __m256i byte = _mm256_set1_epi32(255);
  std::int32_t i = 0;
  for (; i + 16 <= n; i += 16, d += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cw + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cw + i + 8));
    // Packing works within 128-bit halves; the 64-bit quarters are put back
    // in order after it.
    const __m256i from = _mm256_permute4x64_epi64(
        _mm256_packs_epi32(_mm256_srai_epi32(_mm256_slli_epi32(a, 16), 16),
                           _mm256_srai_epi32(_mm256_slli_epi32(b, 16), 16)),
        0xD8);
    const __m256i k = _mm256_permute4x64_epi64(
        _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(a, 16), byte),
                           _mm256_and_si256(_mm256_srli_epi32(b, 16), byte)),
        0xD8);
    const __m256i to = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), BlendSixteen555(to, from, k));
  }
  Blend555Sse2(d, cw + i, n - i);
}

VX_AVX2 void Blend555MaskedAvx2(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                                std::int32_t scale, std::int32_t upper, std::int32_t n) {
  const __m256i by = _mm256_set1_epi16(static_cast<short>(scale));
  const __m256i below = _mm256_set1_epi16(static_cast<short>(upper - 1));
  const __m256i whole = _mm256_set1_epi16(256);
  Blend555WordsAvx2(
      d, c, n,
      [&](std::int32_t i) VX_AVX2 {
        const __m256i bytes =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m + i)));
        // At most 255 x 256: the low 16 bits of the product hold it.
        return _mm256_blendv_epi8(_mm256_srli_epi16(_mm256_mullo_epi16(bytes, by), 8), whole,
                                  _mm256_cmpgt_epi16(bytes, below));
      },
      [&](std::uint8_t* dt, const std::uint8_t* ct, std::int32_t i) {
        Blend555MaskedSse2(dt, ct, m + i, scale, upper, n - i);
      });
}

VX_AVX2 void Blend555UniformAvx2(std::uint8_t* d, const std::uint8_t* c, std::int32_t k,
                                 std::int32_t n) {
  const __m256i w = _mm256_set1_epi16(static_cast<short>(k));
  Blend555WordsAvx2(
      d, c, n, [w](std::int32_t) VX_AVX2 { return w; },
      [&](std::uint8_t* dt, const std::uint8_t* ct, std::int32_t i) {
        Blend555UniformSse2(dt, ct, k, n - i);
      });
}

}  // namespace vx::row_detail
#endif
