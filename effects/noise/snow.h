// The snow effect: drifting specks that push each colour channel of the
// sprite up or down by the sum of the speck map under the noise layers.
#pragma once

#include <cstdint>

#include "effects/noise/noise_layers.h"
#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct Snow : EffectInstance, NoiseEffectHooks<Snow> {
  static constexpr char kName[] = "snow";
  static constexpr char kDisplayName[] = "Snow";
  static constexpr std::int32_t kDescriptionId = 113;
  static constexpr bool kChangesAlpha = false;
  // Moving from the start: the specks drift on every frame until stopped.
  static constexpr AnimState kCreateAnim = {kModeInfinite, 10, 0, 1, 0};
  static constexpr bool kResumeAlwaysChanges = true;
  static constexpr bool kResetAnswersFirstOnly = true;
  // Rows 1 and 2 stay unfilled: snow has no interpolation or frame count.
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol}, {nullptr, 0, 0},
      {nullptr, 0, 0},                {"speed", 700, kTypeInteger},
      {"intensity", 701, kTypeInteger}, {"strength", 702, kTypeInteger},
      {"chroma", 703, kTypeInteger},
  };

  NoiseLayers noise;
  std::int32_t snowShift;  // the layer sum is shifted right by this: 6 - strength
  // Bit 0 red, 1 green, 2 blue: set darkens the channel, clear brightens it.
  std::int32_t colourBits;
  // 65535 while the colours walk (chroma 2): each drawn pixel adds its
  // shift, masked, to colourBits.
  std::int32_t colourWalkMask;

  static void SetDefaults(Snow& e);
  static void ApplyProperties(Snow& e, const HostValue* list, Services* services,
                              std::int32_t* restarted);

  // The specks move on every frame until stopped; a speed of 0 makes the
  // mode static and only that counts as still.
  static Status NeedsRedraw(Snow& e, std::int32_t* out, std::int32_t) {
    *out = e.anim.finished == 0 ? 1 : 0;
    return kOk;
  }
  static Status IsStill(Snow& e, std::int32_t* out, std::int32_t) {
    *out = e.anim.mode == kModeStatic ? 1 : 0;
    return kOk;
  }
  static Status Stop(Snow& e, Word, std::int32_t* changed) {
    e.anim.finished = 1;
    *changed = 1;
    return kOk;
  }
  static Status Render(Snow& e, PixelView* dst, PixelView* src, AreaRect* update,
                       PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                       std::int32_t blend, std::int32_t draw, std::int32_t align,
                       std::int32_t hardMask, ThresholdRecord* thresholds);
};

// colourBits and colourWalkMask for a chroma value: 0 white, 1 black, 2 the
// colour walk, 3-8 the six tints; any other value c gives bits c - 2.
void ChromaBits(std::int32_t chroma, std::int32_t* bits, std::int32_t* walkMask);

}  // namespace vx
