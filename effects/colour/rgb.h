// The RGB shift effect's instance.
#pragma once

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

  // The colour effects redraw only while running or once after a static
  // setting, whatever the reason.
  static Status NeedsRedraw(RgbShift& e, std::int32_t* out, std::int32_t) {
    CommonNeedsRedraw(&e.anim, out, 0);
    return kOk;
  }
};

}  // namespace vx
