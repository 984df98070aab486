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

// Bounding rectangle of `rect` turned by `v` (any int32; only v & 255 picks
// table entries, the float part uses v itself) about its centre. Result
// edges saturate at the int32 range.
RectRecord RotatedBounds(std::int32_t v, const RectRecord& rect, AngleTablesRef tables);

// What the start of a walk needs to know about the views.
struct WalkFrame {
  std::int32_t destWidth, destHeight;  // destination rectangle
  std::int32_t maskWidth, maskHeight;  // (possibly replaced) mask view rectangle
  std::int32_t maskSubLeft, maskSubTop;  // mask sub-view rectangle
};

// Source position of the destination's top-left pixel for `Render`, in the
// coordinates of the mask/colour sub-views (x >> 8 == 0 is their first column).
// A flipped sprite starts from the mirrored corner, so it is drawn in place
// whatever the destination's proportions.
FixedPoint RenderStartPoint(const WalkFrame& frame, std::int32_t u, bool flip);

// The same for `RenderWithAlpha`, which starts on a whole source pixel and
// measures from the half sizes of the destination.
FixedPoint AlphaStartPoint(const WalkFrame& frame, std::int32_t u, bool flip);

// Moves a start position to the pixel `dx` columns right and `dy` rows down.
FixedPoint AdvanceStart(FixedPoint start, const MappingVectors& steps, std::int32_t dx,
                        std::int32_t dy);

// Whether this frame is sampled bilinearly: level 1 always, 0 never, 2 only
// while the animation stands still; a pending request forces one frame.
bool ShouldRedraw(std::int32_t finished, std::int32_t interpolation,
                  std::int32_t& interpolateNowPending);

// A stage point mapped back into the unrotated mask (column, row in the
// mask rectangle's coordinates).
struct MaskPosition {
  std::int32_t column, row;
};

// Maps stage point (x, y) for a sprite whose mask sits at `placed` (the mask
// rectangle centred on the sprite), turned by inverse index `u`, mirrored
// when `flip` is set. The result counts from the mask's first column and row.
MaskPosition MapHitToMask(std::int32_t x, std::int32_t y, const RectRecord& placed,
                          std::int32_t u, bool flip, AngleTablesRef tables);

// The start of a hit test: 0 into `outValue` (when there is one), then the
// alpha view's rectangle centred on the sprite description's rectangle.
// False when there is nothing to map (no output, view or sprite rectangle).
bool PlaceHitTest(const PixelView* alpha, const SpriteDescription* sprite,
                  std::int32_t* outValue, AreaRect* placed);

// The mask byte under a hit-test position: 0 unless the position lies in the
// mask view's rectangle and its byte inside the mask's pixel memory.
std::int32_t MaskByteAt(PixelView* mask, MaskPosition at);

}  // namespace vx
