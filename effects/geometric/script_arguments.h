// Script calls of the geometric effects: their status codes and the reader
// of a call's arguments, shared by rotate, swirl and magnify.
#pragma once

#include <cstdint>

#include "effects/geometric/rotate_angles.h"
#include "framework/saturating.h"
#include "vornix/abi.h"

namespace vx {

// Script status codes (kNoSuchFunction, 0x800407DF, is in the ABI header).
inline constexpr Status kScriptBadArgument = static_cast<Status>(0x800407D9u);
inline constexpr Status kScriptPointExpected = static_cast<Status>(0x800407DDu);
inline constexpr Status kScriptRectExpected = static_cast<Status>(0x800407DEu);
inline constexpr Status kScriptPointArgumentCount = static_cast<Status>(0x800407E3u);
inline constexpr Status kScriptArgumentCount = static_cast<Status>(0x800407E5u);

// One script call: its arguments from `firstIndex` on, read through the
// value service; angles in degrees or, when `radians`, radians.
class ScriptCall {
 public:
  ScriptCall(const HostValue* args, std::int32_t count, std::int32_t firstIndex,
             ValueService* values, bool radians)
      : args_(args),
        first_(firstIndex < 0 ? 0 : firstIndex),
        given_(args != nullptr ? CountFrom(count, firstIndex) : 0),
        values_(values),
        radians_(radians) {}

  std::int32_t Given() const { return given_; }
  const HostValue* Arg(std::int32_t i) const { return &args_[first_ + i]; }

  Status Integer(std::int32_t i, std::int32_t* out) const {
    std::int32_t v = 0;
    if (values_->ops->ValueToInteger(values_, Arg(i), &v) != kOk) return kScriptBadArgument;
    *out = v;
    return kOk;
  }
  // An angle in the script unit, as 1/256 turn.
  Status Angle(std::int32_t i, std::int32_t* out) const {
    if (radians_) {
      double v = 0;
      if (values_->ops->ValueToFloat(values_, Arg(i), &v) != kOk) return kScriptBadArgument;
      *out = RadiansToAngle(v);
      return kOk;
    }
    std::int32_t v = 0;
    if (values_->ops->ValueToInteger(values_, Arg(i), &v) != kOk) return kScriptBadArgument;
    *out = DegreesToAngle(v);
    return kOk;
  }
  Status Rect(std::int32_t i, RectRecord* out) const {
    RectRecord v{};
    if (values_->ops->ValueToRect(values_, Arg(i), &v) != kOk) return kScriptRectExpected;
    *out = v;
    return kOk;
  }
  bool Point(std::int32_t i, PointRecord* out) const {
    std::int32_t type = 0;
    if (values_->ops->GetValueType(values_, Arg(i), &type) != kOk || type != kTypePoint)
      return false;
    PointRecord v{};
    if (values_->ops->ValueToPoint(values_, Arg(i), &v) != kOk) return false;
    *out = v;
    return true;
  }

 private:
  const HostValue* args_;
  std::int32_t first_;
  std::int32_t given_;
  ValueService* values_;
  bool radians_;
};

// Exactly one integer argument into `field`.
inline Status SetIntArgument(const ScriptCall& call, std::int32_t* field) {
  if (call.Given() != 1) return kScriptArgumentCount;
  return call.Integer(0, field);
}

// Which of an effect's script functions `function` names: the names are
// turned into symbols in the order given (a failure is returned at once),
// then compared in that order. `*which` is `count` when none matches.
inline Status FindScriptFunction(ValueService* values, Symbol function,
                                 const char* const* names, int count, int* which) {
  *which = count;
  for (int i = 0; i < count; ++i) {
    Symbol symbol = 0;
    if (Status s = values->ops->TextToSymbol(values, names[i], &symbol); s != kOk) return s;
    if (symbol == function && *which == count) *which = i;
  }
  return kOk;
}

// An angle (1/256 turn) as the script unit's value: whole degrees, or
// radians when `radians`.
inline Status AngleToValue(ValueService* values, bool radians, std::int32_t angle,
                           HostValue* out) {
  if (radians) return values->ops->FloatToValue(values, AngleToRadians(angle), out);
  return values->ops->IntegerToValue(values, AngleToDegrees(angle), out);
}

}  // namespace vx
