#include "effects/geometric/rotate_angles.h"

#include <cmath>
#include <limits>

namespace vx {

namespace {

// The two spellings of a full turn: tables and conversions in use 307, the
// aim and the conversion back to radians 308.
constexpr double kTwoPiIn = 6.283185307;
constexpr double kTwoPiOut = 6.283185308;
constexpr double kPi = 3.141592654;
constexpr float kQuarterTurnRad = 1.5707f;

}  // namespace

namespace {

void FillAngleTables(AngleTable& sinTable, AngleTable& cosTable, double twoPi) {
  for (std::int32_t i = 0; i < kTurn; ++i) {
    const float a = static_cast<float>(i * twoPi / kTurn);
    sinTable[i] = static_cast<std::int32_t>(std::sin(static_cast<double>(a)) * 256.0);
    cosTable[i] = static_cast<std::int32_t>(std::cos(static_cast<double>(a)) * 256.0);
  }
}

}  // namespace

void BuildAngleTables(AngleTable& sinTable, AngleTable& cosTable) {
  FillAngleTables(sinTable, cosTable, kTwoPiIn);
  // Quarter turns must be exact, or a quarter-turned square drifts.
  sinTable[64] = 256;
  sinTable[192] = -256;
  cosTable[128] = -256;
}

void BuildUncorrectedAngleTables(AngleTable& sinTable, AngleTable& cosTable) {
  FillAngleTables(sinTable, cosTable, kTwoPiOut);
}

double ClampedAsin(double value) {
  if (std::isnan(value)) return 0.0;
  if (value > 1.0) value = 1.0;
  if (value < -1.0) value = -1.0;
  return std::asin(value);
}

std::int32_t DegreesToAngle(std::int32_t degrees) {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(degrees) * kTurn / 360);
}

std::int32_t RadiansToAngle(double radians) {
  return TruncToInt32(radians * kTurn / kTwoPiIn);
}

std::int32_t AngleToDegrees(std::int32_t angle) {
  // 64-bit product: a script may hand back any int32 angle.
  return static_cast<std::int32_t>((static_cast<std::int64_t>(angle) * 360) >> 8);
}

double AngleToRadians(std::int32_t angle) { return angle * kTwoPiOut / 256.0; }

std::int32_t AimAtPoint(const RectRecord& rect, std::int32_t pointX, std::int32_t pointY,
                        bool flip, std::int32_t offsetAngle) {
  const std::int64_t width = static_cast<std::int64_t>(rect.right) - rect.left;
  const std::int64_t height = static_cast<std::int64_t>(rect.bottom) - rect.top;
  const std::int64_t cx = rect.left + (width >> 1);
  const std::int64_t cy = rect.top + (height >> 1);

  float a;
  if (cy == pointY) {
    // Deliberately 1.5707, not a quarter turn: the sprite's own row gives 63.
    a = pointX < cx ? -kQuarterTurnRad : kQuarterTurnRad;
  } else {
    const float across = static_cast<float>(pointX - cx);
    const float up = static_cast<float>(cy - pointY);
    a = static_cast<float>(std::atan(static_cast<double>(across / up)));
    if (cy - pointY < 0) a = static_cast<float>(a + kPi);
  }
  if (flip) a = -a;
  const std::int64_t aimed =
      static_cast<std::int64_t>(TruncToInt32(static_cast<double>(a) * 256 / kTwoPiOut)) +
      offsetAngle;
  return static_cast<std::int32_t>(aimed);
}

}  // namespace vx
