// A plain sampled reference for the geometric effects' differential tests:
// every destination pixel mapped back into the source and its mask by the
// caller's mapping, its mask value and colour taken straight from the
// sampling rules (nearest, or bilinear with fading edges or the mask read at
// the integer position), then composited by the threshold rule or written
// as colour plus alpha. One pixel at a time, with every decision spelled
// out; it shares nothing with the module's loops. Slow on purpose.
#pragma once

#include <cstdint>
#include <functional>

#include "host/glissade/image.h"
#include "host/glissade/palette.h"

namespace vx::glissade {

enum class SampledMask {
  kNearest,       // one tap: mask byte and colour at the integer position
  kFading,        // bilinear: taps inside weighed, those outside mask 0 (fading edges)
  kAtTap,         // bilinear colour, the single mask byte at the integer position
};

// A 24.8 fixed-point position in the source.
struct SourcePosition {
  std::int32_t x, y;
};

struct SampledReferenceJob {
  Image* destination = nullptr;  // colour destination
  AreaRect update{};             // in the destination's coordinates
  // Colour plus alpha: alpha byte of each pixel, at the update shifted by
  // (alphaLeft - update.left, alphaTop - update.top).
  Image* alpha = nullptr;
  std::int32_t alphaLeft = 0, alphaTop = 0;
  // Source colour and mask, sampled in their own pixel coordinates from the
  // top-left (0, 0); taps must lie inside each image's pixel memory.
  const Image* source = nullptr;
  const Image* mask = nullptr;
  SampledMask sampling = SampledMask::kNearest;
  std::int32_t blend = 255;
  std::int32_t upper = 255, lower = 0;
  const PaletteTable* palette = nullptr;
  // Source position of pixel (x, y) counted from the update's top-left.
  std::function<SourcePosition(std::int32_t x, std::int32_t y)> position;
};

// Composites through the threshold rule, or (alpha set) writes colour plus
// alpha. False, with nothing written, for a source and destination pair
// that has no rule: 8-bit indices only into 8-bit, 5-5-5 only into 5-5-5
// (colour plus alpha: into expanded images of depth 8 and 16), expanded
// pixels into anything.
bool ReferenceSampled(const SampledReferenceJob& job);

}  // namespace vx::glissade
