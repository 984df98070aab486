// The magnify effect: the sprite's own pixels enlarged or reduced about a
// point inside it, inside the sprite's unchanged outline. The magnification
// is held as a source step (256 = 100 %), fixed or animated.
#pragma once

#include <cstdint>

#include "framework/animation.h"
#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct Magnify : EffectInstance {
  static constexpr char kName[] = "magnify";
  static constexpr char kDisplayName[] = "Magnify";
  static constexpr std::int32_t kDescriptionId = 107;
  static constexpr bool kChangesAlpha = false;
  static constexpr bool kResumeAlwaysChanges = true;
  static constexpr bool kResetAnswersFirstOnly = true;
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol},         {"interpolation", 101, kTypeInteger},
      {"numFrames", 102, kTypeInteger},       {"percentage", 203, kTypeInteger},
      {"startPercentage", 204, kTypeInteger}, {"endPercentage", 205, kTypeInteger},
      {"magPoint", 206, kTypePoint},          {"magPointX", 207, kTypeInteger},
      {"magPointY", 208, kTypeInteger},       {"easeIn", 218, kTypeInteger},
      {"easeOut", 219, kTypeInteger},
  };

  // The step animates from baseStep by the easing plan.
  std::int32_t easeIn, easeOut, linear;
  float accelIn, accelOut, speed;
  std::int32_t baseStep;  // the step at frame 0
  std::int32_t stepNow;  // the step of the frame being drawn
  // The offset from the sprite's centre: as set, and as taken for the frame.
  std::int32_t magPointX, magPointY;
  std::int32_t offsetX, offsetY;
  std::int32_t interpolation;  // 0 never, 1 always, 2 while standing still
  std::int32_t interpolateNowPending;

  static void SetDefaults(Magnify& m);
  static void ApplyProperties(Magnify& m, const HostValue* list, Services* services,
                              std::int32_t* restarted);
  // Reason 2 asks for a fresh picture, so the sprite is not still then.
  static Status IsStill(Magnify& m, std::int32_t* out, std::int32_t reason) {
    *out = CommonIsStill(m.anim) != 0 && reason != 2 ? 1 : 0;
    return kOk;
  }
  // Unlike create, a reset leaves the offset at the centre.
  static void AfterReset(Magnify& m) { m.magPointX = m.magPointY = 0; }
  static Status Render(Magnify& m, PixelView* dst, PixelView* src, AreaRect* update,
                       PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                       std::int32_t blend, std::int32_t draw, std::int32_t align,
                       std::int32_t hardMask, ThresholdRecord* thresholds);
  static Status CallFunction(Magnify& m, Symbol function, const HostValue* args,
                             std::int32_t count, std::int32_t firstIndex, HostValue* result,
                             Services* services, std::int32_t* restarted,
                             std::int32_t* changed);
};

// The step shown at the current frame: baseStep + the eased offset.
std::int32_t MagnifyStepAt(const Magnify& m);

// The static set-up (a percentage, or kAbsent to keep the step last drawn)
// and the animated one (range, infinite and pendulum alike); kAbsent marks a
// value not given, a percentage below 1 counts as not given.
void StartStaticMagnify(Magnify& m, std::int32_t percentage, std::int32_t* restarted);
void StartAnimatedMagnify(Magnify& m, std::int32_t mode, std::int32_t numFrames,
                          std::int32_t percentage, std::int32_t startPercentage,
                          std::int32_t easeIn, std::int32_t easeOut, std::int32_t* restarted);

}  // namespace vx
