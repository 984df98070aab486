// The line skip effect: the sprite drawn in horizontal bands, a run of
// skipped rows then a run of drawn rows, repeating down the stage.
#pragma once

#include <cstdint>

#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct LineSkip : EffectInstance {
  static constexpr char kName[] = "lineskip";
  static constexpr char kDisplayName[] = "LineSkip";
  static constexpr std::int32_t kDescriptionId = 108;
  static constexpr bool kChangesAlpha = true;
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol},     {"interpolation", 101, kTypeInteger},
      {"numFrames", 102, kTypeInteger},   {"linesToSkip", 603, kTypeInteger},
      {"linesToDraw", 604, kTypeInteger}, {"startSkip", 605, kTypeInteger},
      {"startDraw", 606, kTypeInteger},   {"endSkip", 607, kTypeInteger},
      {"endDraw", 608, kTypeInteger},     {"offset", 609, kTypeInteger},
      {"startOffset", 610, kTypeInteger}, {"endOffset", 611, kTypeInteger},
  };

  // Each value moves linearly: base + trunc(frame x speed).
  float drawSpeed;
  float skipSpeed;
  float offsetSpeed;
  std::int32_t drawBase;
  std::int32_t skipBase;
  std::int32_t offsetBase;
  // This frame's values; draw at least 1 and skip at least 0 once a render
  // has computed them.
  std::int32_t drawNow;
  std::int32_t skipNow;
  std::int32_t offsetNow;

  static void SetDefaults(LineSkip& e);
  static void ApplyProperties(LineSkip& e, const HostValue* list, Services* services,
                              std::int32_t* restarted);
  static Status Render(LineSkip& e, PixelView* dst, PixelView* src, AreaRect* update,
                       PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                       std::int32_t blend, std::int32_t draw, std::int32_t align,
                       std::int32_t hardMask, ThresholdRecord* thresholds);
  static Status RenderWithAlpha(LineSkip& e, PixelView* dstColour, PixelView* dstAlpha,
                                PixelView* srcColour, PixelView* srcAlpha, AreaRect* update,
                                const std::uint16_t* maskRuns, ColourTable* colours,
                                std::int32_t blend, std::int32_t draw, std::int32_t align,
                                ThresholdRecord* thresholds);
  static Status GetAlphaAt(LineSkip& e, PixelView* alpha, std::int32_t vertical,
                           std::int32_t horizontal, std::int32_t* outValue,
                           SpriteDescription* sprite);

  // Redraws while running or once after a static setting, whatever the reason.
  static Status NeedsRedraw(LineSkip& e, std::int32_t* out, std::int32_t) {
    CommonNeedsRedraw(&e.anim, out, 0);
    return kOk;
  }
};

// This frame's values from the bases and speeds, with their clamps. Run
// after StepFrame.
void ComputeLineSkipFrame(LineSkip& e);

// The band pattern, fixed to the stage's rows: row y is skipped when
// (offset + y) mod period, taken in [0, period), is below `skip`.
struct BandPattern {
  std::int64_t skip = 0;    // at least 0
  std::int64_t period = 1;  // skip + draw, at least 1
  std::int64_t offset = 0;

  // Where row y falls in its period, 0 .. period - 1.
  std::int64_t PhaseOf(std::int64_t y) const {
    const std::int64_t r = (offset + y) % period;
    return r < 0 ? r + period : r;
  }
  bool Skips(std::int64_t y) const { return PhaseOf(y) < skip; }
};

// The pattern of the values now shown; values below their floors (draw 1,
// skip 0) count as the floor.
BandPattern BandsOf(const LineSkip& e);

// Splits the rows 0 .. height - 1 of an update whose first row is stage row
// `top` into runs, top first: draw(first, count) for drawn runs and
// skip(first, count) for skipped ones. Without skipped rows the whole update
// is one drawn run.
template <class Draw, class Skip>
void ForEachBand(const BandPattern& p, std::int64_t top, std::int32_t height, Draw&& draw,
                 Skip&& skip) {
  if (height <= 0) return;
  if (p.skip == 0) {
    draw(0, height);
    return;
  }
  std::int64_t phase = p.PhaseOf(top);
  for (std::int32_t y = 0; y < height;) {
    const bool drawn = phase >= p.skip;
    const std::int64_t run = (drawn ? p.period : p.skip) - phase;
    const auto n = static_cast<std::int32_t>(run < height - y ? run : height - y);
    if (drawn)
      draw(y, n);
    else
      skip(y, n);
    y += n;
    phase = drawn ? 0 : p.skip;
  }
}

}  // namespace vx
