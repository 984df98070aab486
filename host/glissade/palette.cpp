#include "host/glissade/palette.h"

#include <limits>

namespace vx::glissade {

PaletteTable::PaletteTable(const std::vector<Colour>& colours, std::int32_t offset,
                           std::int32_t stride) {
  for (std::size_t i = 0; i < 256; ++i)
    colours_[i] = colours.empty() ? Colour{0, 0, 0} : colours[i % colours.size()];
  const std::size_t planeSize = static_cast<std::size_t>(offset + 255 * stride + 1);
  // Bytes between the entries hold a pattern no lookup should return.
  red_.assign(planeSize, 0xEE);
  green_.assign(planeSize, 0xEE);
  blue_.assign(planeSize, 0xEE);
  for (std::size_t i = 0; i < 256; ++i) {
    const std::size_t at = i * static_cast<std::size_t>(stride) + static_cast<std::size_t>(offset);
    red_[at] = colours_[i].r;
    green_[at] = colours_[i].g;
    blue_[at] = colours_[i].b;
  }
  // Nearest palette colour (squared distance, lowest index on ties) to the
  // centre of each 5-5-5 cell.
  inverse_.assign(32768, 0);
  for (std::uint32_t key = 0; key < 32768; ++key) {
    const int r = static_cast<int>(((key >> 10) & 31) << 3) + 4;
    const int g = static_cast<int>(((key >> 5) & 31) << 3) + 4;
    const int b = static_cast<int>((key & 31) << 3) + 4;
    int best = 0, bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i < 256; ++i) {
      const int dr = r - colours_[i].r, dg = g - colours_[i].g, db = b - colours_[i].b;
      const int d = dr * dr + dg * dg + db * db;
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    inverse_[key] = static_cast<std::uint8_t>(best);
  }
  record_.words[kColourOffsetWord] = static_cast<Word>(offset);
  record_.words[kColourStrideWord] = static_cast<Word>(stride);
  Link();
}

PaletteTable PaletteTable::Random(std::mt19937& rng, std::int32_t offset, std::int32_t stride) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<Colour> colours(256);
  for (auto& c : colours)
    c = Colour{static_cast<std::uint8_t>(byte(rng)), static_cast<std::uint8_t>(byte(rng)),
               static_cast<std::uint8_t>(byte(rng))};
  return PaletteTable(colours, offset, stride);
}

void PaletteTable::Link() {
  record_.words[kColourRedWord] = reinterpret_cast<Word>(red_.data());
  record_.words[kColourGreenWord] = reinterpret_cast<Word>(green_.data());
  record_.words[kColourBlueWord] = reinterpret_cast<Word>(blue_.data());
  record_.words[kColourInverseWord] = reinterpret_cast<Word>(inverse_.data());
}

std::uint8_t PaletteTable::InverseOf(std::uint32_t r, std::uint32_t g, std::uint32_t b) const {
  return inverse_[((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)];
}

}  // namespace vx::glissade
