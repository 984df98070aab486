#include "effects/geometric/swirl_mapping.h"

namespace vx {

std::array<SwirlQuadrant, 4> SwirlQuadrants(const AreaRect& destination, const AreaRect& update) {
  const std::int32_t cx = CentreX(destination), cy = CentreY(destination);
  const AreaRect parts[4] = {
      MakeRect(destination.left, destination.top, cx, cy),
      MakeRect(cx, destination.top, destination.right, cy),
      MakeRect(destination.left, cy, cx, destination.bottom),
      MakeRect(cx, cy, destination.right, destination.bottom),
  };
  const std::int32_t signs[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
  std::array<SwirlQuadrant, 4> out{};
  for (int i = 0; i < 4; ++i) {
    Intersect(&out[i].rect, parts[i], update);
    out[i].rect = out[i].rect.area == 0 ? EmptyRect() : CopyRect(out[i].rect);
    out[i].sx = signs[i][0];
    out[i].sy = signs[i][1];
  }
  return out;
}

std::int32_t SwirlAngleAt(std::int64_t dx, std::int64_t dy, std::int32_t hw, std::int32_t hh,
                          std::int32_t swirlAngle) {
  if (hw <= 0 || hh <= 0) return 0;
  const std::int64_t across = hw - (dx < 0 ? -dx : dx);
  const std::int64_t down = hh - (dy < 0 ? -dy : dy);
  const float theta = static_cast<float>(swirlAngle) / static_cast<float>(hh) *
                      static_cast<float>(down > 0 ? down : 0) / static_cast<float>(hw) *
                      static_cast<float>(across > 0 ? across : 0);
  return AngleIndex(static_cast<std::int64_t>(theta));
}

}  // namespace vx
