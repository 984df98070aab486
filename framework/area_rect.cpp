#include "framework/area_rect.h"

#include <algorithm>

#include "framework/saturating.h"

namespace vx {
namespace {

// Host rectangles can carry any edges; measures saturate.
std::int32_t Distance(std::int32_t a, std::int32_t b) {
  const std::int64_t d = static_cast<std::int64_t>(b) - a;
  return SaturateToInt32(d < 0 ? -d : d);
}

// `r` with edges (left, top, right, bottom) when all four fit, measures
// recomputed when asked; otherwise empty.
void SetEdges(AreaRect* r, std::int64_t left, std::int64_t top, std::int64_t right,
              std::int64_t bottom, bool measure) {
  if (!FitsInt32(left) || !FitsInt32(right) || !FitsInt32(top) || !FitsInt32(bottom)) {
    *r = EmptyRect();
    return;
  }
  r->left = static_cast<std::int32_t>(left);
  r->top = static_cast<std::int32_t>(top);
  r->right = static_cast<std::int32_t>(right);
  r->bottom = static_cast<std::int32_t>(bottom);
  if (measure) RecomputeMeasures(r);
}

void MoveEdges(AreaRect* r, Shift s, bool measure) {
  SetEdges(r, r->left + s.x, r->top + s.y, r->right + s.x, r->bottom + s.y, measure);
}

}  // namespace

AreaRect MakeRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                  std::int32_t tag) {
  AreaRect r{};
  r.left = left;
  r.top = top;
  r.right = right;
  r.bottom = bottom;
  r.tag = tag;
  r.originX = left;
  r.originY = top;
  RecomputeMeasures(&r);
  return r;
}

AreaRect CopyRect(const AreaRect& src) {
  return MakeRect(src.left, src.top, src.right, src.bottom, src.tag);
}

void RecomputeMeasures(AreaRect* r) {
  r->height = Distance(r->top, r->bottom);
  r->width = Distance(r->left, r->right);
  r->area = SaturateToInt32(static_cast<std::int64_t>(r->width) * r->height);
}

void Intersect(AreaRect* r, const AreaRect& a, const AreaRect& b) {
  r->left = std::max(a.left, b.left);
  r->top = std::max(a.top, b.top);
  r->right = std::min(a.right, b.right);
  r->bottom = std::min(a.bottom, b.bottom);
  const std::int64_t w = static_cast<std::int64_t>(r->right) - r->left;
  const std::int64_t h = static_cast<std::int64_t>(r->bottom) - r->top;
  r->width = w < 1 ? 0 : SaturateToInt32(w);
  r->height = h < 1 ? 0 : SaturateToInt32(h);
  r->area = SaturateToInt32(static_cast<std::int64_t>(r->width) * r->height);
}

Shift CentringShift(const AreaRect& r, const AreaRect& other) {
  return {std::int64_t{other.left} + (other.width >> 1) - (r.width >> 1) - r.left,
          std::int64_t{other.top} + (other.height >> 1) - (r.height >> 1) - r.top};
}

AreaRect Moved(const AreaRect& r, Shift s) {
  AreaRect out = r;
  MoveEdges(&out, s, true);
  return out;
}

AreaRect MovedAndCut(const AreaRect& r, Shift s) {
  AreaRect out = r;
  out.left = SaturateToInt32(r.left + s.x);
  out.top = SaturateToInt32(r.top + s.y);
  out.right = SaturateToInt32(r.right + s.x);
  out.bottom = SaturateToInt32(r.bottom + s.y);
  RecomputeMeasures(&out);
  return out;
}

AreaRect ClipToPlaced(const AreaRect& area, const AreaRect& r, Shift s) {
  const std::int64_t left = std::max<std::int64_t>(area.left, r.left + s.x);
  const std::int64_t top = std::max<std::int64_t>(area.top, r.top + s.y);
  const std::int64_t right = std::min<std::int64_t>(area.right, r.right + s.x);
  const std::int64_t bottom = std::min<std::int64_t>(area.bottom, r.bottom + s.y);
  // Each edge lies between two edges of `area` or on one; it fits.
  if (right <= left || bottom <= top) {
    AreaRect none = area;
    none.width = none.height = none.area = 0;
    return none;
  }
  AreaRect out = area;
  SetEdges(&out, left, top, right, bottom, true);
  return out;
}

std::int32_t CentreX(const AreaRect& r) {
  return SaturateToInt32(std::int64_t{r.left} + (r.width >> 1));
}
std::int32_t CentreY(const AreaRect& r) {
  return SaturateToInt32(std::int64_t{r.top} + (r.height >> 1));
}

// Centring keeps the size: right and bottom follow from it.
void CentreIn(AreaRect* r, const AreaRect& other) {
  const Shift s = CentringShift(*r, other);
  const std::int64_t left = r->left + s.x, top = r->top + s.y;
  SetEdges(r, left, top, left + r->width, top + r->height, false);
}

void CentreOn(AreaRect* r, std::int32_t x, std::int32_t y) {
  const std::int64_t left = std::int64_t{x} - (r->width >> 1);
  const std::int64_t top = std::int64_t{y} - (r->height >> 1);
  SetEdges(r, left, top, left + r->width, top + r->height, false);
}

void Offset(AreaRect* r, std::int64_t dx, std::int64_t dy) { MoveEdges(r, {dx, dy}, true); }

void Subtract(AreaRect* r, std::int64_t x, std::int64_t y) { MoveEdges(r, {-x, -y}, false); }

void MoveToOrigin(AreaRect* r) {
  r->left = 0;
  r->top = 0;
  r->right = r->width;
  r->bottom = r->height;
}

void SetLeft(AreaRect* r, std::int32_t v) {
  r->left = v;
  RecomputeMeasures(r);
}
void SetTop(AreaRect* r, std::int32_t v) {
  r->top = v;
  RecomputeMeasures(r);
}
void SetRight(AreaRect* r, std::int32_t v) {
  r->right = v;
  RecomputeMeasures(r);
}
void SetBottom(AreaRect* r, std::int32_t v) {
  r->bottom = v;
  RecomputeMeasures(r);
}

bool Equals(const AreaRect& a, const AreaRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool Contains(const AreaRect& outer, const AreaRect& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

}  // namespace vx
