#include "effects/geometric/swirl.h"

#include "effects/geometric/rotate_geometry.h"
#include "effects/geometric/rotate_render.h"
#include "effects/geometric/script_arguments.h"
#include "effects/geometric/swirl_loops.h"
#include "effects/geometric/swirl_mapping.h"
#include "framework/animation.h"
#include "framework/area_rect.h"
#include "framework/properties.h"
#include "framework/saturating.h"
#include "framework/sprite_records.h"

namespace vx {
namespace {

HostAllocator* CopyAllocator(const ThresholdRecord* thresholds, HostAllocator* fallback) {
  if (thresholds != nullptr && thresholds->words[kThresholdAllocatorWord] != 0)
    return reinterpret_cast<HostAllocator*>(thresholds->words[kThresholdAllocatorWord]);
  return fallback;
}

// The sprite's region both views are sampled over, and where its centre
// pixel lies in it.
struct SampledSprite {
  ViewWalk mask, colour;
  std::int32_t originX = 0, originY = 0;
};

// The mask and colour walks over `region` (mask coordinates) cut to where
// both views have pixels, the colour centred on the mask. False when
// nothing is left or a view cannot be walked.
bool OpenSprite(PixelView* mask, PixelView* colour, const AreaRect& region, SampledSprite* out) {
  const AreaRect maskRect = CopyRect(mask->bounds);
  const AreaRect colourRect = CopyRect(colour->bounds);
  const Shift colourPlaced = CentringShift(colourRect, maskRect);
  AreaRect inMask;
  Intersect(&inMask, region, maskRect);
  const AreaRect both = CopyRect(ClipToPlaced(inMask, colourRect, colourPlaced));
  if (both.area == 0) return false;
  const AreaRect inColour = CopyRect(Moved(both, -colourPlaced));
  out->originX = SaturatingSub(CentreX(maskRect), both.left);
  out->originY = SaturatingSub(CentreY(maskRect), both.top);
  return OpenWalk(mask, both, &out->mask) && OpenWalk(colour, inColour, &out->colour);
}

// Steps the animation and clips the source; the frame's set-up shared by
// both renders. False when there is nothing to draw.
struct SwirlRenderSetUp {
  bool interpolate = false;
  AreaRect region{};  // the sprite's source region, in mask coordinates
};

bool BeginFrame(Swirl& s, PixelView* colour, PixelView* destination, PixelView* mask,
                std::int32_t align, SwirlRenderSetUp* out) {
  StepFrame(&s.anim);
  // Minus the angle shown, not masked.
  s.swirlAngle =
      static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(ShownAngle(s.angle, s.anim)));
  out->interpolate = ShouldRedraw(s.anim.finished, s.interpolation, s.interpolateNowPending);
  out->region = CopyRect(mask->bounds);
  ClipSourceRect(*colour, *destination, &out->region, align);
  return out->region.area != 0;
}

SwirlFrame FrameOf(const Swirl& s, const AreaRect& destination, const AreaRect& maskBounds,
                   const SampledSprite& sprite) {
  return {s.swirlAngle,
          HalfRoundedUp(maskBounds.width),
          HalfRoundedUp(maskBounds.height),
          CentreX(destination),
          CentreY(destination),
          sprite.originX,
          sprite.originY};
}

enum PropertyRowIndex {
  kAnimModeRow,
  kInterpolationRow,
  kNumFramesRow,
  kDegreesRow,
  kRadiansRow,
  kStartDegreesRow,
  kStartRadiansRow,
  kEndDegreesRow,
  kEndRadiansRow,
  kDeltaDegreesRow,
  kDeltaRadiansRow,
  kEaseInRow,
  kEaseOutRow,
};

std::int32_t FirstPresent(std::int32_t a, std::int32_t b) { return a != kAbsent ? a : b; }

}  // namespace

void Swirl::ApplyProperties(Swirl& s, const HostValue* list, Services* services,
                            std::int32_t* restarted) {
  const PropertyDesc* table = s.propertyTable;
  auto integer = [&](int row) { return GetIntProperty(list, table[row].keySymbol, services); };
  auto degrees = [&](int row) { return GetDegreesProperty(list, table[row].keySymbol, services); };
  auto radians = [&](int row) { return GetRadiansProperty(list, table[row].keySymbol, services); };
  const std::int32_t mode = GetAnimMode(list, table, services);
  const std::int32_t numFrames = integer(kNumFramesRow);
  const std::int32_t interpolation = integer(kInterpolationRow);
  const std::int32_t easeIn = integer(kEaseInRow);
  const std::int32_t easeOut = integer(kEaseOutRow);
  const std::int32_t endAngle =
      FirstPresent(FirstPresent(degrees(kDegreesRow), degrees(kEndDegreesRow)),
                   FirstPresent(radians(kRadiansRow), radians(kEndRadiansRow)));
  const std::int32_t startAngle =
      FirstPresent(degrees(kStartDegreesRow), radians(kStartRadiansRow));
  const std::int32_t deltaAngle =
      FirstPresent(degrees(kDeltaDegreesRow), radians(kDeltaRadiansRow));

  if (interpolation != kAbsent) s.interpolation = interpolation;
  if (deltaAngle == kAbsent && startAngle == kAbsent && endAngle == kAbsent &&
      easeOut == kAbsent && easeIn == kAbsent && numFrames == kAbsent && mode == kAbsent)
    return;
  const std::int32_t newMode = mode == kAbsent ? s.anim.mode : mode;
  if (newMode == kModeStatic)
    StartStaticAngle(s.anim, s.angle, newMode, endAngle, deltaAngle, restarted);
  else if (IsAnimatedMode(newMode))
    // Infinite runs the range again and again.
    StartRangeAngle(s.anim, s.angle, newMode, numFrames, endAngle, startAngle, deltaAngle,
                    easeIn, easeOut, restarted);
}

void Swirl::SetDefaults(Swirl& s) {
  ResetAngleAnimation(s.angle);
  BuildUncorrectedAngleTables(s.sinTable, s.cosTable);
  s.sourceCopy = nullptr;
  s.sourceCopyAllocator = nullptr;
  s.interpolation = 1;
  s.interpolateNowPending = 0;
  s.useRadians = 0;
  s.swirlAngle = 0;
}

void Swirl::FreeBuffers(Swirl& s) {
  FreeSourceCopy({&s.sourceCopy, &s.sourceCopyAllocator}, s.header.allocator);
}

Status Swirl::Reset(Swirl& s, Services*, std::int32_t* outA, std::int32_t* outB) {
  // The easing plan, the tables and the private copy stay.
  s.anim = kCreateAnimState;
  s.interpolation = 1;
  s.interpolateNowPending = 0;
  s.useRadians = 0;
  s.angle.baseAngle = 0;
  s.angle.speed = 0;
  *outA = 1;
  *outB = 1;
  return kOk;
}

Status Swirl::Render(Swirl& s, PixelView* dst, PixelView* src, AreaRect* update,
                     PixelView* mask, const std::uint16_t*, ColourTable* colours,
                     std::int32_t blend, std::int32_t, std::int32_t align, std::int32_t,
                     ThresholdRecord* thresholds) {
  if (dst == nullptr || src == nullptr || mask == nullptr || update == nullptr) return kOk;
  SwirlRenderSetUp setUp;
  if (!BeginFrame(s, src, dst, mask, align, &setUp)) return kOk;
  PixelView* colour = src;
  AreaRect colourRegion = setUp.region;
  {
    // The copy is made in the source's own coordinates.
    const AreaRect source = CopyRect(src->bounds);
    colourRegion = Moved(colourRegion, -CentringShift(source, CopyRect(mask->bounds)));
  }
  ViewWalk probe;
  if (align == 2 && OpenWalk(src, src->bounds, &probe)) {
    const SourceCopySlot slot{&s.sourceCopy, &s.sourceCopyAllocator};
    const Status status = CopySourcePixels(slot, src, CopyRect(colourRegion),
                                           CopyAllocator(thresholds, s.header.allocator));
    if (status != kOk) return status;
    colour = s.sourceCopy;
  }

  AreaRect maskRect = CopyRect(mask->bounds);
  if (ClipToSprite(mask, dst, update, &maskRect) == 0) return kOk;
  SampledSprite sprite;
  if (!OpenSprite(mask, colour, setUp.region, &sprite)) return kOk;
  const AreaRect destination = CopyRect(dst->bounds);
  const SwirlFrame frame = FrameOf(s, destination, CopyRect(mask->bounds), sprite);
  SwirlLoopJob job;
  job.mask = sprite.mask;
  job.colour = sprite.colour;
  job.thresholds = ReadThresholds(thresholds);
  job.blend = blend;
  ReadPalette(colours, &job.palette);
  for (const SwirlQuadrant& q : SwirlQuadrants(destination, *update)) {
    if (q.rect.area == 0 || !OpenWalk(dst, q.rect, &job.destination)) continue;
    RunSwirlLoop(*colour, *dst, setUp.interpolate, job,
                 SwirlMapping(frame, q, {s.sinTable, s.cosTable}));
  }
  return kOk;
}

Status Swirl::RenderWithAlpha(Swirl& s, PixelView* dstColour, PixelView* dstAlpha,
                              PixelView* srcColour, PixelView* srcMask, AreaRect* update,
                              const std::uint16_t*, ColourTable* colours, std::int32_t,
                              std::int32_t, std::int32_t align, ThresholdRecord* thresholds) {
  if (dstColour == nullptr || dstAlpha == nullptr || srcColour == nullptr ||
      srcMask == nullptr || update == nullptr)
    return kOk;
  // No private copy here: flag 2 clips like flag 1.
  SwirlRenderSetUp setUp;
  if (!BeginFrame(s, srcColour, dstColour, srcMask, align, &setUp)) return kOk;
  AreaRect maskRect = CopyRect(srcMask->bounds);
  if (ClipToSprite(srcMask, dstColour, update, &maskRect) == 0) return kOk;
  SampledSprite sprite;
  if (!OpenSprite(srcMask, srcColour, setUp.region, &sprite)) return kOk;
  const AreaRect destination = CopyRect(dstColour->bounds);
  const SwirlFrame frame = FrameOf(s, destination, CopyRect(srcMask->bounds), sprite);
  // The alpha view is centred on the colour view.
  const AreaRect alphaBounds = CopyRect(dstAlpha->bounds);
  const Shift alphaPlaced = CentringShift(alphaBounds, destination);
  SwirlLoopJob job;
  job.mask = sprite.mask;
  job.colour = sprite.colour;
  job.thresholds = ReadThresholds(thresholds);
  ReadPalette(colours, &job.palette);
  for (const SwirlQuadrant& q : SwirlQuadrants(destination, *update)) {
    const AreaRect area = ClipToPlaced(q.rect, alphaBounds, alphaPlaced);
    if (area.area == 0) continue;
    SwirlQuadrant part{CopyRect(area), q.sx, q.sy};
    if (!OpenWalk(dstColour, part.rect, &job.destination) ||
        !OpenWalk(dstAlpha, CopyRect(Moved(part.rect, -alphaPlaced)), &job.alpha))
      continue;
    RunSwirlAlphaLoop(*srcColour, *dstColour, setUp.interpolate, job,
                      SwirlMapping(frame, part, {s.sinTable, s.cosTable}));
  }
  return kOk;
}

Status Swirl::GetAlphaAt(Swirl& s, PixelView* alpha, std::int32_t vertical,
                         std::int32_t horizontal, std::int32_t* outValue,
                         SpriteDescription* sprite) {
  AreaRect placed;
  if (!PlaceHitTest(alpha, sprite, outValue, &placed)) return kOk;
  const std::int32_t hw = placed.width >> 1, hh = placed.height >> 1;
  const std::int64_t dx = std::int64_t{horizontal} - hw - placed.left;
  const std::int64_t dy = std::int64_t{vertical} - hh - placed.top;
  const std::int32_t t = SwirlAngleAt(dx, dy, hw, hh, s.swirlAngle);
  const MaskPosition at =
      MapHitByAngle(horizontal, vertical, ToRecord(placed), t, false, {s.sinTable, s.cosTable});
  *outValue = MaskByteAt(alpha, at);
  return kOk;
}

Status Swirl::CallFunction(Swirl& s, Symbol function, const HostValue* args, std::int32_t count,
                           std::int32_t firstIndex, HostValue* result, Services* services,
                           std::int32_t*, std::int32_t* changed) {
  if (services == nullptr || services->values == nullptr) return kNoSuchFunction;
  ValueService* values = services->values;
  enum { kInterpolateNow, kSetInterpolation, kUseRadians, kGetAngle, kCount };
  constexpr const char* kNames[kCount] = {"InterpolateNow", "SetInterpolation", "UseRadians",
                                          "GetAngle"};
  int which = kCount;
  if (Status st = FindScriptFunction(values, function, kNames, kCount, &which); st != kOk)
    return st;
  const ScriptCall call(args, count, firstIndex, values, s.useRadians != 0);
  switch (which) {
    case kInterpolateNow:
      s.interpolateNowPending = 1;
      *changed = 1;
      return kOk;
    case kSetInterpolation:
      *changed = 1;
      return SetIntArgument(call, &s.interpolation);
    case kUseRadians:
      return SetIntArgument(call, &s.useRadians);
    case kGetAngle:
      // Neither masked to one turn nor negated.
      if (result == nullptr) return kScriptBadArgument;
      return AngleToValue(values, s.useRadians != 0, ShownAngle(s.angle, s.anim), result);
    default:
      break;
  }
  return kNoSuchFunction;
}

}  // namespace vx
