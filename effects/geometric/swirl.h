// The swirl effect: the sprite twisted about its centre, each pixel turned
// by an angle that is whole at the centre and falls off linearly toward the
// sprite's edges; the angle fixed or animated, sampled nearest or bilinear.
#pragma once

#include <cstdint>

#include "effects/geometric/angle_animation.h"
#include "effects/geometric/rotate_angles.h"
#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct Swirl : EffectInstance {
  static constexpr char kName[] = "swirl";
  static constexpr char kDisplayName[] = "Swirl";
  static constexpr std::int32_t kDescriptionId = 106;
  static constexpr bool kChangesAlpha = true;
  // Row 10 is read as radians although hosts are told it is an integer.
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol},      {"interpolation", 101, kTypeInteger},
      {"numFrames", 102, kTypeInteger},    {"degrees", 504, kTypeInteger},
      {"radians", 507, kTypeFloat},        {"startDegrees", 505, kTypeInteger},
      {"startRadians", 508, kTypeFloat},   {"endDegrees", 506, kTypeInteger},
      {"endRadians", 509, kTypeFloat},     {"deltaDegrees", 518, kTypeInteger},
      {"deltaRadians", 519, kTypeInteger}, {"easeIn", 516, kTypeInteger},
      {"easeOut", 517, kTypeInteger},
  };

  AngleAnimation angle;  // easing plan and base angle
  AngleTable sinTable;
  AngleTable cosTable;
  // Private copy of the source pixels (align flag 2), and the allocator
  // that made it, which also frees it.
  PixelView* sourceCopy;
  HostAllocator* sourceCopyAllocator;
  std::int32_t interpolation;  // 0 never, 1 always, 2 while standing still
  std::int32_t interpolateNowPending;
  std::int32_t useRadians;  // script angles in radians rather than degrees
  // The angle at the centre of the last render: minus the angle shown,
  // not masked.
  std::int32_t swirlAngle;

  static void SetDefaults(Swirl& s);
  static void FreeBuffers(Swirl& s);
  static void ApplyProperties(Swirl& s, const HostValue* list, Services* services,
                              std::int32_t* restarted);
  // Reason 2 asks for a fresh picture, so the sprite is not still then.
  static Status IsStill(Swirl& s, std::int32_t* out, std::int32_t reason) {
    *out = s.anim.finished == 1 && reason != 2 ? 1 : 0;
    return kOk;
  }
  static Status Reset(Swirl& s, Services* services, std::int32_t* outA, std::int32_t* outB);
  static Status Render(Swirl& s, PixelView* dst, PixelView* src, AreaRect* update,
                       PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                       std::int32_t blend, std::int32_t draw, std::int32_t align,
                       std::int32_t hardMask, ThresholdRecord* thresholds);
  static Status RenderWithAlpha(Swirl& s, PixelView* dstColour, PixelView* dstAlpha,
                                PixelView* srcColour, PixelView* srcMask, AreaRect* update,
                                const std::uint16_t* maskRuns, ColourTable* colours,
                                std::int32_t blend, std::int32_t draw, std::int32_t align,
                                ThresholdRecord* thresholds);
  static Status GetAlphaAt(Swirl& s, PixelView* alpha, std::int32_t vertical,
                           std::int32_t horizontal, std::int32_t* outValue,
                           SpriteDescription* sprite);
  static Status CallFunction(Swirl& s, Symbol function, const HostValue* args,
                             std::int32_t count, std::int32_t firstIndex, HostValue* result,
                             Services* services, std::int32_t* restarted,
                             std::int32_t* changed);
};

}  // namespace vx
