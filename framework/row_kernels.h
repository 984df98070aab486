// Row kernels: the blends of the compositing loops, several pixels at a
// time, in one variant per instruction set. The plain variant is the rule
// written out and the reference; SSE2 is in every x86 build; AVX2 is taken
// only when the processor reports it. Every variant writes the same bytes.
//
// The variant is chosen once per process, on first use: the best the
// processor has, unless VORNIX_ROWS (plain, sse2 or avx2) asks for another;
// a variant this build or processor lacks falls back to the best one below
// it.
#pragma once

#include <cstdint>

// Vector rows exist for x86 builds with SSE2 (every x86 build here);
// other targets run the plain rows.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__)
#define VX_ROWS_X86 1
#endif

namespace vx {

enum class RowVariant { kPlain, kSse2, kAvx2 };

// The colours to blend come with their weights (0-255) in one word each:
// blue, green, red bytes and the weight in the top byte (BlendWord), or a
// 5-5-5 word and the weight above it (BlendWord555).
inline std::uint32_t BlendWord(std::uint32_t bgr, std::uint32_t weight) {
  return (bgr & 0xFFFFFFu) | (weight << 24);
}
inline std::uint32_t BlendWord555(std::uint32_t pixel, std::uint32_t weight) {
  return (pixel & 0xFFFFu) | (weight << 16);
}

struct RowKernels {
  RowVariant variant;
  // n four-byte pixels `d`: bytes 0-2 moved toward the colour of cw[i] by
  // its weight k: d + (((c - d) x k) >> 8); byte 3 kept.
  void (*blendBgrx)(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n);
  // n 5-5-5 words `d`, each field moved toward cw[i]'s the same way; bit 15
  // cleared.
  void (*blend555)(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n);
  // n four-byte pixels `d` moved the same way toward the four-byte pixels
  // `c` (bytes 0-2; byte 3 is not read) by the weight (m[i] x scale) >> 8
  // of each mask byte: scale 256 weighs by the mask byte itself, a blend
  // level below it fades that. Mask bytes at or above `upper` (0-256)
  // weigh 256, which takes the colour whole. `c` may be `d` itself.
  void (*blendBgrxMasked)(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                          std::int32_t scale, std::int32_t upper, std::int32_t n);
  // The same with one weight k (0-255) for every pixel.
  void (*blendBgrxUniform)(std::uint8_t* d, const std::uint8_t* c, std::int32_t k,
                           std::int32_t n);
  // The two forms for n 5-5-5 words `d` and colours `c` (bit 15 is not
  // read); bit 15 of `d` cleared.
  void (*blend555Masked)(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                         std::int32_t scale, std::int32_t upper, std::int32_t n);
  void (*blend555Uniform)(std::uint8_t* d, const std::uint8_t* c, std::int32_t k, std::int32_t n);
};

// The kernels in use.
const RowKernels& Rows();

// Whether this build and processor run `v`.
bool RowsSupported(RowVariant v);
// Switches the kernels in use to `v` (tests compare the variants); false,
// and nothing changed, when `v` is not supported.
bool UseRows(RowVariant v);
// "plain", "sse2", "avx2".
const char* RowVariantName(RowVariant v);

namespace row_detail {
// The variant for a VORNIX_ROWS value (null: none set) on a processor
// supporting `supported(v)`: the value's variant or the best supported one
// below it; the best supported one when the value names none.
RowVariant PickVariant(const char* request, bool (*supported)(RowVariant));

// Tails and the SSE2 kernels, for the wider kernels to finish a row with.
void BlendBgrxPlain(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n);
void Blend555Plain(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n);
void BlendBgrxSse2(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n);
void Blend555Sse2(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n);
void BlendBgrxAvx2(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n);
void Blend555Avx2(std::uint8_t* d, const std::uint32_t* cw, std::int32_t n);
void BlendBgrxUniformPlain(std::uint8_t* d, const std::uint8_t* c, std::int32_t k, std::int32_t n);
void BlendBgrxMaskedPlain(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                          std::int32_t scale, std::int32_t upper, std::int32_t n);
void BlendBgrxUniformSse2(std::uint8_t* d, const std::uint8_t* c, std::int32_t k, std::int32_t n);
void BlendBgrxMaskedSse2(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                         std::int32_t scale, std::int32_t upper, std::int32_t n);
void BlendBgrxUniformAvx2(std::uint8_t* d, const std::uint8_t* c, std::int32_t k, std::int32_t n);
void BlendBgrxMaskedAvx2(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                         std::int32_t scale, std::int32_t upper, std::int32_t n);
void Blend555MaskedPlain(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                       std::int32_t scale, std::int32_t upper, std::int32_t n);
void Blend555UniformPlain(std::uint8_t* d, const std::uint8_t* c, std::int32_t k, std::int32_t n);
void Blend555MaskedSse2(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                       std::int32_t scale, std::int32_t upper, std::int32_t n);
void Blend555UniformSse2(std::uint8_t* d, const std::uint8_t* c, std::int32_t k, std::int32_t n);
void Blend555MaskedAvx2(std::uint8_t* d, const std::uint8_t* c, const std::uint8_t* m,
                       std::int32_t scale, std::int32_t upper, std::int32_t n);
void Blend555UniformAvx2(std::uint8_t* d, const std::uint8_t* c, std::int32_t k, std::int32_t n);
bool CpuHasAvx2();
}  // namespace row_detail

}  // namespace vx
