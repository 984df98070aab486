#include "effects/geometric/rotate.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>

#include "effects/geometric/rotate_render.h"
#include "framework/animation.h"
#include "framework/properties.h"
#include "framework/saturating.h"

namespace vx {
namespace {

enum PropertyRowIndex {
  kAnimModeRow,
  kInterpolationRow,
  kNumFramesRow,
  kFramesPerRevolutionRow,
  kDegreesRow,
  kStartDegreesRow,
  kEndDegreesRow,
  kRadiansRow,
  kStartRadiansRow,
  kEndRadiansRow,
  kFlipRow,
  kRelativeToRow,
  kRelativeToXRow,
  kRelativeToYRow,
  kOffsetAngleRow,
  kOffsetAngleRadRow,
  kEaseInRow,
  kEaseOutRow,
  kDeltaDegreesRow,
  kDeltaRadiansRow,
};

std::int32_t FirstPresent(std::initializer_list<std::int32_t> values) {
  for (std::int32_t v : values)
    if (v != kAbsent) return v;
  return kAbsent;
}

void ResetAnimation(Rotate& r) {
  r.anim = kCreateAnimState;
  ResetAngleAnimation(r.angle);
}

void ResetOptions(Rotate& r) {
  r.flip = 0;
  r.interpolation = 1;
  r.interpolateNowPending = 0;
  r.offsetAngle = 0;
  r.relativeToX = 0;
  r.relativeToY = 0;
  r.useRadians = 0;
}

}  // namespace

std::int32_t CurrentAngle(const Rotate& r) { return AngleIndex(ShownAngle(r.angle, r.anim)); }

void Rotate::SetDefaults(Rotate& r) {
  ResetAnimation(r);
  ResetOptions(r);
  BuildAngleTables(r.sinTable, r.cosTable);
  r.colStepX = r.colStepY = r.rowStepX = r.rowStepY = 0;
  r.sourceCopy = nullptr;
  r.sourceCopyAllocator = nullptr;
  r.maskRect = RectRecord{};
  r.destRect = RectRecord{};
}

void Rotate::FreeBuffers(Rotate& r) {
  FreeSourceCopy({&r.sourceCopy, &r.sourceCopyAllocator}, r.header.allocator);
}

Status Rotate::IsStill(Rotate& r, std::int32_t* out, std::int32_t reason) {
  *out = r.anim.finished == 1 && reason != 2 ? 1 : 0;
  return kOk;
}

Status Rotate::Resume(Rotate& r, Word, std::int32_t* changed) {
  r.anim.finished = 0;
  *changed = 1;
  return kOk;
}

Status Rotate::Reset(Rotate& r, Services*, std::int32_t* outA, std::int32_t*) {
  // Tables, the rectangles of the last render and the private copy stay.
  ResetAnimation(r);
  ResetOptions(r);
  *outA = 1;
  return kOk;
}

void StartInfinite(Rotate& r, std::int32_t framesPerRevolution, std::int32_t startAngle,
                   std::int32_t easeIn, std::int32_t* restarted) {
  if (r.anim.finished == 1) *restarted = 1;
  CommitAngle(r.angle, r.anim);
  if (framesPerRevolution != kAbsent) r.anim.frameCount = framesPerRevolution;
  if (startAngle != kAbsent) r.angle.baseAngle = startAngle;
  if (easeIn != kAbsent) r.angle.easeIn = easeIn;
  r.angle.easeOut = 0;
  if (r.anim.frameCount == 0) r.anim.frameCount = 1;
  std::int32_t distance = kTurn;
  if (r.anim.frameCount < 0) {
    // Counter-clockwise; the most negative count has no positive twin.
    r.anim.frameCount = r.anim.frameCount == std::numeric_limits<std::int32_t>::min()
                            ? std::numeric_limits<std::int32_t>::max()
                            : -r.anim.frameCount;
    distance = -kTurn;
  }
  PlanAngle(r.angle, r.anim.frameCount, distance);
  r.anim.mode = kModeInfinite;
  r.anim.frame = 0;
  r.anim.direction = 1;
  r.anim.finished = 0;
}

void RotateStepFrame(Rotate& r, const AreaRect& destination) {
  AnimState& s = r.anim;
  if (s.finished == 0) {
    const std::int64_t next = static_cast<std::int64_t>(s.frame) + s.direction;
    s.frame = SaturateToInt32(next);
    if (s.frame >= s.frameCount || s.frame < 1) {
      if (s.mode == kModePendulum) {
        s.direction = -s.direction;
      } else if (s.mode == kModeRange) {
        s.finished = 1;
      } else {
        s.frame = 0;
        if (r.angle.easeIn != 0) {
          // The accelerating first revolution is over: keep the speed reached.
          float cycle;
          if (r.angle.speed != 0.0f)
            cycle = 256.0f / std::fabs(r.angle.speed);
          else
            cycle = static_cast<float>(static_cast<std::int64_t>(r.angle.easeOut) + r.angle.easeIn);
          if (cycle == 0.0f && r.angle.speed == 0.0f) cycle = 10.0f;
          s.frameCount = TruncToInt32(cycle);
          r.angle.linearFrames = s.frameCount;
          r.angle.easeIn = 0;
          r.angle.accelIn = 0;
        }
      }
    }
  }
  if (s.mode == kModeRelativeToPoint)
    r.angle.baseAngle = AimAtPoint(ToRecord(destination), r.relativeToX, r.relativeToY,
                                   r.flip != 0, r.offsetAngle);
  if (s.finished == 1 && r.interpolation == 2) r.interpolateNowPending = 1;
}

void Rotate::ApplyProperties(Rotate& r, const HostValue* list, Services* services,
                             std::int32_t* restarted) {
  const PropertyDesc* table = r.propertyTable;
  auto integer = [&](int row) { return GetIntProperty(list, table[row].keySymbol, services); };
  auto degrees = [&](int row) { return GetDegreesProperty(list, table[row].keySymbol, services); };
  auto radians = [&](int row) { return GetRadiansProperty(list, table[row].keySymbol, services); };

  const std::int32_t mode = GetAnimMode(list, table, services);
  const std::int32_t numFrames = integer(kNumFramesRow);
  const std::int32_t interpolation = integer(kInterpolationRow);
  std::int32_t framesPerRevolution = integer(kFramesPerRevolutionRow);
  if (framesPerRevolution == kAbsent) framesPerRevolution = numFrames;
  const std::int32_t flip = integer(kFlipRow);
  const std::int32_t easeIn = integer(kEaseInRow);
  const std::int32_t easeOut = integer(kEaseOutRow);
  PointRecord point{};
  std::int32_t pointX, pointY;
  // The point wins over its separate coordinates.
  if (GetPointProperty(list, table[kRelativeToRow].keySymbol, &point, services)) {
    pointX = point.horizontal;
    pointY = point.vertical;
  } else {
    pointX = integer(kRelativeToXRow);
    pointY = integer(kRelativeToYRow);
  }
  const std::int32_t endAngle = FirstPresent({degrees(kDegreesRow), degrees(kEndDegreesRow),
                                              radians(kRadiansRow), radians(kEndRadiansRow)});
  const std::int32_t startAngle =
      FirstPresent({degrees(kStartDegreesRow), radians(kStartRadiansRow)});
  const std::int32_t offsetAngle =
      FirstPresent({degrees(kOffsetAngleRow), radians(kOffsetAngleRadRow)});
  const std::int32_t deltaAngle =
      FirstPresent({degrees(kDeltaDegreesRow), radians(kDeltaRadiansRow)});

  if (flip != kAbsent) r.flip = flip;
  if (interpolation != kAbsent) r.interpolation = interpolation;
  if (pointX != kAbsent) r.relativeToX = pointX;
  if (pointY != kAbsent) r.relativeToY = pointY;
  if (offsetAngle != kAbsent) r.offsetAngle = offsetAngle;

  const bool animationTouched = endAngle != kAbsent || easeOut != kAbsent || easeIn != kAbsent ||
                                framesPerRevolution != kAbsent || deltaAngle != kAbsent ||
                                numFrames != kAbsent || mode != kAbsent || startAngle != kAbsent;
  if (!animationTouched) return;

  const std::int32_t newMode = mode == kAbsent ? r.anim.mode : mode;
  switch (newMode) {
    case kModeStatic:
    case kModeRelativeToPoint:
      StartStaticAngle(r.anim, r.angle, newMode, endAngle, deltaAngle, restarted);
      break;
    case kModeRange:
    case kModePendulum:
      StartRangeAngle(r.anim, r.angle, newMode, numFrames, endAngle, startAngle, deltaAngle,
                      easeIn, easeOut, restarted);
      break;
    case kModeInfinite:
      StartInfinite(r, framesPerRevolution, startAngle, easeIn, restarted);
      break;
    default:
      // follow, and symbols outside the mode table: nothing changes.
      break;
  }
}

}  // namespace vx
