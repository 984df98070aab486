// The rotate effect: the sprite turned about its centre by a fixed,
// animated or aimed angle, optionally mirrored, sampled nearest or bilinear.
#pragma once

#include <cstdint>

#include "effects/geometric/angle_animation.h"
#include "effects/geometric/rotate_angles.h"
#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct Rotate : EffectInstance {
  static constexpr char kName[] = "rotate";
  static constexpr char kDisplayName[] = "Rotate";
  static constexpr std::int32_t kDescriptionId = 102;
  static constexpr bool kChangesAlpha = true;
  // Rows 7-9 and 15 are read as radians although typed float, row 19 too
  // although hosts have always been told it is an integer.
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol},          {"interpolation", 101, kTypeInteger},
      {"numFrames", 102, kTypeInteger},        {"framesPerRevolution", 303, kTypeInteger},
      {"degrees", 304, kTypeInteger},          {"startDegrees", 305, kTypeInteger},
      {"endDegrees", 306, kTypeInteger},       {"radians", 307, kTypeFloat},
      {"startRadians", 308, kTypeFloat},       {"endRadians", 309, kTypeFloat},
      {"flip", 310, kTypeInteger},             {"relativeTo", 311, kTypePoint},
      {"relativeToX", 312, kTypeInteger},      {"relativeToY", 313, kTypeInteger},
      {"offsetAngle", 314, kTypeInteger},      {"offsetAngleRad", 315, kTypeFloat},
      {"easeIn", 316, kTypeInteger},           {"easeOut", 317, kTypeInteger},
      {"deltaDegrees", 318, kTypeInteger},     {"deltaRadians", 319, kTypeInteger},
  };

  AngleAnimation angle;  // easing plan and base angle
  AngleTable sinTable;
  AngleTable cosTable;
  // Source displacement (8.8) for one destination column and one row.
  std::int32_t colStepX, colStepY;
  std::int32_t rowStepX, rowStepY;
  // Private copy of the source pixels (align flag 2), and the allocator
  // that made it, which also frees it.
  PixelView* sourceCopy;
  HostAllocator* sourceCopyAllocator;
  std::int32_t flip;
  std::int32_t interpolation;  // 0 never, 1 always, 2 while standing still
  std::int32_t interpolateNowPending;
  std::int32_t offsetAngle;
  std::int32_t relativeToX, relativeToY;
  std::int32_t useRadians;  // script angles in radians rather than degrees
  // Rectangles of the last Render: top, left, bottom, right.
  RectRecord maskRect;
  RectRecord destRect;

  static void SetDefaults(Rotate& r);
  static void FreeBuffers(Rotate& r);
  static void ApplyProperties(Rotate& r, const HostValue* list, Services* services,
                              std::int32_t* restarted);
  static Status IsStill(Rotate& r, std::int32_t* out, std::int32_t reason);
  static Status Resume(Rotate& r, Word unused, std::int32_t* changed);
  static Status Reset(Rotate& r, Services* services, std::int32_t* outA, std::int32_t* outB);
  static Status Render(Rotate& r, PixelView* dst, PixelView* src, AreaRect* update,
                       PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                       std::int32_t blend, std::int32_t draw, std::int32_t align,
                       std::int32_t hardMask, ThresholdRecord* thresholds);
  static Status RenderWithAlpha(Rotate& r, PixelView* dstColour, PixelView* dstAlpha,
                                PixelView* srcColour, PixelView* srcMask, AreaRect* update,
                                const std::uint16_t* maskRuns, ColourTable* colours,
                                std::int32_t blend, std::int32_t draw, std::int32_t align,
                                ThresholdRecord* thresholds);
  static Status GetAlphaAt(Rotate& r, PixelView* alpha, std::int32_t vertical,
                           std::int32_t horizontal, std::int32_t* outValue,
                           SpriteDescription* sprite);
  static Status CallFunction(Rotate& r, Symbol function, const HostValue* args,
                             std::int32_t count, std::int32_t firstIndex, HostValue* result,
                             Services* services, std::int32_t* restarted,
                             std::int32_t* changed);
};

// (baseAngle + eased offset at the current frame) & 255.
std::int32_t CurrentAngle(const Rotate& r);

// Rotate's infinite set-up (static and range are StartStaticAngle and
// StartRangeAngle); kAbsent marks a value not given.
void StartInfinite(Rotate& r, std::int32_t framesPerRevolution, std::int32_t startAngle,
                   std::int32_t easeIn, std::int32_t* restarted);

// One frame forward at the start of a render; aims at the point in
// relativeToPoint mode, using the destination rectangle's centre.
void RotateStepFrame(Rotate& r, const AreaRect& destination);

inline AngleTablesRef TablesOf(const Rotate& r) { return {r.sinTable, r.cosTable}; }

}  // namespace vx
