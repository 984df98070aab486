#include "effects/geometric/rotate.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>

#include "effects/geometric/rotate_render.h"
#include "framework/animation.h"
#include "framework/properties.h"

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

// Angles wrap like the 32-bit registers they always lived in; only the low
// eight bits are ever drawn.
std::int32_t AddAngles(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t Offset(const Rotate& r, std::int32_t frame) {
  return EasedOffset(r.speed, r.accelIn, r.accelOut, r.linearFrames, r.easeIn, r.easeOut, frame);
}

// Makes the angle now shown the new base.
void CommitOffset(Rotate& r) { r.baseAngle = AddAngles(r.baseAngle, Offset(r, r.anim.frame)); }

void Plan(Rotate& r, std::int32_t frames, std::int32_t distance) {
  PlanEase(frames, distance, &r.easeIn, &r.easeOut, &r.linearFrames, &r.accelIn, &r.accelOut,
           &r.speed);
}

std::int32_t FirstPresent(std::initializer_list<std::int32_t> values) {
  for (std::int32_t v : values)
    if (v != kAbsent) return v;
  return kAbsent;
}

std::int32_t TruncSaturated(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
  if (v <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

void ResetAnimation(Rotate& r) {
  r.anim = kCreateAnimState;
  r.easeIn = 0;
  r.easeOut = 0;
  r.linearFrames = 1;
  r.accelIn = 0;
  r.accelOut = 0;
  r.speed = 0;
  r.baseAngle = 0;
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

std::int32_t CurrentAngle(const Rotate& r) {
  return AngleIndex(AddAngles(r.baseAngle, Offset(r, r.anim.frame)));
}

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

void StartStatic(Rotate& r, std::int32_t mode, std::int32_t endAngle, std::int32_t deltaAngle,
                 std::int32_t* restarted) {
  if (r.anim.mode != kModeStatic) *restarted = 1;
  // The angle now shown, taken before the frame counter is reset: a delta
  // turns the sprite from where it stands.
  const std::int32_t shown = AddAngles(r.baseAngle, Offset(r, r.anim.frame));
  r.anim.mode = mode;
  r.anim.finished = 1;
  r.anim.frameCount = -1;
  r.anim.frame = 1;
  r.anim.direction = 0;
  r.speed = 0;
  if (endAngle != kAbsent) {
    r.baseAngle = endAngle;
  } else {
    r.baseAngle = shown;
    if (deltaAngle != kAbsent) r.baseAngle = AddAngles(r.baseAngle, deltaAngle);
  }
  r.easeIn = r.easeOut = 0;
  r.accelIn = r.accelOut = 0;
}

void StartRange(Rotate& r, std::int32_t mode, std::int32_t numFrames, std::int32_t endAngle,
                std::int32_t startAngle, std::int32_t deltaAngle, std::int32_t easeIn,
                std::int32_t easeOut, std::int32_t* restarted) {
  std::int32_t current;
  if (r.anim.finished == 1) {
    CommitOffset(r);
    *restarted = 1;
    current = r.baseAngle;
  } else {
    current = AddAngles(r.baseAngle, Offset(r, r.anim.frame));
  }
  if (numFrames != kAbsent) r.anim.frameCount = numFrames;
  if (startAngle != kAbsent) r.baseAngle = startAngle;
  std::int32_t target = current;
  if (endAngle != kAbsent)
    target = endAngle;
  else if (deltaAngle != kAbsent)
    target = AddAngles(r.baseAngle, deltaAngle);
  if (easeIn != kAbsent) r.easeIn = easeIn;
  if (easeOut != kAbsent) r.easeOut = easeOut;
  // Zero runs as one frame; so do negative counts and the pending mark of
  // a static set-up, which would otherwise plan a backwards animation.
  if (r.anim.frameCount < 1) r.anim.frameCount = 1;
  Plan(r, r.anim.frameCount, ClampedDelta(target, r.baseAngle));
  r.anim.mode = mode;
  r.anim.frame = 0;
  r.anim.direction = 1;
  r.anim.finished = 0;
}

void StartInfinite(Rotate& r, std::int32_t framesPerRevolution, std::int32_t startAngle,
                   std::int32_t easeIn, std::int32_t* restarted) {
  if (r.anim.finished == 1) *restarted = 1;
  CommitOffset(r);
  if (framesPerRevolution != kAbsent) r.anim.frameCount = framesPerRevolution;
  if (startAngle != kAbsent) r.baseAngle = startAngle;
  if (easeIn != kAbsent) r.easeIn = easeIn;
  r.easeOut = 0;
  if (r.anim.frameCount == 0) r.anim.frameCount = 1;
  std::int32_t distance = kTurn;
  if (r.anim.frameCount < 0) {
    // Counter-clockwise; the most negative count has no positive twin.
    r.anim.frameCount = r.anim.frameCount == std::numeric_limits<std::int32_t>::min()
                            ? std::numeric_limits<std::int32_t>::max()
                            : -r.anim.frameCount;
    distance = -kTurn;
  }
  Plan(r, r.anim.frameCount, distance);
  r.anim.mode = kModeInfinite;
  r.anim.frame = 0;
  r.anim.direction = 1;
  r.anim.finished = 0;
}

void RotateStepFrame(Rotate& r, const AreaRect& destination) {
  AnimState& s = r.anim;
  if (s.finished == 0) {
    const std::int64_t next = static_cast<std::int64_t>(s.frame) + s.direction;
    s.frame = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        next, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    if (s.frame >= s.frameCount || s.frame < 1) {
      if (s.mode == kModePendulum) {
        s.direction = -s.direction;
      } else if (s.mode == kModeRange) {
        s.finished = 1;
      } else {
        s.frame = 0;
        if (r.easeIn != 0) {
          // The accelerating first revolution is over: keep the speed reached.
          float cycle;
          if (r.speed != 0.0f)
            cycle = 256.0f / std::fabs(r.speed);
          else
            cycle = static_cast<float>(static_cast<std::int64_t>(r.easeOut) + r.easeIn);
          if (cycle == 0.0f && r.speed == 0.0f) cycle = 10.0f;
          s.frameCount = TruncSaturated(cycle);
          r.linearFrames = s.frameCount;
          r.easeIn = 0;
          r.accelIn = 0;
        }
      }
    }
  }
  if (s.mode == kModeRelativeToPoint)
    r.baseAngle = AimAtPoint(ToRecord(destination), r.relativeToX, r.relativeToY, r.flip != 0,
                             r.offsetAngle);
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
      StartStatic(r, newMode, endAngle, deltaAngle, restarted);
      break;
    case kModeRange:
    case kModePendulum:
      StartRange(r, newMode, numFrames, endAngle, startAngle, deltaAngle, easeIn, easeOut,
                 restarted);
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
