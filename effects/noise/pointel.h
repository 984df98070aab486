// The Pointel effect: the sprite redrawn as drifting dots of its own colours
// wherever a noise layer has a speck under a visible pixel.
#pragma once

#include <cstdint>

#include "effects/noise/noise_layers.h"
#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct Pointel : EffectInstance, NoiseEffectHooks<Pointel> {
  static constexpr char kName[] = "pointel";
  static constexpr char kDisplayName[] = "Pointel";
  static constexpr std::int32_t kDescriptionId = 112;
  static constexpr bool kChangesAlpha = true;
  // Moving from the start: the dots drift on every frame until stopped.
  static constexpr AnimState kCreateAnim = {kModeInfinite, 10, 0, 1, 0};
  static constexpr bool kResumeAlwaysChanges = true;
  static constexpr bool kResetAnswersFirstOnly = true;
  // Rows 1 and 2 stay unfilled: Pointel has no interpolation or frame count.
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol},   {nullptr, 0, 0},
      {nullptr, 0, 0},                  {"speed", 900, kTypeInteger},
      {"intensity", 901, kTypeInteger}, {"radius", 902, kTypeInteger},
  };

  NoiseLayers noise;
  // 1 or less: single pixels; 2: 2 x 2 dots; 3 or more: 12-pixel dots.
  std::int32_t dotRadius;

  static void SetDefaults(Pointel& e);
  static void ApplyProperties(Pointel& e, const HostValue* list, Services* services,
                              std::int32_t* restarted);

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
  static Status Render(Pointel& e, PixelView* dst, PixelView* src, AreaRect* update,
                       PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                       std::int32_t blend, std::int32_t draw, std::int32_t align,
                       std::int32_t hardMask, ThresholdRecord* thresholds);
  static Status RenderWithAlpha(Pointel& e, PixelView* dstColour, PixelView* dstAlpha,
                                PixelView* srcColour, PixelView* srcMask, AreaRect* update,
                                const std::uint16_t* maskRuns, ColourTable* colours,
                                std::int32_t blend, std::int32_t draw, std::int32_t align,
                                ThresholdRecord* thresholds);
  static Status GetAlphaAt(Pointel& e, PixelView* alpha, std::int32_t vertical,
                           std::int32_t horizontal, std::int32_t* outValue,
                           SpriteDescription* sprite);
};

}  // namespace vx
