// Glissade's colour table record for 8-bit images: red, green and blue byte
// planes read at index x stride + offset, and a 32768-entry inverse table
// (5-5-5 key) holding the nearest palette index of each colour cell.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "vornix/abi.h"

namespace vx::glissade {

struct Colour {
  std::uint8_t r, g, b;
};

class PaletteTable {
 public:
  // 256 colours (fewer are repeated from the start); `offset` and `stride`
  // place entry i at plane position i x stride + offset.
  explicit PaletteTable(const std::vector<Colour>& colours, std::int32_t offset = 0,
                        std::int32_t stride = 1);
  static PaletteTable Random(std::mt19937& rng, std::int32_t offset = 0, std::int32_t stride = 1);
  PaletteTable(const PaletteTable&) = delete;
  PaletteTable& operator=(const PaletteTable&) = delete;
  PaletteTable(PaletteTable&&) = default;

  ColourTable* Record() { return &record_; }
  Colour ColourOf(std::uint8_t index) const { return colours_[index]; }
  // The inverse table's answer for a colour (what the module must store).
  std::uint8_t InverseOf(std::uint32_t r, std::uint32_t g, std::uint32_t b) const;
  const std::vector<std::uint8_t>& Inverse() const { return inverse_; }

 private:
  void Link();

  std::array<Colour, 256> colours_{};
  std::vector<std::uint8_t> red_, green_, blue_, inverse_;
  ColourTable record_{};
};

}  // namespace vx::glissade
