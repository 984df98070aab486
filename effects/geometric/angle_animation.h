// The eased angle animation of the turning effects (rotate, swirl): the
// easing plan, the angle it counts from, and the static and range set-ups
// of a property list. The frame counters are the instance's AnimState.
#pragma once

#include <cstdint>

#include "framework/animation.h"

namespace vx {

// Fields in the order the instances hold them, after the property table.
struct AngleAnimation {
  // Easing plan of the running animation (PlanEase / EasedOffset).
  std::int32_t easeIn;
  std::int32_t easeOut;
  std::int32_t linearFrames;
  float accelIn;
  float accelOut;
  float speed;  // 1/256 turn per frame at full speed
  std::int32_t baseAngle;
};

// Create-time values: no easing, one linear frame, speed 0, angle 0.
void ResetAngleAnimation(AngleAnimation& a);

// Angles wrap like the 32-bit registers they always lived in; only the low
// eight bits are ever drawn.
inline std::int32_t AddAngles(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// The eased offset at `frame`.
std::int32_t AngleOffset(const AngleAnimation& a, std::int32_t frame);
// baseAngle + the offset at the current frame, not masked.
std::int32_t ShownAngle(const AngleAnimation& a, const AnimState& s);
// Makes the angle now shown the new base.
void CommitAngle(AngleAnimation& a, const AnimState& s);
// Plans `distance` (1/256 turn) over `frames`.
void PlanAngle(AngleAnimation& a, std::int32_t frames, std::int32_t distance);

// The set-ups of a property list; kAbsent marks a value not given.
// Static (and aimed) modes: the end angle, else the shown angle plus the
// delta; the frame count is left at the pending mark (-1).
void StartStaticAngle(AnimState& s, AngleAnimation& a, std::int32_t mode, std::int32_t endAngle,
                      std::int32_t deltaAngle, std::int32_t* restarted);
// Range and pendulum (and swirl's infinite): from the start angle (or the
// shown one) to the end angle, or by the delta, over the frame count.
void StartRangeAngle(AnimState& s, AngleAnimation& a, std::int32_t mode,
                     std::int32_t numFrames, std::int32_t endAngle, std::int32_t startAngle,
                     std::int32_t deltaAngle, std::int32_t easeIn, std::int32_t easeOut,
                     std::int32_t* restarted);

}  // namespace vx
