// The line skip effect's instance.
#pragma once

#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct LineSkip : EffectInstance {
  static constexpr char kName[] = "lineskip";
  static constexpr char kDisplayName[] = "LineSkip";
  static constexpr std::int32_t kDescriptionId = 108;
  static constexpr bool kChangesAlpha = true;
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol},      {"interpolation", 101, kTypeInteger},
      {"numFrames", 102, kTypeInteger},    {"linesToSkip", 603, kTypeInteger},
      {"linesToDraw", 604, kTypeInteger},  {"startSkip", 605, kTypeInteger},
      {"startDraw", 606, kTypeInteger},    {"endSkip", 607, kTypeInteger},
      {"endDraw", 608, kTypeInteger},      {"offset", 609, kTypeInteger},
      {"startOffset", 610, kTypeInteger},  {"endOffset", 611, kTypeInteger},
  };

  // Redraws while running or once after a static setting, whatever the reason.
  static Status NeedsRedraw(LineSkip& e, std::int32_t* out, std::int32_t) {
    CommonNeedsRedraw(&e.anim, out, 0);
    return kOk;
  }
};

}  // namespace vx
