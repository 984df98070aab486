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

void BlendBgrxPlain(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* w,
                    std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i, d += 4, c += 4) {
    const std::int32_t k = w[i];
    for (int b = 0; b < 3; ++b) d[b] = static_cast<std::uint8_t>(d[b] + (((c[b] - d[b]) * k) >> 8));
  }
}

void Blend555Plain(std::uint8_t* d, const std::uint16_t* c, const std::uint8_t* w,
                   std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i, d += 2) {
    std::uint16_t o;
    std::memcpy(&o, d, 2);
    const std::int32_t k = w[i];
    std::int32_t out = 0;
    for (int shift = 0; shift <= 10; shift += 5) {
      const std::int32_t from = (o >> shift) & 31, to = (c[i] >> shift) & 31;
      out |= (from + (((to - from) * k) >> 8)) << shift;
    }
    const auto packed = static_cast<std::uint16_t>(out);
    std::memcpy(d, &packed, 2);
  }
}

#if defined(VX_ROWS_X86)
// The vector kernels compute d + (((c - d) x k) >> 8) as
// (d x (256 - k) + c x k) >> 8: the same integer (d x 256 is a multiple of
// 256), with every term and the sum (at most 255 x 256) inside an unsigned
// 16-bit lane.

void BlendBgrxSse2(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* w,
                   std::int32_t n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi16(256);
  const __m128i colourBytes = _mm_set1_epi32(0x00FFFFFF);
  std::int32_t i = 0;
  for (; i + 4 <= n; i += 4, d += 16, c += 16) {
    std::int32_t four;
    std::memcpy(&four, w + i, 4);
    __m128i k = _mm_cvtsi32_si128(four);
    k = _mm_unpacklo_epi8(k, k);
    k = _mm_and_si128(_mm_unpacklo_epi16(k, k), colourBytes);  // byte 3 weighs 0
    const __m128i to = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
    const __m128i from = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    const auto half = [&](__m128i dd, __m128i cc, __m128i kk) {
      return _mm_srli_epi16(
          _mm_add_epi16(_mm_mullo_epi16(dd, _mm_sub_epi16(full, kk)), _mm_mullo_epi16(cc, kk)),
          8);
    };
    const __m128i low = half(_mm_unpacklo_epi8(to, zero), _mm_unpacklo_epi8(from, zero),
                             _mm_unpacklo_epi8(k, zero));
    const __m128i high = half(_mm_unpackhi_epi8(to, zero), _mm_unpackhi_epi8(from, zero),
                              _mm_unpackhi_epi8(k, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(low, high));
  }
  BlendBgrxPlain(d, c, w + i, n - i);
}

void Blend555Sse2(std::uint8_t* d, const std::uint16_t* c, const std::uint8_t* w,
                  std::int32_t n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi16(256);
  const __m128i field = _mm_set1_epi16(31);
  std::int32_t i = 0;
  for (; i + 8 <= n; i += 8, d += 16) {
    const __m128i k = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w + i)), zero);
    const __m128i rest = _mm_sub_epi16(full, k);
    const __m128i to = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
    const __m128i from = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
    const auto blend = [&](int shift) {
      const __m128i t = _mm_and_si128(_mm_srli_epi16(to, shift), field);
      const __m128i f = _mm_and_si128(_mm_srli_epi16(from, shift), field);
      return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(t, rest), _mm_mullo_epi16(f, k)), 8);
    };
    const __m128i out = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(blend(10), 10),
                                                  _mm_slli_epi16(blend(5), 5)),
                                     blend(0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), out);
  }
  Blend555Plain(d, c + i, w + i, n - i);
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

constexpr RowKernels kPlain{RowVariant::kPlain, &BlendBgrxPlain, &Blend555Plain};
#if defined(VX_ROWS_X86)
constexpr RowKernels kSse2{RowVariant::kSse2, &BlendBgrxSse2, &Blend555Sse2};
constexpr RowKernels kAvx2{RowVariant::kAvx2, &BlendBgrxAvx2, &Blend555Avx2};
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
