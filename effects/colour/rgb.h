// The RGB shift effect: an animated signed amount added to the red, green
// and blue of every visible pixel, each channel clamped to its range.
#pragma once

#include <algorithm>
#include <cstdint>

#include "framework/animation.h"
#include "framework/compositing.h"
#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct RgbShift : EffectInstance {
  static constexpr char kName[] = "rgb";
  static constexpr char kDisplayName[] = "RGB";
  static constexpr std::int32_t kDescriptionId = 104;
  static constexpr bool kChangesAlpha = false;
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol},     {"interpolation", 101, kTypeInteger},
      {"numFrames", 102, kTypeInteger},   {"redShift", 103, kTypeInteger},
      {"greenShift", 104, kTypeInteger},  {"blueShift", 105, kTypeInteger},
      {"startRed", 106, kTypeInteger},    {"startGreen", 107, kTypeInteger},
      {"startBlue", 108, kTypeInteger},   {"endRed", 109, kTypeInteger},
      {"endGreen", 110, kTypeInteger},    {"endBlue", 111, kTypeInteger},
      {"colorShift", 112, kTypeList},     {"startShift", 113, kTypeList},
      {"endShift", 114, kTypeList},       {"red", 115, kTypeInteger},
      {"green", 116, kTypeInteger},       {"blue", 117, kTypeInteger},
      {"easeIn", 118, kTypeInteger},      {"easeOut", 119, kTypeInteger},
  };

  std::int32_t easeIn, easeOut, linear;
  float redAccelIn, redAccelOut, greenAccelIn, greenAccelOut, blueAccelIn, blueAccelOut;
  float redSpeed, greenSpeed, blueSpeed;
  // Shift of each channel at frame 0 of the current animation, and for the
  // frame being drawn.
  std::int32_t redBase, greenBase, blueBase;
  std::int32_t redNow, greenNow, blueNow;

  // The colour effects redraw only while running or once after a static
  // setting, whatever the reason.
  static Status NeedsRedraw(RgbShift& e, std::int32_t* out, std::int32_t) {
    CommonNeedsRedraw(&e.anim, out, 0);
    return kOk;
  }
  static void SetDefaults(RgbShift& e);
  static void ApplyProperties(RgbShift& e, const HostValue* list, Services* services,
                              std::int32_t* restarted);
  static Status Render(RgbShift& e, PixelView* dst, PixelView* src, AreaRect* update,
                       PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                       std::int32_t blend, std::int32_t draw, std::int32_t align,
                       std::int32_t hardMask, ThresholdRecord* thresholds);
};

// This frame's values: frame stepped, now values from the plan.
void ComputeRgbFrame(RgbShift& e);

// The shifts RgbShiftPixel adds.
struct RgbShiftSetting {
  std::int32_t red = 0, green = 0, blue = 0;
};

// The setting of an instance's current frame, each shift narrowed to
// -255..255 (the clamped result is the same).
RgbShiftSetting RgbSettingOf(const RgbShift& e);

// One pixel: each component plus its shift, clamped to 0..kTop (255 for
// 8-bit components, 31 for 5-bit ones, which take the shift unscaled).
template <std::int32_t kTop>
inline Bgrx RgbShiftPixel(const RgbShiftSetting& k, Bgrx c) {
  return Bgrx{static_cast<std::uint8_t>(std::clamp(c.b + k.blue, 0, kTop)),
              static_cast<std::uint8_t>(std::clamp(c.g + k.green, 0, kTop)),
              static_cast<std::uint8_t>(std::clamp(c.r + k.red, 0, kTop)), c.x};
}

// RgbShiftPixel<kTop> on `n` pixels in place, four at a time in vector
// lanes where the machine has them.
void RgbShiftRun(const RgbShiftSetting& k, std::int32_t top, Bgrx* c, std::int32_t n);

// RGB as a colour function of the colour pass, in both component units.
struct RgbColour {
  RgbShiftSetting setting;
  Bgrx Eight(Bgrx c) const { return RgbShiftPixel<255>(setting, c); }
  Bgrx Five(Bgrx c) const { return RgbShiftPixel<31>(setting, c); }
  void EightRun(Bgrx* c, std::int32_t n) const { RgbShiftRun(setting, 255, c, n); }
  void FiveRun(Bgrx* c, std::int32_t n) const { RgbShiftRun(setting, 31, c, n); }
};

}  // namespace vx
