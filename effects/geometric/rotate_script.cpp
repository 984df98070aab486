#include "effects/geometric/rotate_script.h"

#include <cmath>

#include "effects/geometric/rotate.h"
#include "effects/geometric/rotate_geometry.h"
#include "framework/animation.h"
#include "framework/saturating.h"

namespace vx {

namespace {

constexpr double kTwoPiIn = 6.283185307;
constexpr double kPi = 3.141592654;


}  // namespace

RectRecord DefaultScriptRect(const RectRecord& maskRect, const RectRecord& destRect) {
  const std::int64_t maskW = static_cast<std::int64_t>(maskRect.right) - maskRect.left;
  const std::int64_t maskH = static_cast<std::int64_t>(maskRect.bottom) - maskRect.top;
  const std::int64_t destW = static_cast<std::int64_t>(destRect.right) - destRect.left;
  const std::int64_t destH = static_cast<std::int64_t>(destRect.bottom) - destRect.top;
  const std::int64_t left = destRect.left + (destW >> 1) - (maskW >> 1);
  const std::int64_t top = destRect.top + (destH >> 1) - (maskH >> 1);
  // A centred rectangle that leaves the plane cannot exist: empty.
  RectRecord out{};
  if (!FitsInt32(left) || !FitsInt32(top) || !FitsInt32(left + maskW) ||
      !FitsInt32(top + maskH))
    return out;
  out.top = static_cast<std::int32_t>(top);
  out.left = static_cast<std::int32_t>(left);
  out.bottom = static_cast<std::int32_t>(top + maskH);
  out.right = static_cast<std::int32_t>(left + maskW);
  return out;
}

bool PointInRotatedRect(std::int32_t angle, const RectRecord& rect, const PointRecord& point) {
  const std::int64_t w = static_cast<std::int64_t>(rect.right) - rect.left;
  const std::int64_t h = static_cast<std::int64_t>(rect.bottom) - rect.top;
  const std::int64_t cx = rect.left + (w >> 1);
  const std::int64_t cy = rect.top + (h >> 1);
  const std::int64_t dx = point.horizontal - cx;
  const std::int64_t dy = point.vertical - cy;
  const double ddx = static_cast<double>(dx), ddy = static_cast<double>(dy);
  const float dist = static_cast<float>(std::sqrt(ddx * ddx + ddy * ddy));
  if (dist == 0.0f) return true;

  // Polar angle over the full turn, from +x toward +y.
  float a = static_cast<float>(ClampedAsin(static_cast<float>(dy) / dist));
  if (dx < 0) a = static_cast<float>(kPi - a);
  const float b = a - static_cast<float>(angle * kTwoPiIn / 256);
  const std::int64_t x = cx + static_cast<std::int64_t>(std::trunc(std::cos(static_cast<double>(b)) * dist));
  const std::int64_t y = cy + static_cast<std::int64_t>(std::trunc(std::sin(static_cast<double>(b)) * dist));
  return rect.left <= x && x < rect.right && rect.top <= y && y < rect.bottom;
}

PointRecord GetVector(std::int32_t angle, std::int32_t distance, AngleTablesRef tables) {
  const std::int32_t k = AngleIndex(angle);
  // 64-bit products: an 8.8 entry times a distance above 2^23 passes 2^31,
  // and the shifted result always fits again.
  PointRecord p;
  p.horizontal = static_cast<std::int32_t>((tables.sine[k] * static_cast<std::int64_t>(distance)) >> 8);
  p.vertical = static_cast<std::int32_t>((tables.cosine[k] * static_cast<std::int64_t>(distance)) >> 8);
  return p;
}

}  // namespace vx

// ---------------------------------------------------------------------------
// Rotate's script functions.

namespace vx {

namespace {

// In dispatch order: the first name whose symbol matches runs.
enum ScriptFunction {
  kInterpolateNow,
  kSetInterpolation,
  kRelToPoint,
  kUseRadians,
  kFlip,
  kGetAngle,
  kGetVector,
  kGetRotatedRect,
  kIsPointInRotatedRect,
  kScriptFunctionCount,
};

constexpr const char* kScriptNames[kScriptFunctionCount] = {
    "InterpolateNow", "SetInterpolation", "RelToPoint",     "UseRadians",          "Flip",
    "GetAngle",       "GetVector",        "GetRotatedRect", "IsPointInRotatedRect"};

std::int32_t ScriptAngle(const Rotate& r) {
  return ScriptCurrentAngle(CurrentAngle(r), r.flip != 0);
}

RectRecord DefaultRect(const Rotate& r) { return DefaultScriptRect(r.maskRect, r.destRect); }

Status RelToPoint(Rotate& r, const ScriptCall& call, std::int32_t* restarted,
                  std::int32_t* changed) {
  if (r.anim.mode == kModeRange || r.anim.mode == kModeInfinite) *restarted = 1;
  r.anim.mode = kModeRelativeToPoint;
  *changed = 1;
  const std::int32_t n = call.Given();
  if (n < 2) return kOk;
  std::int32_t x = 0, y = 0;
  if (call.Integer(0, &x) != kOk || call.Integer(1, &y) != kOk) return kScriptBadArgument;
  r.relativeToX = x;
  r.relativeToY = y;
  r.anim.finished = 1;
  r.anim.frame = 0;
  r.angle.speed = 0;
  if (n >= 3) {
    if (Status s = call.Angle(2, &r.offsetAngle); s != kOk) return s;
  }
  if (n >= 4) {
    if (Status s = call.Integer(3, &r.flip); s != kOk) return s;
  }
  if (n == 5) {
    if (Status s = call.Integer(4, &r.interpolation); s != kOk) return s;
  }
  return n > 5 ? kScriptArgumentCount : kOk;
}

Status Flip(Rotate& r, const ScriptCall& call) {
  if (call.Given() == 0) {
    r.flip = Toggled(r.flip);
    return kOk;
  }
  if (call.Given() > 1) return kScriptArgumentCount;
  return call.Integer(0, &r.flip);
}

Status GetVectorCall(const Rotate& r, const ScriptCall& call, ValueService* values,
                     HostValue* result) {
  if (call.Given() == 0) return kScriptArgumentCount;
  std::int32_t distance = 0;
  if (Status s = call.Integer(0, &distance); s != kOk) return s;
  std::int32_t angle = ScriptAngle(r);
  if (call.Given() == 2) {
    if (Status s = call.Angle(1, &angle); s != kOk) return s;
  } else if (call.Given() > 2) {
    return kScriptArgumentCount;
  }
  const PointRecord p = GetVector(angle, distance, TablesOf(r));
  return values->ops->PointToValue(values, &p, result);
}

Status GetRotatedRectCall(const Rotate& r, const ScriptCall& call, ValueService* values,
                          HostValue* result) {
  std::int32_t angle = ScriptAngle(r);
  if (call.Given() >= 1) {
    if (Status s = call.Angle(0, &angle); s != kOk) return s;
  }
  RectRecord rect = DefaultRect(r);
  if (call.Given() >= 2) {
    if (Status s = call.Rect(1, &rect); s != kOk) return s;
  }
  if (call.Given() > 2) return kScriptArgumentCount;
  const RectRecord bounds = RotatedBounds(angle, rect, TablesOf(r));
  return values->ops->RectToValue(values, &bounds, result);
}

Status IsPointInRotatedRectCall(const Rotate& r, const ScriptCall& call, ValueService* values,
                                HostValue* result) {
  PointRecord point{};
  if (call.Given() == 0 || !call.Point(0, &point)) return kScriptPointExpected;
  std::int32_t angle = ScriptAngle(r);
  if (call.Given() >= 2) {
    if (Status s = call.Angle(1, &angle); s != kOk) return s;
  }
  RectRecord rect = DefaultRect(r);
  if (call.Given() >= 3) {
    if (Status s = call.Rect(2, &rect); s != kOk) return s;
  }
  if (call.Given() > 3) return kScriptArgumentCount;
  return values->ops->IntegerToValue(values, PointInRotatedRect(angle, rect, point) ? 1 : 0,
                                     result);
}

}  // namespace

Status Rotate::CallFunction(Rotate& r, Symbol function, const HostValue* args,
                            std::int32_t count, std::int32_t firstIndex, HostValue* result,
                            Services* services, std::int32_t* restarted,
                            std::int32_t* changed) {
  if (services == nullptr || services->values == nullptr) return kNoSuchFunction;
  ValueService* values = services->values;
  int which = kScriptFunctionCount;
  if (Status s = FindScriptFunction(values, function, kScriptNames, kScriptFunctionCount, &which);
      s != kOk)
    return s;

  const ScriptCall call(args, count, firstIndex, values, r.useRadians != 0);
  // Functions that answer need somewhere to put it.
  const bool answers = which == kGetAngle || which == kGetVector || which == kGetRotatedRect ||
                       which == kIsPointInRotatedRect;
  if (answers && result == nullptr) return kScriptBadArgument;
  switch (which) {
    case kInterpolateNow:
      r.interpolateNowPending = 1;
      *changed = 1;
      return kOk;
    case kSetInterpolation:
      *changed = 1;
      return SetIntArgument(call, &r.interpolation);
    case kRelToPoint:
      return RelToPoint(r, call, restarted, changed);
    case kUseRadians:
      return SetIntArgument(call, &r.useRadians);
    case kFlip:
      return Flip(r, call);
    case kGetAngle:
      return AngleToValue(values, r.useRadians != 0, ScriptAngle(r), result);
    case kGetVector:
      return GetVectorCall(r, call, values, result);
    case kGetRotatedRect:
      return GetRotatedRectCall(r, call, values, result);
    case kIsPointInRotatedRect:
      return IsPointInRotatedRectCall(r, call, values, result);
    default:
      return kNoSuchFunction;
  }
}

}  // namespace vx
