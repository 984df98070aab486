// Plain per-pixel sampling for the geometric effects' differential tests:
// a source tap read in its own colour units, the four-tap bilinear blend,
// and the colour a destination format is given, each straight from the
// rules and sharing nothing with the module's loops.
#pragma once

#include <cstdint>

#include "host/glissade/image.h"
#include "host/glissade/palette.h"
#include "host/glissade/reference.h"

namespace vx::geometric_test {

using glissade::Image;
using glissade::ImageKind;
using glissade::PaletteTable;
using glissade::ReferenceColour;

// Blue, green, red in the source's units: 8-bit bytes of expanded and
// 24/32-bit pixels (5-bit values for an expanded 16-bit stage), the five-bit
// fields of a 5-5-5 word, the palette colour of an index.
struct Components {
  std::int32_t b = 0, g = 0, r = 0;
};

Components ReadTap(const Image& source, std::int32_t x, std::int32_t y,
                   const PaletteTable* palette);

// The four taps (left, right, below, below right) weighed by the fractions.
Components Bilinear(const Components taps[4], std::int32_t fx, std::int32_t fy);

// What the destination is given for a sampled colour: bytes for expanded
// and 24/32-bit images, the packed word for 5-5-5, the nearest palette
// index (and its colour) for 8-bit.
ReferenceColour ForDestination(const Components& c, ImageKind destination,
                               const PaletteTable* palette);

// Whether `Render` has a loop for the pair, by the format table.
bool RenderPairDrawn(const Image& source, const Image& destination);

// Whether `RenderWithAlpha` has a loop: the destination colour is expanded
// and its depth names the source's.
bool AlphaPairDrawn(const Image& source, const Image& destinationColour);

// The colour written to an expanded destination colour by colour-plus-alpha
// loops: the source's components as bytes.
inline bool Expanded(const Image& image) { return image.BytesPerPixel() >= 3; }

}  // namespace vx::geometric_test
