#include "tests/geometric/sampled_reference.h"

#include <cstring>

namespace vx::geometric_test {

Components ReadTap(const Image& source, std::int32_t x, std::int32_t y,
                   const PaletteTable* palette) {
  const std::uint8_t* p = source.Pixel(x, y);
  if (source.Kind() == ImageKind::kIndexed8) {
    const glissade::Colour c = palette->ColourOf(p[0]);
    return {c.b, c.g, c.r};
  }
  if (source.Kind() == ImageKind::kRgb555) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return {v & 31, (v >> 5) & 31, (v >> 10) & 31};
  }
  return {p[0], p[1], p[2]};
}

Components Bilinear(const Components taps[4], std::int32_t fx, std::int32_t fy) {
  const std::int32_t w11 = (fx * fy) >> 8;
  const std::int32_t w10 = fx - w11;
  const std::int32_t w01 = fy - w11;
  const std::int32_t w00 = 256 - w10 - fy;
  const auto mix = [&](std::int32_t Components::*part) {
    return (taps[0].*part * w00 + taps[1].*part * w10 + taps[2].*part * w01 +
            taps[3].*part * w11) >> 8;
  };
  return {mix(&Components::b), mix(&Components::g), mix(&Components::r)};
}

ReferenceColour ForDestination(const Components& c, ImageKind destination,
                               const PaletteTable* palette) {
  ReferenceColour out{};
  out.b = static_cast<std::uint8_t>(c.b);
  out.g = static_cast<std::uint8_t>(c.g);
  out.r = static_cast<std::uint8_t>(c.r);
  if (destination == ImageKind::kIndexed8)
    out.index = palette->InverseOf(static_cast<std::uint32_t>(c.r), static_cast<std::uint32_t>(c.g),
                                   static_cast<std::uint32_t>(c.b));
  if (destination == ImageKind::kRgb555)
    out.pixel = static_cast<std::uint16_t>(((c.r & 31) << 10) | ((c.g & 31) << 5) | (c.b & 31));
  return out;
}

bool RenderPairDrawn(const Image& source, const Image& destination) {
  // An expanded source holds the stage's own units: 8-bit colours for an
  // 8-bit stage, 5-bit values for a 16-bit one.
  if (Expanded(source)) return true;
  switch (destination.BytesPerPixel()) {
    case 1: return source.BytesPerPixel() == 1;
    case 2: return source.BytesPerPixel() == 2;
    default: return false;
  }
}

bool AlphaPairDrawn(const Image& source, const Image& destinationColour) {
  if (!Expanded(destinationColour)) return false;
  if (Expanded(source)) return true;
  const std::int32_t depth = destinationColour.view().depth;
  return (source.Kind() == ImageKind::kIndexed8 && depth == 8) ||
         (source.Kind() == ImageKind::kRgb555 && depth == 16);
}

}  // namespace vx::geometric_test
