// The rotate effect's instance.
#pragma once

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
};

}  // namespace vx
