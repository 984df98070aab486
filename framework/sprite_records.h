// Glissade's records the loops read: the colour table of 8-bit images, the
// mask-threshold record and the run-length mask.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vornix/abi.h"

namespace vx {

struct Rgb {
  std::uint8_t r, g, b;
};

// The colour table's fields, read once per render.
struct Palette {
  std::int32_t offset = 0, stride = 0;
  const std::uint8_t* red = nullptr;
  const std::uint8_t* green = nullptr;
  const std::uint8_t* blue = nullptr;
  const std::uint8_t* inverse = nullptr;  // 32768 entries, 5-5-5 order
};

// False when the record or one of its tables is missing; 8-bit loops then
// draw nothing.
bool ReadPalette(const ColourTable* table, Palette* out);

inline Rgb PaletteLookup(const Palette& p, std::uint32_t index) {
  const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(index) * p.stride + p.offset;
  return Rgb{p.red[at], p.green[at], p.blue[at]};
}
inline std::uint32_t InverseKey(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)) & 0x7FFF;
}
inline std::uint8_t InverseLookup(const Palette& p, std::uint32_t r, std::uint32_t g,
                                  std::uint32_t b) {
  return p.inverse[InverseKey(r, g, b)];
}

// Record-level forms, for callers outside a loop.
Rgb PaletteLookup(const ColourTable* table, std::uint32_t index);
std::uint8_t InverseLookup(const ColourTable* table, std::uint32_t r, std::uint32_t g,
                           std::uint32_t b);

// Upper and lower mask threshold.
struct MaskThresholds {
  std::int32_t upper = 255, lower = 0;
};
// A missing record reads as upper 255, lower 0.
MaskThresholds ReadThresholds(const ThresholdRecord* record);

// One (transparent, partial, opaque) triple of a mask-run row.
struct RunTriple {
  std::uint32_t transparent, partial, opaque;
  bool EndsRow() const { return transparent == 0 && partial == 0 && opaque == 0; }
};
inline const std::uint16_t* ReadRunTriple(const std::uint16_t* runs, RunTriple* out) {
  *out = RunTriple{runs[0], runs[1], runs[2]};
  return runs + 3;
}
// The first triple of the next row.
const std::uint16_t* SkipRunRow(const std::uint16_t* runs);

}  // namespace vx
