// Rotation geometry: the inverse-mapping step vectors, the rotated bounding
// rectangle, the fixed-point start of the walk, the hit-test mapping and the
// bounds test that keeps every tap inside a view's pixel memory.
//
// Float work happens here once per render or per hit test; the pixel loops
// only add the integer steps. Sums and products of coordinates are formed
// in 64 bits: a rectangle may be up to 2^23 pixels wide, where squares and
// 8.8 products no longer fit in 32 bits.
#pragma once

#include <cstdint>

#include "effects/geometric/rotate_angles.h"
#include "effects/geometric/sampling.h"
#include "framework/pixel_view.h"
#include "vornix/abi.h"

namespace vx {

// The table index used to draw: the current angle turned back, (-angle) & 255.
inline std::int32_t InverseAngleIndex(std::int32_t currentAngle) {
  return AngleIndex(-static_cast<std::int64_t>(currentAngle));
}

// Steps for the inverse index `u` (see InverseAngleIndex); a flipped sprite
// walks its columns backwards.
MappingVectors ComputeMappingVectors(std::int32_t u, bool flip, AngleTablesRef tables);

// The box a render of `rect` turned by `v` (any int32; only v & 255 counts)
// can draw into: every pixel whose centre samples within half a pixel of
// the sprite, walked with the steps of ComputeMappingVectors(v), flipped or
// not. An empty rectangle gives an empty box at its centre. Edges saturate
// at the int32 range.
RectRecord RotatedBounds(std::int32_t v, const RectRecord& rect, AngleTablesRef tables);

// Where a walk over a w x h sprite puts the destination pixel `column`
// columns right of and `row` rows below the sprite's placed top-left corner:
// its centre, in 24.8 from the sprite's own top-left corner.
FixedPoint PixelCentreSample(const MappingVectors& steps, std::int64_t w, std::int64_t h,
                             std::int64_t column, std::int64_t row);

// What the start of a walk needs to know about the views.
struct WalkFrame {
  std::int32_t maskWidth, maskHeight;    // (possibly replaced) mask view rectangle
  std::int32_t maskSubLeft, maskSubTop;  // mask sub-view, from the mask's corner
  std::int32_t column, row;  // first walked pixel, from the placed sprite's corner
};

// Source position of the walk's first pixel in the coordinates of the
// mask/colour sub-views (x >> 8 == 0 is their first column). A bilinear walk
// takes its taps half a pixel up and left of the centre.
FixedPoint SampleStart(const WalkFrame& frame, const MappingVectors& steps, bool bilinear);

// Whether this frame is sampled bilinearly: level 1 always, 0 never, 2 only
// while the animation stands still; a pending request forces one frame.
bool ShouldRedraw(std::int32_t finished, std::int32_t interpolation,
                  std::int32_t& interpolateNowPending);

// A stage point mapped back into the unrotated mask (column, row in the
// mask rectangle's coordinates).
struct MaskPosition {
  std::int32_t column, row;
};

// The mask pixel a nearest walk samples at stage point (x, y), for a sprite
// whose mask sits at `placed`, walked with `steps`. The result counts from
// the mask's first column and row.
MaskPosition MapHitToMask(std::int32_t x, std::int32_t y, const RectRecord& placed,
                          const MappingVectors& steps);

// The start of a hit test: 0 into `outValue` (when there is one), then the
// alpha view's rectangle centred on the sprite description's rectangle.
// False when there is nothing to map (no output, view or sprite rectangle).
bool PlaceHitTest(const PixelView* alpha, const SpriteDescription* sprite,
                  std::int32_t* outValue, AreaRect* placed);

// The point's angle about the centre of `placed`, turned by `u` and
// mirrored when `flip` is set, taken back to the same distance from the
// mask's centre: swirl's hit test, whose pixels turn by their own angles.
MaskPosition MapHitByAngle(std::int32_t x, std::int32_t y, const RectRecord& placed,
                           std::int32_t u, bool flip, AngleTablesRef tables);

// The mask byte under a hit-test position: 0 unless the position lies in the
// mask view's rectangle and its byte inside the mask's pixel memory.
std::int32_t MaskByteAt(PixelView* mask, MaskPosition at);

}  // namespace vx
