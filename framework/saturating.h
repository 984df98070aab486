// How numbers from the host or an author are combined: rectangle edges and
// their differences, row lengths, counts, property integers, frame counts
// and offsets are added, subtracted and multiplied in 64 bits, then brought
// back into 32 bits by one of these rules:
// - a value (a property, a frame, a measure, an offset) saturates at the
//   ends of the int32 range;
// - a rectangle whose edges would leave 32 bits cannot exist and is empty
//   (framework/area_rect.h: Moved, ClipToPlaced);
// - a count that makes no sense (negative, or below the first index) means
//   no argument at all;
// - a flag toggles between 0 and 1 whatever it held.
// Angles are the exception: they are counted modulo a turn, and 2^32 is a
// whole number of turns, so they may wrap.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace vx {

inline constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

inline bool FitsInt32(std::int64_t v) { return v >= kInt32Min && v <= kInt32Max; }

// `v` clamped to the int32 range.
inline std::int32_t SaturateToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(v < kInt32Min ? kInt32Min : v > kInt32Max ? kInt32Max : v);
}

inline std::int32_t SaturatingAdd(std::int32_t a, std::int32_t b) {
  return SaturateToInt32(std::int64_t{a} + b);
}
inline std::int32_t SaturatingSub(std::int32_t a, std::int32_t b) {
  return SaturateToInt32(std::int64_t{a} - b);
}

// Conversion toward zero that never leaves the int32 range (a plain cast of
// an out-of-range value is undefined); NaN gives 0.
inline std::int32_t TruncToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

// How many of `count` entries lie from index `first` on (a negative first
// counts from 0); none when the count does not reach it.
inline std::int32_t CountFrom(std::int32_t count, std::int32_t first) {
  const std::int64_t n = std::int64_t{count} - (first < 0 ? 0 : first);
  return n > 0 ? static_cast<std::int32_t>(n) : 0;
}

// 1 for a flag that is off (0), 0 for any other value.
inline std::int32_t Toggled(std::int32_t flag) { return flag == 0 ? 1 : 0; }

}  // namespace vx
