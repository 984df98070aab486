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
#include "framework/pixel_view.h"
#include "vornix/abi.h"

namespace vx {

// Source displacement in 8.8 fixed point for one destination column and
// one destination row.
struct MappingVectors {
  std::int32_t colStepX, colStepY;
  std::int32_t rowStepX, rowStepY;
};

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

// 24.8 fixed-point source position.
struct FixedPoint {
  std::int32_t x, y;
};

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

// The byte range a sampler may read, as offsets from the start of a walked
// view's memory: a tap far outside is rejected without ever forming its
// address.
struct ByteWindow {
  const std::uint8_t* base = nullptr;
  std::int64_t size = 0;       // bytes from base
  std::int64_t topOffset = 0;  // first pixel of the top row
  std::int64_t rowStep = 0;
  std::int32_t bytesPerPixel = 0;
};

inline ByteWindow WindowOf(const ViewWalk& walk) {
  return {walk.memBegin, walk.memEnd - walk.memBegin, walk.top - walk.memBegin, walk.rowStep,
          walk.step};
}

// Offset of pixel (column, row) counted from the top row, or -1 when any of
// its `span` bytes falls outside the window. Columns and rows are at most
// 2^31 and a window below 2^31 bytes, so no sum here can overflow.
inline std::int64_t TapOffset(const ByteWindow& w, std::int64_t column, std::int64_t row,
                              std::int64_t span = 1) {
  const std::int64_t at = w.topOffset + row * w.rowStep + column * w.bytesPerPixel;
  return (at >= 0 && at + span <= w.size) ? at : -1;
}

// Offset of pixel (column, row) when it and its neighbours one column right
// and one row down all lie inside the window (bilinear taps), else -1.
inline std::int64_t QuadOffset(const ByteWindow& w, std::int64_t column, std::int64_t row,
                               std::int64_t span = 1) {
  const std::int64_t at = w.topOffset + row * w.rowStep + column * w.bytesPerPixel;
  const std::int64_t low = at + (w.rowStep < 0 ? w.rowStep : 0);
  const std::int64_t high = at + w.bytesPerPixel + (w.rowStep > 0 ? w.rowStep : 0) + span;
  return (low >= 0 && high <= w.size) ? at : -1;
}

// The mask byte under a hit-test position: 0 unless the position lies in the
// mask view's rectangle and its byte inside the mask's pixel memory.
std::int32_t MaskByteAt(PixelView* mask, MaskPosition at);

}  // namespace vx
