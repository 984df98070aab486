// The HSB shift effect: every visible pixel taken to hue, saturation and
// brightness, each shifted by an animated amount or replaced by a forced
// value, and taken back.
#pragma once

#include <algorithm>
#include <cstdint>

#include "framework/animation.h"
#include "framework/compositing.h"
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

  // One split of the frames into ease-in, linear and ease-out for all three
  // channels.
  std::int32_t easeIn, easeOut, linear;
  float hueAccelIn, hueAccelOut;
  float satAccelIn, satAccelOut;
  float brightAccelIn, brightAccelOut;
  float hueSpeed, satSpeed, brightSpeed;
  // Units: hue in degrees, saturation and brightness 0..255. A shift
  // channel's base and now values are amounts added to each pixel's own; a
  // forced channel's are the value every pixel takes.
  std::int32_t hueBase, satBase, brightBase;
  std::int32_t hueNow, satNow, brightNow;
  // The forced value, or kAbsent for a shift channel.
  std::int32_t hueForced, satForced, brightForced;

  // The colour effects redraw only while running or once after a static
  // setting, whatever the reason.
  static Status NeedsRedraw(HsbShift& e, std::int32_t* out, std::int32_t) {
    CommonNeedsRedraw(&e.anim, out, 0);
    return kOk;
  }
  static void SetDefaults(HsbShift& e);
  static void ApplyProperties(HsbShift& e, const HostValue* list, Services* services,
                              std::int32_t* restarted);
  static Status Render(HsbShift& e, PixelView* dst, PixelView* src, AreaRect* update,
                       PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                       std::int32_t blend, std::int32_t draw, std::int32_t align,
                       std::int32_t hardMask, ThresholdRecord* thresholds);
};

// This frame's values: frame stepped, now values from the plan, the hue
// brought below a full turn and forced values into their ranges.
void ComputeHsbFrame(HsbShift& e);

// What HsbShiftPixel applies: this frame's now values, each a shift amount
// or a forced value.
struct HsbShiftSetting {
  std::int32_t hue = 0, sat = 0, bright = 0;
  bool hueForced = false, satForced = false, brightForced = false;
};

// The setting of an instance's current frame. Shift amounts beyond a whole
// range are narrowed to it (the result is the same).
HsbShiftSetting HsbSettingOf(const HsbShift& e);

namespace hsb_detail {

// Quotients by 1..255 of dividends below 2^16, as a multiplication by a
// rounded-up reciprocal: the error stays below 1/255, so the floor is the
// true quotient's.
struct Reciprocals {
  std::uint32_t of[256];
  constexpr Reciprocals() : of() {
    for (std::uint32_t d = 1; d < 256; ++d)
      of[d] = static_cast<std::uint32_t>((1ull << 31) / d + 1);
  }
};
inline constexpr Reciprocals kReciprocals{};

inline std::int32_t Quotient(std::int32_t n, std::int32_t d) {
  return static_cast<std::int32_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(n)) * kReciprocals.of[d]) >> 31);
}
// Truncation toward zero for either sign.
inline std::int32_t SignedQuotient(std::int32_t n, std::int32_t d) {
  return n < 0 ? -Quotient(-n, d) : Quotient(n, d);
}

}  // namespace hsb_detail

// One pixel, 8-bit components in and out, in 32-bit integer arithmetic.
inline Bgrx HsbShiftPixel(const HsbShiftSetting& k, Bgrx c) {
  using hsb_detail::Quotient;
  using hsb_detail::SignedQuotient;
  const std::int32_t r = c.r, g = c.g, b = c.b;
  const std::int32_t max = std::max(r, std::max(g, b));
  const std::int32_t min = std::min(r, std::min(g, b));
  const std::int32_t delta = max - min;
  std::int32_t h = 0, s = 0;
  if (delta != 0) {  // max is then above 0 too
    s = Quotient(delta * 255, max);
    // Red wins ties, then green.
    if (max == r)
      h = SignedQuotient((g - b) * 60, delta);
    else if (max == g)
      h = SignedQuotient((b - r) * 60, delta) + 120;
    else
      h = SignedQuotient((r - g) * 60, delta) + 240;
    if (h < 0) h += 360;
  }
  std::int32_t v = max;

  if (k.hueForced) {
    h = k.hue;
  } else {
    h += k.hue;
    if (h >= 360) h -= 360;
    if (h < 0) h += 360;
  }
  s = k.satForced ? k.sat : std::clamp(s + k.sat, 0, 255);
  v = k.brightForced ? k.bright : std::clamp(v + k.bright, 0, 255);

  if (s == 0) return Bgrx{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v),
                          static_cast<std::uint8_t>(v), c.x};
  const std::int32_t sector = h / 60, f = h % 60;
  const std::int32_t vs = v * s;
  const auto p = static_cast<std::uint8_t>(v - (vs >> 8));
  const auto q = static_cast<std::uint8_t>(v - ((f * vs * 68) >> 20));
  const auto t = static_cast<std::uint8_t>(v - (((60 - f) * vs * 68) >> 20));
  const auto w = static_cast<std::uint8_t>(v);
  switch (sector) {
    case 0: return Bgrx{p, t, w, c.x};
    case 1: return Bgrx{p, w, q, c.x};
    case 2: return Bgrx{t, w, p, c.x};
    case 3: return Bgrx{w, q, p, c.x};
    case 4: return Bgrx{w, p, t, c.x};
    default: return Bgrx{q, p, w, c.x};
  }
}

// HsbShiftPixel on `n` pixels in place; eight at a time in vector lanes
// where the machine has them, with the same integers.
void HsbShiftRun(const HsbShiftSetting& k, Bgrx* c, std::int32_t n);

// HSB as a colour function of the colour pass: 8-bit components only (a
// 5-bit pixel is scaled by 8 in and shifted by 3 out).
struct HsbColour {
  HsbShiftSetting setting;
  Bgrx Eight(Bgrx c) const { return HsbShiftPixel(setting, c); }
  void EightRun(Bgrx* c, std::int32_t n) const { HsbShiftRun(setting, c, n); }
};

}  // namespace vx
