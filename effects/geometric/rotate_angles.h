// The angle unit of the geometric effects and the 8.8 sine/cosine tables.
//
// Angles are integers in 1/256 of a turn, positive clockwise on screen
// (x right, y down). The value used for drawing is taken modulo 256. The
// float steps below are written out one rounding at a time on purpose: the
// exact bytes of the tables and of aimed angles depend on where a value is
// rounded to single precision.
#pragma once

#include <cstdint>

#include "framework/saturating.h"
#include "vornix/abi.h"

namespace vx {

inline constexpr std::int32_t kTurn = 256;
inline constexpr std::int32_t kAngleMask = kTurn - 1;

// One table of the instance: 256 entries, 8.8 fixed point (256 = 1.0).
using AngleTable = std::int32_t[kTurn];

// The two tables as the instance holds them, side by side.
struct AngleTablesRef {
  const AngleTable& sine;
  const AngleTable& cosine;
};

// Fills both tables: truncated sine/cosine of the single-precision angle,
// with the three quarter-turn entries that truncation leaves at 255 set to
// exactly +-256.
void BuildAngleTables(AngleTable& sinTable, AngleTable& cosTable);

// The swirl's tables: the same truncation of angles formed with the other
// spelling of a full turn, and no quarter-turn corrections (entry 64 of the
// sine is 255).
void BuildUncorrectedAngleTables(AngleTable& sinTable, AngleTable& cosTable);

// `angle` & 255 as an index, for any int32 (also negative ones).
inline std::int32_t AngleIndex(std::int64_t angle) {
  return static_cast<std::int32_t>(static_cast<std::uint64_t>(angle) & kAngleMask);
}

// Degrees -> 1/256 turn: (degrees * 256) / 360, truncating toward zero.
// The product is formed in 64 bits so that huge degree counts do not wrap.
std::int32_t DegreesToAngle(std::int32_t degrees);

// Radians -> 1/256 turn: trunc(radians * 256 / 6.283185307), saturated to
// the int32 range; NaN gives 0.
std::int32_t RadiansToAngle(double radians);

// 1/256 turn -> whole degrees by arithmetic shift: (angle * 360) >> 8,
// so -1 gives -2 and 255 gives 358.
std::int32_t AngleToDegrees(std::int32_t angle);

// 1/256 turn -> radians: angle * 6.283185308 / 256.
double AngleToRadians(std::int32_t angle);

// asin that answers for arguments a float rounding pushed just past +-1
// (clamped) and for NaN (0) instead of returning NaN.
double ClampedAsin(double value);

// The angle that turns the top of a sprite occupying `rect` toward
// (pointX, pointY), mirrored when `flip` is set, plus `offsetAngle`.
// A point on the sprite's own row gives exactly +-1.5707 rad, i.e. +-63.
std::int32_t AimAtPoint(const RectRecord& rect, std::int32_t pointX, std::int32_t pointY,
                        bool flip, std::int32_t offsetAngle);

}  // namespace vx
