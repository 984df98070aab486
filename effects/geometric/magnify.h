// The magnify effect's instance.
#pragma once

#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct Magnify : EffectInstance {
  static constexpr char kName[] = "magnify";
  static constexpr char kDisplayName[] = "Magnify";
  static constexpr std::int32_t kDescriptionId = 107;
  static constexpr bool kChangesAlpha = false;
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol},         {"interpolation", 101, kTypeInteger},
      {"numFrames", 102, kTypeInteger},       {"percentage", 203, kTypeInteger},
      {"startPercentage", 204, kTypeInteger}, {"endPercentage", 205, kTypeInteger},
      {"magPoint", 206, kTypePoint},          {"magPointX", 207, kTypeInteger},
      {"magPointY", 208, kTypeInteger},       {"easeIn", 218, kTypeInteger},
      {"easeOut", 219, kTypeInteger},
  };

  // Reason 2 asks for a fresh picture, so the sprite is not still then.
  static Status IsStill(Magnify& m, std::int32_t* out, std::int32_t reason) {
    *out = CommonIsStill(m.anim) != 0 && reason != 2 ? 1 : 0;
    return kOk;
  }
  static Status Resume(Magnify& m, Word, std::int32_t* changed) {
    m.anim.finished = 0;
    *changed = 1;
    return kOk;
  }
  static Status Reset(Magnify& m, Services*, std::int32_t* outA, std::int32_t*) {
    RestoreCreateState(m);
    *outA = 1;
    return kOk;
  }
};

}  // namespace vx
