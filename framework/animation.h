// The animation engine shared by every effect: the frame counter and its
// modes, the split of an animation into ease-in, linear and ease-out frames,
// and the offset of a value at a given frame.
//
// The arithmetic is kept exactly as effects have always drawn it: single
// precision where it says float, truncation toward zero where it converts.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vx {

// A property value that is missing or does not convert; also "not given" in
// every setter argument.
inline constexpr std::int32_t kAbsent = 62001;
// ParseAnimMode's status for a symbol outside the mode table.
inline constexpr std::int32_t kNoSuchMode = 62002;

enum AnimMode : std::int32_t {
  kModeStatic = 0,
  kModeRange = 1,
  kModeInfinite = 2,
  kModePendulum = 3,
  kModeFollow = 4,
  kModeRelativeToPoint = 5,
};

// Per-instance animation state; the field order is part of the instance
// layout of every effect.
struct AnimState {
  std::int32_t mode;
  std::int32_t frameCount;  // -1: one redraw pending after a static setting
  std::int32_t frame;
  std::int32_t direction;
  std::int32_t finished;
};
static_assert(sizeof(AnimState) == 20);

// The state every effect starts in (and Reset returns to).
inline constexpr AnimState kCreateAnimState = {kModeStatic, 0, 1, 0, 1};

// Range, infinite and pendulum: the modes that run the frame counter.
inline bool IsAnimatedMode(std::int32_t mode) { return mode >= kModeRange && mode <= kModePendulum; }

// Advances the animation by one frame.
void StepFrame(std::int32_t* frame, std::int32_t* direction, std::int32_t mode,
               std::int32_t* finished, std::int32_t frameCount);
inline void StepFrame(AnimState* s) {
  StepFrame(&s->frame, &s->direction, s->mode, &s->finished, s->frameCount);
}

// Splits `frameCount` frames into ease-in, linear and ease-out parts that
// together move a value by `delta`. Ease frames are clamped in place.
void PlanEase(std::int32_t frameCount, std::int32_t delta, std::int32_t* easeIn,
              std::int32_t* easeOut, std::int32_t* linear, float* accelIn, float* accelOut,
              float* speed);

// Offset from the start value at frame `t` of a planned animation.
std::int32_t EasedOffset(float speed, float accelIn, float accelOut, std::int32_t linear,
                         std::int32_t easeIn, std::int32_t easeOut, std::int32_t t);

// ---------------------------------------------------------------------------
// Reusable pieces of applying a property list. Effects that share one set of
// ease frames across several values (HSB) keep one EaseFrames and one
// AnimatedValue per value; effects without easing leave the ease frames 0.

struct EaseFrames {
  std::int32_t easeIn = 0, easeOut = 0, linear = 0;
};

struct AnimatedValue {
  std::int32_t start = 0;
  float speed = 0, accelIn = 0, accelOut = 0;
};

inline std::int32_t OffsetAt(const AnimatedValue& v, const EaseFrames& f, std::int32_t t) {
  return EasedOffset(v.speed, v.accelIn, v.accelOut, f.linear, f.easeIn, f.easeOut, t);
}
// The value shown at frame `t`.
inline std::int32_t ValueAt(const AnimatedValue& v, const EaseFrames& f, std::int32_t t) {
  return v.start + OffsetAt(v, f, t);
}
// Makes the look of frame `t` the new start; huge values saturate at the
// ends of 32 bits rather than wrap.
inline void FoldIntoStart(AnimatedValue* v, const EaseFrames& f, std::int32_t t) {
  const std::int64_t sum = std::int64_t{v->start} + OffsetAt(*v, f, t);
  v->start = static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, INT32_MIN, INT32_MAX));
}
inline void StopMoving(AnimatedValue* v) { v->speed = v->accelIn = v->accelOut = 0; }

// A static setting of one value: `given` (when not kAbsent) becomes the
// start, otherwise the value shown at the current frame does; it stops moving.
void SettleStatic(AnimatedValue* v, const EaseFrames& f, std::int32_t frame, std::int32_t given);

// The end an animated setting runs to when the list names none: the value
// now shown when the previous animation is over (folded into the start), or
// the end of the animation still running.
std::int32_t DefaultEnd(AnimatedValue* v, const EaseFrames& f, const AnimState& s);

// Plans `v` to move from its start to `end` over `frameCount` frames; the
// ease frames are clamped in place.
void PlanTo(AnimatedValue* v, EaseFrames* f, std::int32_t frameCount, std::int32_t end);

// Difference of two host-given values, kept within 32 bits.
std::int32_t ClampedDelta(std::int32_t end, std::int32_t start);

// State changes of a static setting: marks `restarted` when an animated mode
// ends, then leaves mode static with one redraw pending.
void EnterStatic(AnimState* s, std::int32_t* restarted);
// State changes that start an animated setting from frame 0.
void EnterRunning(AnimState* s, std::int32_t mode);
// A frame count of 0 (or a missing one never set) runs as 1 frame.
inline std::int32_t UsableFrameCount(std::int32_t n) { return n == 0 ? 1 : n; }

}  // namespace vx
