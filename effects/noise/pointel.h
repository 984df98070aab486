// The Pointel effect's instance.
#pragma once

#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct Pointel : EffectInstance {
  static constexpr char kName[] = "pointel";
  static constexpr char kDisplayName[] = "Pointel";
  static constexpr std::int32_t kDescriptionId = 112;
  static constexpr bool kChangesAlpha = true;
  // Moving from the start: the dots drift on every frame until stopped.
  static constexpr AnimState kCreateAnim = {kModeInfinite, 10, 0, 1, 0};
  // Rows 1 and 2 stay unfilled: Pointel has no interpolation or frame count.
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol},   {nullptr, 0, 0},
      {nullptr, 0, 0},                  {"speed", 900, kTypeInteger},
      {"intensity", 901, kTypeInteger}, {"radius", 902, kTypeInteger},
  };

  // The dots are redrawn on every frame, stopped or not.
  static Status NeedsRedraw(Pointel&, std::int32_t* out, std::int32_t) {
    *out = 1;
    return kOk;
  }
  static Status IsStill(Pointel&, std::int32_t* out, std::int32_t) {
    *out = 0;
    return kOk;
  }
  static Status Stop(Pointel& e, Word, std::int32_t*) {
    e.anim.finished = 1;
    return kOk;
  }
  static Status Resume(Pointel& e, Word, std::int32_t* changed) {
    e.anim.finished = 0;
    *changed = 1;
    return kOk;
  }
  static Status Reset(Pointel& e, Services*, std::int32_t* outA, std::int32_t*) {
    RestoreCreateState(e);
    *outA = 1;
    return kOk;
  }
};

}  // namespace vx
