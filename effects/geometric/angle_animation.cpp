#include "effects/geometric/angle_animation.h"


namespace vx {

void ResetAngleAnimation(AngleAnimation& a) {
  a.easeIn = 0;
  a.easeOut = 0;
  a.linearFrames = 1;
  a.accelIn = 0;
  a.accelOut = 0;
  a.speed = 0;
  a.baseAngle = 0;
}

std::int32_t AngleOffset(const AngleAnimation& a, std::int32_t frame) {
  return EasedOffset(a.speed, a.accelIn, a.accelOut, a.linearFrames, a.easeIn, a.easeOut, frame);
}

std::int32_t ShownAngle(const AngleAnimation& a, const AnimState& s) {
  return AddAngles(a.baseAngle, AngleOffset(a, s.frame));
}

void CommitAngle(AngleAnimation& a, const AnimState& s) { a.baseAngle = ShownAngle(a, s); }

void PlanAngle(AngleAnimation& a, std::int32_t frames, std::int32_t distance) {
  PlanEase(frames, distance, &a.easeIn, &a.easeOut, &a.linearFrames, &a.accelIn, &a.accelOut,
           &a.speed);
}

void StartStaticAngle(AnimState& s, AngleAnimation& a, std::int32_t mode, std::int32_t endAngle,
                      std::int32_t deltaAngle, std::int32_t* restarted) {
  if (s.mode != kModeStatic) *restarted = 1;
  // The angle now shown, taken before the frame counter is reset: a delta
  // turns the sprite from where it stands.
  const std::int32_t shown = ShownAngle(a, s);
  s.mode = mode;
  s.finished = 1;
  s.frameCount = -1;
  s.frame = 1;
  s.direction = 0;
  a.speed = 0;
  if (endAngle != kAbsent) {
    a.baseAngle = endAngle;
  } else {
    a.baseAngle = shown;
    if (deltaAngle != kAbsent) a.baseAngle = AddAngles(a.baseAngle, deltaAngle);
  }
  a.easeIn = a.easeOut = 0;
  a.accelIn = a.accelOut = 0;
}

void StartRangeAngle(AnimState& s, AngleAnimation& a, std::int32_t mode,
                     std::int32_t numFrames, std::int32_t endAngle, std::int32_t startAngle,
                     std::int32_t deltaAngle, std::int32_t easeIn, std::int32_t easeOut,
                     std::int32_t* restarted) {
  std::int32_t current;
  if (s.finished == 1) {
    CommitAngle(a, s);
    *restarted = 1;
    current = a.baseAngle;
  } else {
    current = ShownAngle(a, s);
  }
  if (numFrames != kAbsent) s.frameCount = numFrames;
  if (startAngle != kAbsent) a.baseAngle = startAngle;
  std::int32_t target = current;
  if (endAngle != kAbsent)
    target = endAngle;
  else if (deltaAngle != kAbsent)
    target = AddAngles(a.baseAngle, deltaAngle);
  if (easeIn != kAbsent) a.easeIn = easeIn;
  if (easeOut != kAbsent) a.easeOut = easeOut;
  // Zero runs as one frame; so do negative counts and the pending mark of
  // a static set-up, which would otherwise plan a backwards animation.
  if (s.frameCount < 1) s.frameCount = 1;
  PlanAngle(a, s.frameCount, ClampedDelta(target, a.baseAngle));
  s.mode = mode;
  s.frame = 0;
  s.direction = 1;
  s.finished = 0;
}

}  // namespace vx
