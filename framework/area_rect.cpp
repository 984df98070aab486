#include "framework/area_rect.h"

#include <algorithm>
#include <limits>

namespace vx {
namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();

// Host rectangles can carry any edges; measures and moves saturate rather
// than overflow.
std::int32_t Clamp32(std::int64_t v) { return static_cast<std::int32_t>(std::clamp(v, kMin, kMax)); }
std::int32_t Add(std::int32_t a, std::int64_t b) { return Clamp32(a + b); }
std::int32_t Distance(std::int32_t a, std::int32_t b) {
  const std::int64_t d = static_cast<std::int64_t>(b) - a;
  return Clamp32(d < 0 ? -d : d);
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
  r->area = Clamp32(static_cast<std::int64_t>(r->width) * r->height);
}

void Intersect(AreaRect* r, const AreaRect& a, const AreaRect& b) {
  r->left = std::max(a.left, b.left);
  r->top = std::max(a.top, b.top);
  r->right = std::min(a.right, b.right);
  r->bottom = std::min(a.bottom, b.bottom);
  const std::int64_t w = static_cast<std::int64_t>(r->right) - r->left;
  const std::int64_t h = static_cast<std::int64_t>(r->bottom) - r->top;
  r->width = w < 1 ? 0 : Clamp32(w);
  r->height = h < 1 ? 0 : Clamp32(h);
  r->area = Clamp32(static_cast<std::int64_t>(r->width) * r->height);
}

void CentreIn(AreaRect* r, const AreaRect& other) {
  const std::int64_t left =
      static_cast<std::int64_t>(other.left) + (other.width >> 1) - (r->width >> 1);
  const std::int64_t top =
      static_cast<std::int64_t>(other.top) + (other.height >> 1) - (r->height >> 1);
  r->left = Clamp32(left);
  r->top = Clamp32(top);
  r->right = Add(r->left, r->width);
  r->bottom = Add(r->top, r->height);
}

void CentreOn(AreaRect* r, std::int32_t x, std::int32_t y) {
  r->left = Add(x, -(r->width >> 1));
  r->top = Add(y, -(r->height >> 1));
  r->right = Add(r->left, r->width);
  r->bottom = Add(r->top, r->height);
}

void Offset(AreaRect* r, std::int32_t dx, std::int32_t dy) {
  r->left = Add(r->left, dx);
  r->right = Add(r->right, dx);
  r->top = Add(r->top, dy);
  r->bottom = Add(r->bottom, dy);
  RecomputeMeasures(r);
}

void Subtract(AreaRect* r, std::int32_t x, std::int32_t y) {
  r->left = Add(r->left, -static_cast<std::int64_t>(x));
  r->right = Add(r->right, -static_cast<std::int64_t>(x));
  r->top = Add(r->top, -static_cast<std::int64_t>(y));
  r->bottom = Add(r->bottom, -static_cast<std::int64_t>(y));
}

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
