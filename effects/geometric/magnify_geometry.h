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

#include "effects/geometric/sampling.h"
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

// The mapping policy of one quadrant walk (SampledWalk). Destination pixel
// (x, y) shows the source at anchor + ((x - C.x) * step, (y - C.y) * step)
// in 1/256 pixel, the anchor being the source pixel under the sprite centre
// plus the offset. The quadrant is visited in its own order (ReverseX,
// ReverseY); along a row the position is a running sum, one addition per
// pixel. Positions far outside the source are held just outside it, so
// that no sum overflows whatever the step and the sizes.
class MagnifyMapping {
 public:
  // `anchor` is in whole source pixels; the source is `width` x `height`.
  MagnifyMapping(const MagnifyQuadrant& q, StagePoint centre, StagePoint anchor,
                 std::int32_t step, std::int32_t width, std::int32_t height)
      : reverseX_(q.reverseX),
        reverseY_(q.reverseY),
        step_(step),
        stepX_(q.reverseX ? -std::int64_t{step} : std::int64_t{step}),
        originX_(std::int64_t{anchor.x} * 256 +
                 (std::int64_t{q.rect.left} + (q.reverseX ? q.rect.width - 1 : 0) - centre.x) *
                     step),
        originY_(std::int64_t{anchor.y} * 256 + (std::int64_t{q.rect.top} - centre.y) * step),
        hiX_(std::int64_t{width} * 256),
        hiY_(std::int64_t{height} * 256) {}

  bool ReverseX() const { return reverseX_; }
  bool ReverseY() const { return reverseY_; }

  // Row `y` of the quadrant, counted from its top.
  void BeginRow(std::int32_t y) {
    x_ = originX_;
    y_ = Held(originY_ + std::int64_t{y} * step_, hiY_);
  }
  std::int32_t X() const { return Held(x_, hiX_); }
  std::int32_t Y() const { return y_; }
  void Next() { x_ += stepX_; }

 private:
  static std::int32_t Held(std::int64_t v, std::int64_t hi) {
    return static_cast<std::int32_t>(v < -256 ? -256 : v > hi ? hi : v);
  }

  bool reverseX_, reverseY_;
  std::int32_t step_;
  std::int64_t stepX_;
  std::int64_t originX_, originY_;
  std::int64_t hiX_, hiY_;
  std::int64_t x_ = 0;
  std::int32_t y_ = 0;
};

}  // namespace vx
