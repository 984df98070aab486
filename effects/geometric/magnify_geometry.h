// Magnify geometry: the source step of a percentage, the update clipped to
// where the scaled picture has a source, and the four quadrants about the
// fixed point with the order each is walked in.
//
// A step is in 1/256 source pixel per destination pixel: 256 draws the
// sprite unchanged, 128 twice as large, 512 half as large. Rectangles are in
// destination coordinates; products of host-given coordinates and steps are
// formed in 64 bits and brought back into the int32 range by saturation.
#pragma once

#include <array>
#include <cstdint>

#include "effects/geometric/rotate_geometry.h"
#include "framework/area_rect.h"

namespace vx {

inline constexpr std::int32_t kUnitStep = 256;

// 25600 / percentage, truncated; kAbsent (as given) for a percentage that is
// absent or below 1, which the set-ups ignore.
std::int32_t StepFromPercentage(std::int32_t percentage);

// A point in destination coordinates.
struct StagePoint {
  std::int32_t x, y;
};

// Each edge's distance from `m` scaled by step/256 (arithmetic shift; a
// negative distance rounds toward m): the source region a rectangle needs.
AreaRect ScaleAbout(const AreaRect& r, std::int32_t step, StagePoint m);

// The inverse: each edge's distance from `m` scaled by 256/step, truncated
// toward zero. `step` must not be 0.
AreaRect UnscaleAbout(const AreaRect& r, std::int32_t step, StagePoint m);

// Narrows `update` to the destination pixels whose source lies in `area`.
// `placed` is the mask rectangle centred on the destination, `m` the
// magnified point (placed centre plus the offset), `step` non-zero. A scaled
// sprite wholly inside `area` keeps the update within `placed`; otherwise
// the update is cut to the unscaled part of the area, moved back by the
// offset, with a margin off its top and bottom where they reach the point.
void FixScaleClip(AreaRect* update, const AreaRect& placed, const AreaRect& area, StagePoint m,
                  std::int32_t step);

// One quadrant about the fixed point and the order it is walked in:
// reverseX walks each row from its right end, reverseY the rows bottom-up.
struct MagnifyQuadrant {
  AreaRect rect;
  bool reverseX, reverseY;
};

// The point the mapping leaves in place: C + offset * 256 / (256 - step),
// or the magnified point itself at step 256.
StagePoint MagnifyFixedPoint(StagePoint centre, std::int32_t offsetX, std::int32_t offsetY,
                             std::int32_t step);

// The four quadrants spanned by the fixed point and the corners of `placed`,
// each cut to `update`, in drawing order. Enlarging walks each from its
// outer corner toward the fixed point, reducing from the fixed point
// outward, a pure shift toward the side the offset points to.
std::array<MagnifyQuadrant, 4> MagnifyQuadrants(const AreaRect& placed, const AreaRect& update,
                                                StagePoint fixed, std::int32_t offsetX,
                                                std::int32_t offsetY, std::int32_t step);

// The mapping policy of one quadrant walk. Destination pixel (x, y) shows
// the source at anchor + ((x - C.x) * step, (y - C.y) * step) in 1/256
// pixel, the anchor being the source pixel under the sprite centre plus the
// offset. The walk visits rows from FirstRow() by RowDirection(), each from
// FirstColumn() by ColumnDirection() (indices in the quadrant); the
// positions are running sums, one addition per pixel and one per row.
// Positions far outside the source are held just outside it, so that no
// sum overflows whatever the step and the sizes.
class MagnifyMapping {
 public:
  // `anchor` is in whole source pixels; the source is `width` x `height`.
  MagnifyMapping(const MagnifyQuadrant& q, StagePoint centre, StagePoint anchor,
                 std::int32_t step, std::int32_t width, std::int32_t height)
      : firstColumn_(q.reverseX ? q.rect.width - 1 : 0),
        firstRow_(q.reverseY ? q.rect.height - 1 : 0),
        columnDir_(q.reverseX ? -1 : 1),
        rowDir_(q.reverseY ? -1 : 1),
        stepX_(std::int64_t{step} * columnDir_),
        stepY_(std::int64_t{step} * rowDir_),
        rowX_(std::int64_t{anchor.x} * 256 +
              (std::int64_t{q.rect.left} + firstColumn_ - centre.x) * step),
        rowY_(std::int64_t{anchor.y} * 256 +
              (std::int64_t{q.rect.top} + firstRow_ - centre.y) * step),
        hiX_(std::int64_t{width} * 256),
        hiY_(std::int64_t{height} * 256) {}

  std::int32_t FirstColumn() const { return firstColumn_; }
  std::int32_t ColumnDirection() const { return columnDir_; }
  std::int32_t FirstRow() const { return firstRow_; }
  std::int32_t RowDirection() const { return rowDir_; }

  void BeginRow() {
    x_ = rowX_;
    y_ = Held(rowY_, hiY_);
  }
  FixedPoint Next() {
    const FixedPoint p{Held(x_, hiX_), y_};
    x_ += stepX_;
    return p;
  }
  void EndRow() { rowY_ += stepY_; }

 private:
  static std::int32_t Held(std::int64_t v, std::int64_t hi) {
    return static_cast<std::int32_t>(v < -256 ? -256 : v > hi ? hi : v);
  }

  std::int32_t firstColumn_, firstRow_, columnDir_, rowDir_;
  std::int64_t stepX_, stepY_;
  std::int64_t rowX_, rowY_;
  std::int64_t hiX_, hiY_;
  std::int64_t x_ = 0;
  std::int32_t y_ = 0;
};

}  // namespace vx
