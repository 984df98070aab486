#include "effects/geometric/magnify_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "framework/animation.h"
#include "framework/saturating.h"

namespace vx {
namespace {

// A distance scaled by step/256; a negative result is taken one toward 0.
std::int64_t Scaled(std::int64_t distance, std::int32_t step) {
  std::int64_t v = (distance * step) >> 8;
  if (v < 0) v += 1;
  return v;
}

std::int64_t Unscaled(std::int64_t distance, std::int32_t step) {
  return distance * kUnitStep / step;
}

AreaRect Spanned(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
  return MakeRect(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1));
}

}  // namespace

std::int32_t StepFromPercentage(std::int32_t percentage) {
  if (percentage == kAbsent || percentage < 1) return kAbsent;
  return 25600 / percentage;
}

AreaRect ScaleAbout(const AreaRect& r, std::int32_t step, StagePoint m) {
  return MakeRect(SaturateToInt32(m.x - Scaled(std::int64_t{m.x} - r.left, step)),
                  SaturateToInt32(m.y - Scaled(std::int64_t{m.y} - r.top, step)),
                  SaturateToInt32(m.x + Scaled(std::int64_t{r.right} - m.x, step)),
                  SaturateToInt32(m.y + Scaled(std::int64_t{r.bottom} - m.y, step)));
}

AreaRect UnscaleAbout(const AreaRect& r, std::int32_t step, StagePoint m) {
  return MakeRect(SaturateToInt32(m.x - Unscaled(std::int64_t{m.x} - r.left, step)),
                  SaturateToInt32(m.y - Unscaled(std::int64_t{m.y} - r.top, step)),
                  SaturateToInt32(m.x + Unscaled(std::int64_t{r.right} - m.x, step)),
                  SaturateToInt32(m.y + Unscaled(std::int64_t{r.bottom} - m.y, step)));
}

void FixScaleClip(AreaRect* update, const AreaRect& placed, const AreaRect& area, StagePoint m,
                  std::int32_t step) {
  AreaRect sprite = CopyRect(placed);
  CentreOn(&sprite, m.x, m.y);
  const AreaRect needed = ScaleAbout(sprite, step, m);
  AreaRect inside;
  Intersect(&inside, needed, area);
  const AreaRect given = *update;
  if (Equals(inside, needed)) {
    Intersect(update, given, placed);
    return;
  }
  // No source at all: crossed edges would unscale into a rectangle again.
  if (inside.area == 0) {
    *update = EmptyRect();
    return;
  }
  AreaRect q = UnscaleAbout(inside, step, m);
  const auto margin =
      static_cast<std::int32_t>(std::ceil(static_cast<double>(static_cast<float>(step)) / 257.0));
  const std::int32_t topCut = std::int64_t{q.top} + margin >= m.y ? margin : 0;
  const std::int32_t bottomCut = std::int64_t{q.bottom} - margin <= m.y ? margin : 0;
  const std::int32_t cx = placed.left + (placed.width >> 1);
  const std::int32_t cy = placed.top + (placed.height >> 1);
  q = MakeRect(SaturateToInt32(std::int64_t{q.left} + cx - m.x), SaturateToInt32(std::int64_t{q.top} + cy - m.y),
               SaturateToInt32(std::int64_t{q.right} + cx - m.x), SaturateToInt32(std::int64_t{q.bottom} + cy - m.y));
  Intersect(update, given, q);
  if (update->area == 0) return;
  const std::int64_t top = std::int64_t{update->top} + topCut;
  const std::int64_t bottom = std::int64_t{update->bottom} - bottomCut;
  if (top >= bottom) {
    *update = EmptyRect();
    return;
  }
  SetTop(update, SaturateToInt32(top));
  SetBottom(update, SaturateToInt32(bottom));
}

StagePoint MagnifyFixedPoint(StagePoint centre, std::int32_t offsetX, std::int32_t offsetY,
                             std::int32_t step) {
  if (step == kUnitStep) return {SaturateToInt32(std::int64_t{centre.x} + offsetX),
                                 SaturateToInt32(std::int64_t{centre.y} + offsetY)};
  const std::int64_t d = kUnitStep - std::int64_t{step};
  return {SaturateToInt32(centre.x + std::int64_t{offsetX} * kUnitStep / d),
          SaturateToInt32(centre.y + std::int64_t{offsetY} * kUnitStep / d)};
}

std::array<MagnifyQuadrant, 4> MagnifyQuadrants(const AreaRect& placed, const AreaRect& update,
                                                StagePoint fixed, std::int32_t offsetX,
                                                std::int32_t offsetY, std::int32_t step) {
  const std::int32_t ax = offsetX >= 0 ? placed.left : placed.right;
  const std::int32_t bx = offsetX >= 0 ? placed.right : placed.left;
  const std::int32_t ay = offsetY >= 0 ? placed.top : placed.bottom;
  const std::int32_t by = offsetY >= 0 ? placed.bottom : placed.top;
  // Enlarging walks toward the fixed point, reducing away from it; the
  // quadrants on the far side of an axis walk it the other way.
  const bool towardX = offsetX < 0, towardY = offsetY < 0;
  const bool shift = step == kUnitStep, reduce = step > kUnitStep;
  const auto flags = [&](bool farX, bool farY) {
    bool rx = towardX, ry = towardY;
    if (!shift) {
      rx = (rx != farX) != reduce;
      ry = (ry != farY) != reduce;
    }
    return std::pair<bool, bool>{rx, ry};
  };
  std::array<MagnifyQuadrant, 4> out{};
  const struct {
    std::int32_t x, y;
    bool farX, farY;
  } corners[4] = {{ax, ay, false, false}, {bx, ay, true, false}, {ax, by, false, true},
                  {bx, by, true, true}};
  for (int i = 0; i < 4; ++i) {
    Intersect(&out[i].rect, Spanned(fixed.x, fixed.y, corners[i].x, corners[i].y), update);
    const auto [rx, ry] = flags(corners[i].farX, corners[i].farY);
    out[i].reverseX = rx;
    out[i].reverseY = ry;
  }
  return out;
}

}  // namespace vx
