#include "effects/geometric/magnify.h"

#include <algorithm>

#include "effects/geometric/magnify_geometry.h"
#include "effects/geometric/script_arguments.h"
#include "framework/properties.h"

namespace vx {
namespace {

enum PropertyRowIndex {
  kAnimModeRow,
  kInterpolationRow,
  kNumFramesRow,
  kPercentageRow,
  kStartPercentageRow,
  kEndPercentageRow,
  kMagPointRow,
  kMagPointXRow,
  kMagPointYRow,
  kEaseInRow,
  kEaseOutRow,
};

// The animation engine's view of the step, and back.
EaseFrames EaseOf(const Magnify& m) { return {m.easeIn, m.easeOut, m.linear}; }
AnimatedValue StepOf(const Magnify& m) { return {m.baseStep, m.speed, m.accelIn, m.accelOut}; }
void Store(Magnify& m, const AnimatedValue& v, const EaseFrames& f) {
  m.baseStep = v.start;
  m.speed = v.speed;
  m.accelIn = v.accelIn;
  m.accelOut = v.accelOut;
  m.easeIn = f.easeIn;
  m.easeOut = f.easeOut;
  m.linear = f.linear;
}

}  // namespace

void Magnify::SetDefaults(Magnify& m) {
  Store(m, AnimatedValue{kUnitStep, 0, 0, 0}, EaseFrames{});
  m.stepNow = kUnitStep;
  m.magPointX = m.magPointY = kAbsent;
  m.offsetX = m.offsetY = 0;
  m.interpolation = 1;
  m.interpolateNowPending = 0;
}

std::int32_t MagnifyStepAt(const Magnify& m) { return ValueAt(StepOf(m), EaseOf(m), m.anim.frame); }

void StartStaticMagnify(Magnify& m, std::int32_t percentage, std::int32_t* restarted) {
  EnterStatic(&m.anim, restarted);
  const std::int32_t step = StepFromPercentage(percentage);
  // Without a usable percentage the step last drawn stays on screen.
  m.baseStep = step == kAbsent ? m.stepNow : step;
  m.speed = m.accelIn = m.accelOut = 0;
  m.easeIn = m.easeOut = 0;
}

void StartAnimatedMagnify(Magnify& m, std::int32_t mode, std::int32_t numFrames,
                          std::int32_t percentage, std::int32_t startPercentage,
                          std::int32_t easeIn, std::int32_t easeOut, std::int32_t* restarted) {
  if (m.anim.finished == 1) *restarted = 1;
  AnimatedValue step = StepOf(m);
  EaseFrames ease = EaseOf(m);
  std::int32_t end = DefaultEnd(&step, ease, m.anim);
  if (numFrames != kAbsent) m.anim.frameCount = numFrames;
  if (const std::int32_t s = StepFromPercentage(startPercentage); s != kAbsent) step.start = s;
  if (const std::int32_t s = StepFromPercentage(percentage); s != kAbsent) end = s;
  if (easeIn != kAbsent) ease.easeIn = easeIn;
  if (easeOut != kAbsent) ease.easeOut = easeOut;
  // Zero runs as one frame; so do negative counts and the pending mark of a
  // static set-up, which would otherwise plan a backwards animation.
  m.anim.frameCount = std::max(m.anim.frameCount, 1);
  PlanTo(&step, &ease, m.anim.frameCount, end);
  Store(m, step, ease);
  EnterRunning(&m.anim, mode);
}

void Magnify::ApplyProperties(Magnify& m, const HostValue* list, Services* services,
                              std::int32_t* restarted) {
  const PropertyDesc* table = m.propertyTable;
  auto integer = [&](int row) { return GetIntProperty(list, table[row].keySymbol, services); };
  const std::int32_t mode = GetAnimMode(list, table, services);
  const std::int32_t numFrames = integer(kNumFramesRow);
  const std::int32_t interpolation = integer(kInterpolationRow);
  std::int32_t percentage = integer(kPercentageRow);
  if (percentage == kAbsent) percentage = integer(kEndPercentageRow);
  const std::int32_t startPercentage = integer(kStartPercentageRow);
  const std::int32_t easeIn = integer(kEaseInRow);
  const std::int32_t easeOut = integer(kEaseOutRow);
  PointRecord point{};
  std::int32_t x, y;
  if (GetPointProperty(list, table[kMagPointRow].keySymbol, &point, services)) {
    x = point.horizontal;
    y = point.vertical;
  } else {
    x = integer(kMagPointXRow);
    y = integer(kMagPointYRow);
  }

  if (interpolation != kAbsent) m.interpolation = interpolation;
  if (x != kAbsent) m.magPointX = x;
  if (y != kAbsent) m.magPointY = y;
  if (m.magPointX == kAbsent) m.magPointX = 0;
  if (m.magPointY == kAbsent) m.magPointY = 0;

  if (mode == kAbsent && numFrames == kAbsent && percentage == kAbsent &&
      startPercentage == kAbsent && easeIn == kAbsent && easeOut == kAbsent)
    return;
  const std::int32_t newMode = mode == kAbsent ? m.anim.mode : mode;
  if (newMode == kModeStatic)
    StartStaticMagnify(m, percentage, restarted);
  else if (IsAnimatedMode(newMode))
    StartAnimatedMagnify(m, newMode, numFrames, percentage, startPercentage, easeIn, easeOut,
                         restarted);
}

Status Magnify::CallFunction(Magnify& m, Symbol function, const HostValue* args,
                             std::int32_t count, std::int32_t firstIndex, HostValue*,
                             Services* services, std::int32_t*, std::int32_t* changed) {
  if (services == nullptr || services->values == nullptr) return kNoSuchFunction;
  ValueService* values = services->values;
  // Symbols are made in this order; the first failure is the answer.
  enum { kInterpolateNow, kSetInterpolation, kSetMagPoint, kCount };
  constexpr const char* kNames[kCount] = {"InterpolateNow", "SetInterpolation", "SetMagPoint"};
  Symbol symbols[kCount];
  for (int i = 0; i < kCount; ++i)
    if (Status s = values->ops->TextToSymbol(values, kNames[i], &symbols[i]); s != kOk) return s;
  const ScriptCall call(args, count, firstIndex, values, false);
  if (function == symbols[kSetMagPoint]) {
    if (call.Given() != 2) return kScriptPointArgumentCount;
    std::int32_t x = 0, y = 0;
    if (call.Integer(0, &x) != kOk || call.Integer(1, &y) != kOk) return kScriptBadArgument;
    m.magPointX = x;
    m.magPointY = y;
    *changed = 1;
    return kOk;
  }
  if (function == symbols[kInterpolateNow]) {
    m.interpolateNowPending = 1;
    *changed = 1;
    return kOk;
  }
  if (function == symbols[kSetInterpolation]) {
    *changed = 1;
    return SetIntArgument(call, &m.interpolation);
  }
  return kNoSuchFunction;
}

}  // namespace vx
