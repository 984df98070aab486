#include "effects/geometric/rotate_script.h"

#include <cmath>

namespace vx {

namespace {

constexpr double kTwoPiIn = 6.283185307;
constexpr double kPi = 3.141592654;

// Rectangle edges are int32; a centred rectangle of absurd size keeps the
// low 32 bits rather than overflowing.
std::int32_t Wrap(std::int64_t v) { return static_cast<std::int32_t>(v); }

}  // namespace

RectRecord DefaultScriptRect(const RectRecord& maskRect, const RectRecord& destRect) {
  const std::int64_t maskW = static_cast<std::int64_t>(maskRect.right) - maskRect.left;
  const std::int64_t maskH = static_cast<std::int64_t>(maskRect.bottom) - maskRect.top;
  const std::int64_t destW = static_cast<std::int64_t>(destRect.right) - destRect.left;
  const std::int64_t destH = static_cast<std::int64_t>(destRect.bottom) - destRect.top;
  const std::int64_t left = destRect.left + (destW >> 1) - (maskW >> 1);
  const std::int64_t top = destRect.top + (destH >> 1) - (maskH >> 1);
  RectRecord out;
  out.top = Wrap(top);
  out.left = Wrap(left);
  out.bottom = Wrap(top + maskH);
  out.right = Wrap(left + maskW);
  return out;
}

bool PointInRotatedRect(std::int32_t angle, const RectRecord& rect, const PointRecord& point) {
  const std::int64_t w = static_cast<std::int64_t>(rect.right) - rect.left;
  const std::int64_t h = static_cast<std::int64_t>(rect.bottom) - rect.top;
  const std::int64_t cx = rect.left + (w >> 1);
  const std::int64_t cy = rect.top + (h >> 1);
  const std::int64_t dx = point.horizontal - cx;
  const std::int64_t dy = point.vertical - cy;
  const double ddx = static_cast<double>(dx), ddy = static_cast<double>(dy);
  const float dist = static_cast<float>(std::sqrt(ddx * ddx + ddy * ddy));
  if (dist == 0.0f) return true;

  // Polar angle over the full turn, from +x toward +y.
  float a = static_cast<float>(ClampedAsin(static_cast<float>(dy) / dist));
  if (dx < 0) a = static_cast<float>(kPi - a);
  const float b = a - static_cast<float>(angle * kTwoPiIn / 256);
  const std::int64_t x = cx + static_cast<std::int64_t>(std::trunc(std::cos(static_cast<double>(b)) * dist));
  const std::int64_t y = cy + static_cast<std::int64_t>(std::trunc(std::sin(static_cast<double>(b)) * dist));
  return rect.left <= x && x < rect.right && rect.top <= y && y < rect.bottom;
}

PointRecord GetVector(std::int32_t angle, std::int32_t distance, AngleTablesRef tables) {
  const std::int32_t k = AngleIndex(angle);
  // 64-bit products: an 8.8 entry times a distance above 2^23 passes 2^31,
  // and the shifted result always fits again.
  PointRecord p;
  p.horizontal = static_cast<std::int32_t>((tables.sine[k] * static_cast<std::int64_t>(distance)) >> 8);
  p.vertical = static_cast<std::int32_t>((tables.cosine[k] * static_cast<std::int64_t>(distance)) >> 8);
  return p;
}

}  // namespace vx
