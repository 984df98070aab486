// The HSB shift effect's instance.
#pragma once

#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct HsbShift : EffectInstance {
  static constexpr char kName[] = "hsb";
  static constexpr char kDisplayName[] = "HSB";
  static constexpr std::int32_t kDescriptionId = 111;
  static constexpr bool kChangesAlpha = false;
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol},     {"interpolation", 101, kTypeInteger},
      {"numFrames", 102, kTypeInteger},   {"hueShift", 803, kTypeInteger},
      {"satShift", 804, kTypeInteger},    {"brightShift", 805, kTypeInteger},
      {"startHue", 806, kTypeInteger},    {"startSat", 807, kTypeInteger},
      {"startBright", 808, kTypeInteger}, {"endHue", 809, kTypeInteger},
      {"endSat", 810, kTypeInteger},      {"endBright", 811, kTypeInteger},
      {"colorShift", 812, kTypeList},     {"startShift", 813, kTypeList},
      {"endShift", 814, kTypeList},       {"hue", 815, kTypeInteger},
      {"saturation", 816, kTypeInteger},  {"brightness", 817, kTypeInteger},
      {"easeIn", 818, kTypeInteger},      {"easeOut", 819, kTypeInteger},
      {"forceHue", 820, kTypeInteger},    {"forceSat", 821, kTypeInteger},
      {"forceBright", 822, kTypeInteger},
  };

  // The colour effects redraw only while running or once after a static
  // setting, whatever the reason.
  static Status NeedsRedraw(HsbShift& e, std::int32_t* out, std::int32_t) {
    CommonNeedsRedraw(&e.anim, out, 0);
    return kOk;
  }
};

}  // namespace vx
