// Bringing wide or floating values back into 32 bits by one stated rule:
// saturation at the int32 range. Arithmetic on numbers from the host or an
// author is done in 64 bits and comes back through these.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace vx {

inline constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// `v` clamped to the int32 range.
inline std::int32_t SaturateToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(v < kInt32Min ? kInt32Min : v > kInt32Max ? kInt32Max : v);
}

inline std::int32_t SaturatingAdd(std::int32_t a, std::int32_t b) {
  return SaturateToInt32(std::int64_t{a} + b);
}

// Conversion toward zero that never leaves the int32 range (a plain cast of
// an out-of-range value is undefined); NaN gives 0.
inline std::int32_t TruncToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

}  // namespace vx
