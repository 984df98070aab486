// Arithmetic behind the rotate script functions (also offered by swirl and
// magnify): angles as they cross the script boundary,
// the default rectangle, the point test and the vector.
#pragma once

#include <cstdint>

#include "effects/geometric/rotate_angles.h"
#include "effects/geometric/script_arguments.h"
#include "vornix/abi.h"

namespace vx {

// Angles cross the script boundary as whole degrees (AngleToDegrees,
// DegreesToAngle) or, once `UseRadians` was called, as radians
// (AngleToRadians, RadiansToAngle); see rotate_angles.h.

// The angle the script functions report and use by default: the current
// angle, negated (and not masked again) for a flipped sprite.
inline std::int32_t ScriptCurrentAngle(std::int32_t currentAngle, bool flip) {
  return flip ? -currentAngle : currentAngle;
}

// The sprite's source rectangle as last drawn: a rectangle the size of
// `maskRect` centred in `destRect` (both as `Render` stored them). Empty
// before the first render.
RectRecord DefaultScriptRect(const RectRecord& maskRect, const RectRecord& destRect);

// Whether `point`, turned back by `angle` about the centre of `rect`, lies in
// the unturned rectangle. The centre itself is always inside.
bool PointInRotatedRect(std::int32_t angle, const RectRecord& rect, const PointRecord& point);

// The displacement `distance` pixels long in direction `angle` (0 points
// down the screen's y axis, 64 along x): horizontal (sin * d) >> 8, vertical
// (cos * d) >> 8.
PointRecord GetVector(std::int32_t angle, std::int32_t distance, AngleTablesRef tables);

}  // namespace vx
