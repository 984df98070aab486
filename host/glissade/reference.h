// A plain compositing reference for differential tests: one pixel at a time,
// straight from the rule, with every decision spelled out. Slow on purpose.
#pragma once

#include <cstdint>
#include <functional>

#include "host/glissade/image.h"
#include "host/glissade/palette.h"

namespace vx::glissade {

// An effect's colour for one pixel in every form a destination may want:
// blue, green, red (8-bit or, for expanded 16-bit images, 5-bit units), the
// palette index for 8-bit destinations, the 16-bit pixel for 5-5-5 ones.
struct ReferenceColour {
  std::uint8_t b, g, r, index;
  std::uint16_t pixel;
};

enum class ReferencePath { kThreshold, kRun, kHardMask };

struct ReferenceJob {
  Image* destination = nullptr;
  AreaRect update{};  // in the destination's coordinates
  const Image* mask = nullptr;
  std::int32_t maskLeft = 0, maskTop = 0;  // the update's top-left in mask coordinates
  ReferencePath path = ReferencePath::kThreshold;
  std::int32_t blend = 255;
  std::int32_t upper = 255, lower = 0;
  // Run path: the whole mask's runs; the update covers the whole mask.
  const std::uint16_t* runs = nullptr;
  const PaletteTable* palette = nullptr;
  // Colour of pixel (x, y) counted from the update's top-left.
  std::function<ReferenceColour(std::int32_t x, std::int32_t y)> colour;
  // Mask value of pixel (x, y) for effects that sample the mask elsewhere;
  // when empty, the mask image's byte at (maskLeft + x, maskTop + y).
  std::function<std::int32_t(std::int32_t x, std::int32_t y)> maskAt;
};

void ReferenceComposite(const ReferenceJob& job);

}  // namespace vx::glissade
