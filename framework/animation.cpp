#include "framework/animation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "framework/saturating.h"

namespace vx {
namespace {

// Rounds to single precision. Builds that compute floats in wider x87
// registers would otherwise carry extra bits from one step to the next.
float Single(float v) {
  volatile float stored = v;
  return stored;
}

}  // namespace

void StepFrame(std::int32_t* frame, std::int32_t* direction, std::int32_t mode,
               std::int32_t* finished, std::int32_t frameCount) {
  if (*finished) return;
  *frame = SaturatingAdd(*frame, *direction);
  if (*frame < frameCount && *frame >= 1) return;
  switch (mode) {
    case kModePendulum:
      *direction = -*direction;
      break;
    case kModeRange:
      *finished = 1;
      break;
    case kModeInfinite:
      *frame = 0;
      break;
    default:
      break;
  }
}

void PlanEase(std::int32_t frameCount, std::int32_t delta, std::int32_t* easeIn,
              std::int32_t* easeOut, std::int32_t* linear, float* accelIn, float* accelOut,
              float* speed) {
  const std::int32_t n = frameCount;
  // A negative ease length has no meaning; it would only corrupt the split.
  std::int32_t in = std::max(*easeIn, 0);
  std::int32_t out = std::max(*easeOut, 0);
  std::int32_t lin = 0;
  if (in >= n) {
    in = n;
    out = 0;
  }
  if (out >= n) {
    out = n;
    in = 0;
  }
  if (static_cast<std::int64_t>(in) + out > n) out = n - in;
  lin = n - out - in;

  float v = 0.0f;
  if (lin != 0 || out != 0 || in != 0) {
    const float divisor = Single(static_cast<float>(lin) +
                                 Single(static_cast<float>(static_cast<std::int64_t>(in) + out) / 2.0f));
    v = Single(static_cast<float>(delta) / divisor);
  }
  *speed = v;
  *accelOut = out != 0 ? Single(v / static_cast<float>(out)) : 0.0f;
  *accelIn = in != 0 ? Single(v / static_cast<float>(in)) : 0.0f;
  *easeIn = in;
  *easeOut = out;
  *linear = lin;
}

std::int32_t EasedOffset(float speed, float accelIn, float accelOut, std::int32_t linear,
                         std::int32_t easeIn, std::int32_t easeOut, std::int32_t t) {
  const std::int32_t e = std::min(easeIn, t);
  const float fe = static_cast<float>(e);
  const float ae = Single(Single(Single(fe * fe) * accelIn) / 2.0f);
  const std::int32_t a = TruncToInt32(ae);

  const std::int32_t l = std::min<std::int64_t>(linear, static_cast<std::int64_t>(t) - e);
  const float bl = Single(Single(static_cast<float>(l) * speed) + static_cast<float>(a));
  const std::int32_t b = TruncToInt32(bl);

  const std::int32_t o =
      std::min<std::int64_t>(easeOut, static_cast<std::int64_t>(t) - e - l);
  const float fout = static_cast<float>(easeOut);
  const float rest = static_cast<float>(static_cast<std::int64_t>(easeOut) - o);
  const float whole = Single(Single(Single(fout * fout) * accelOut) / 2.0f);
  const float left = Single(Single(Single(rest * rest) * accelOut) / 2.0f);
  const float sum = Single(Single(whole - left) + static_cast<float>(b));
  return TruncToInt32(sum);
}

void SettleStatic(AnimatedValue* v, const EaseFrames& f, std::int32_t frame, std::int32_t given) {
  if (given != kAbsent)
    v->start = given;
  else
    FoldIntoStart(v, f, frame);
  StopMoving(v);
}

std::int32_t DefaultEnd(AnimatedValue* v, const EaseFrames& f, const AnimState& s) {
  if (s.finished) {
    FoldIntoStart(v, f, s.frame);
    return v->start;
  }
  return SaturatingAdd(v->start, OffsetAt(*v, f, s.frameCount));
}

std::int32_t ClampedDelta(std::int32_t end, std::int32_t start) {
  const std::int64_t d = static_cast<std::int64_t>(end) - start;
  return SaturateToInt32(d);
}

void PlanTo(AnimatedValue* v, EaseFrames* f, std::int32_t frameCount, std::int32_t end) {
  PlanEase(frameCount, ClampedDelta(end, v->start), &f->easeIn, &f->easeOut, &f->linear,
           &v->accelIn, &v->accelOut, &v->speed);
}

void EnterStatic(AnimState* s, std::int32_t* restarted) {
  if (s->mode != kModeStatic && restarted) *restarted = 1;
  s->mode = kModeStatic;
  s->finished = 1;
  s->frameCount = -1;
  s->frame = 1;
  s->direction = 0;
}

void EnterRunning(AnimState* s, std::int32_t mode) {
  s->mode = mode;
  s->frame = 0;
  s->direction = 1;
  s->finished = 0;
}

}  // namespace vx
