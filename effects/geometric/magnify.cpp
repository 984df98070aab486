#include "effects/geometric/magnify.h"

#include <algorithm>
#include <limits>

#include "effects/geometric/magnify_geometry.h"
#include "effects/geometric/magnify_loops.h"
#include "effects/geometric/rotate_geometry.h"
#include "effects/geometric/script_arguments.h"
#include "framework/properties.h"
#include "framework/saturating.h"

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

Status Magnify::Render(Magnify& m, PixelView* dst, PixelView* src, AreaRect* update,
                       PixelView* mask, const std::uint16_t*, ColourTable* colours,
                       std::int32_t blend, std::int32_t draw, std::int32_t align,
                       std::int32_t hardMask, ThresholdRecord* thresholds) {
  if (dst == nullptr || src == nullptr || mask == nullptr || update == nullptr) return kOk;
  StepFrame(&m.anim);
  m.stepNow = MagnifyStepAt(m);
  if (m.stepNow == 0) return kOk;
  m.offsetX = m.magPointX;
  m.offsetY = m.magPointY;
  ViewWalk source, wholeMask;
  if (!OpenWalk(src, src->bounds, &source) || !OpenWalk(mask, mask->bounds, &wholeMask))
    return kOk;
  const std::int32_t step = m.stepNow;
  // The geometry is worked out in the destination's own coordinates (its
  // corner at 0, 0), where a sprite near the ends of the plane has room.
  const AreaRect destination = CopyRect(dst->bounds);
  const Shift origin{destination.left, destination.top};
  const AreaRect stage = MakeRect(0, 0, destination.width, destination.height);
  const StagePoint point{SaturateToInt32(std::int64_t{stage.width >> 1} + m.offsetX),
                         SaturateToInt32(std::int64_t{stage.height >> 1} + m.offsetY)};
  const bool interpolate = ShouldRedraw(m.anim.finished, m.interpolation, m.interpolateNowPending);
  const AreaRect maskBounds = CopyRect(mask->bounds);
  const Shift maskPlaced = CentringShift(maskBounds, stage);
  const AreaRect placed = Moved(maskBounds, maskPlaced);
  // The whole area, bilinear included: taps past its edge take the edge's
  // colour rather than the picture losing its last column and row.
  const AreaRect area = align != 0 ? MovedAndCut(CopyRect(src->clip), -origin) : placed;
  AreaRect local = MovedAndCut(*update, -origin);
  FixScaleClip(&local, placed, area, point, step);
  // Within the given update: it fits where it came from.
  *update = local.area == 0 ? EmptyRect() : MovedAndCut(local, origin);
  if (local.area == 0 || draw == 0) return kOk;
  // Only where the sprite lies on the destination.
  AreaRect drawn, onSprite;
  Intersect(&onSprite, local, placed);
  Intersect(&drawn, onSprite, stage);
  if (drawn.area == 0) return kOk;

  const StagePoint centre{CentreX(placed), CentreY(placed)};
  const StagePoint anchor{SaturateToInt32(std::int64_t{source.width / 2} + m.offsetX),
                          SaturateToInt32(std::int64_t{source.height / 2} + m.offsetY)};
  const StagePoint fixed = MagnifyFixedPoint(centre, m.offsetX, m.offsetY, step);
  MagnifyLoopJob job;
  job.source = source;
  job.thresholds = ReadThresholds(thresholds);
  job.blend = blend;
  ReadPalette(colours, &job.palette);
  for (const MagnifyQuadrant& q :
       MagnifyQuadrants(placed, CopyRect(drawn), fixed, m.offsetX, m.offsetY, step)) {
    if (q.rect.area == 0) continue;
    if (!OpenWalk(dst, CopyRect(Moved(q.rect, origin)), &job.destination) ||
        !OpenWalk(mask, CopyRect(Moved(q.rect, -maskPlaced)), &job.mask))
      continue;
    RunMagnifyLoop(*src, *dst, interpolate, hardMask != 0, job,
                   MagnifyMapping(q, centre, anchor, step, source.width, source.height));
  }
  return kOk;
}

Status Magnify::CallFunction(Magnify& m, Symbol function, const HostValue* args,
                             std::int32_t count, std::int32_t firstIndex, HostValue*,
                             Services* services, std::int32_t*, std::int32_t* changed) {
  if (services == nullptr || services->values == nullptr) return kNoSuchFunction;
  ValueService* values = services->values;
  // Symbols are made in this order; the names differ, so the order they are
  // compared in makes no difference.
  enum { kInterpolateNow, kSetInterpolation, kSetMagPoint, kCount };
  constexpr const char* kNames[kCount] = {"InterpolateNow", "SetInterpolation", "SetMagPoint"};
  int which = kCount;
  if (Status s = FindScriptFunction(values, function, kNames, kCount, &which); s != kOk) return s;
  const ScriptCall call(args, count, firstIndex, values, false);
  if (which == kSetMagPoint) {
    if (call.Given() != 2) return kScriptPointArgumentCount;
    std::int32_t x = 0, y = 0;
    if (call.Integer(0, &x) != kOk || call.Integer(1, &y) != kOk) return kScriptBadArgument;
    m.magPointX = x;
    m.magPointY = y;
    *changed = 1;
    return kOk;
  }
  if (which == kInterpolateNow) {
    m.interpolateNowPending = 1;
    *changed = 1;
    return kOk;
  }
  if (which == kSetInterpolation) {
    *changed = 1;
    return SetIntArgument(call, &m.interpolation);
  }
  return kNoSuchFunction;
}

}  // namespace vx
