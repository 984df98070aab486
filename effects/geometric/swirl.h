// The swirl effect's instance.
#pragma once

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

  // Reason 2 asks for a fresh picture, so the sprite is not still then.
  static Status IsStill(Swirl& s, std::int32_t* out, std::int32_t reason) {
    *out = s.anim.finished == 1 && reason != 2 ? 1 : 0;
    return kOk;
  }
};

}  // namespace vx
