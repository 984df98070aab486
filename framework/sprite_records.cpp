#include "framework/sprite_records.h"

namespace vx {

bool ReadPalette(const ColourTable* table, Palette* out) {
  *out = Palette{};
  if (!table) return false;
  const Word* w = table->words;
  out->offset = static_cast<std::int32_t>(w[kColourOffsetWord]);
  out->stride = static_cast<std::int32_t>(w[kColourStrideWord]);
  out->red = reinterpret_cast<const std::uint8_t*>(w[kColourRedWord]);
  out->green = reinterpret_cast<const std::uint8_t*>(w[kColourGreenWord]);
  out->blue = reinterpret_cast<const std::uint8_t*>(w[kColourBlueWord]);
  out->inverse = reinterpret_cast<const std::uint8_t*>(w[kColourInverseWord]);
  return out->red && out->green && out->blue && out->inverse;
}

Rgb PaletteLookup(const ColourTable* table, std::uint32_t index) {
  Palette p;
  if (!ReadPalette(table, &p)) return Rgb{0, 0, 0};
  return PaletteLookup(p, index);
}

std::uint8_t InverseLookup(const ColourTable* table, std::uint32_t r, std::uint32_t g,
                           std::uint32_t b) {
  Palette p;
  if (!ReadPalette(table, &p)) return 0;
  return InverseLookup(p, r, g, b);
}

MaskThresholds ReadThresholds(const ThresholdRecord* record) {
  MaskThresholds t;
  if (!record) return t;
  t.upper = static_cast<std::int32_t>(record->words[kThresholdUpperWord]);
  t.lower = static_cast<std::int32_t>(record->words[kThresholdLowerWord]);
  return t;
}

const std::uint16_t* SkipRunRow(const std::uint16_t* runs) {
  RunTriple t;
  do {
    runs = ReadRunTriple(runs, &t);
  } while (!t.EndsRow());
  return runs;
}

}  // namespace vx
