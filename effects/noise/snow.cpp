#include "effects/noise/snow.h"

#include <algorithm>

#include "effects/colour/colour_pass.h"
#include "framework/pixel_formats.h"
#include "framework/properties.h"

namespace vx {
namespace {

enum PropertyIndex { kSpeedRow = 3, kIntensityRow, kStrengthRow, kChromaRow };

// The snow colour function on the colour pass: the layers' sum under the
// pixel, shifted, pushes each channel up or down; the walk hooks keep the
// pixel's place so the sum is the one under it, drawn or not. The effect's
// colour bits are taken at the start and given back by Finish.
class SnowPixel {
 public:
  SnowPixel(Snow& e, std::int32_t width)
      : sums_(e.noise, width),
        shift_(e.snowShift),
        bits_(static_cast<std::uint32_t>(e.colourBits)),
        walkMask_(static_cast<std::uint32_t>(e.colourWalkMask)) {
    sums_.BeginRow(0);
  }

  VX_PIXEL_INLINE Bgrx Eight(Bgrx c) { return Apply(c, sums_.At(x_) >> shift_, 255); }
  VX_PIXEL_INLINE Bgrx Five(Bgrx c) { return Apply(c, (sums_.At(x_) >> shift_) >> 3, 31); }
  VX_PIXEL_INLINE void Step() { ++x_; }
  VX_PIXEL_INLINE void Skip(std::int32_t k) { x_ += k; }
  void EndRow() {
    x_ = 0;
    sums_.BeginRow(++y_);
  }
  void Finish(Snow& e) const { e.colourBits = static_cast<std::int32_t>(bits_); }

 private:
  // Up to `top` when the channel's bit is clear, down by one more (to 0 at
  // most) when it is set.
  VX_PIXEL_INLINE static std::uint8_t Channel(std::int32_t v, std::int32_t push, std::int32_t top,
                                              bool down) {
    const std::int32_t raised = std::min(v + push, top);
    const std::int32_t lowered = std::max(v - push - 1, 0);
    return static_cast<std::uint8_t>(down ? lowered : raised);
  }

  VX_PIXEL_INLINE Bgrx Apply(Bgrx c, std::int32_t s, std::int32_t top) {
    // Past 255 a larger push changes nothing; a sum wrapped negative by an
    // absurd layer count pushes nothing.
    const std::int32_t push = std::clamp(s, 0, 511);
    const std::uint32_t bits = bits_;
    const Bgrx out{Channel(c.b, push, top, (bits & 4u) != 0),
                   Channel(c.g, push, top, (bits & 2u) != 0),
                   Channel(c.r, push, top, (bits & 1u) != 0), 0};
    bits_ = bits + (walkMask_ & static_cast<std::uint32_t>(s));
    return out;
  }

  LayerSums sums_;
  const std::int32_t shift_;
  std::uint32_t bits_;
  const std::uint32_t walkMask_;
  std::int32_t x_ = 0, y_ = 0;
};

}  // namespace

void ChromaBits(std::int32_t chroma, std::int32_t* bits, std::int32_t* walkMask) {
  *walkMask = 0;
  switch (chroma) {
    case 0:
      *bits = 0;
      break;
    case 1:
      *bits = 7;
      break;
    case 2:
      *bits = 0;
      *walkMask = 65535;
      break;
    default:
      // Only the low three bits count: 9 acts as 1, 10 as 0.
      *bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(chroma) - 2u);
      break;
  }
}

void Snow::SetDefaults(Snow& e) {
  e.noise.phaseStep = 1.0f;
  e.snowShift = 2;
  e.colourBits = 0;
  e.colourWalkMask = 0;
}

Status Snow::Render(Snow& e, PixelView* dst, PixelView* src, AreaRect* update, PixelView* mask,
                    const std::uint16_t* maskRuns, ColourTable* colours, std::int32_t blend,
                    std::int32_t, std::int32_t, std::int32_t hardMask,
                    ThresholdRecord* thresholds) {
  const ColourPassCall call{dst, src, update, mask, maskRuns, colours, blend, hardMask, thresholds};
  ColourPassPlan plan;
  const ColourPassReady ready = PlanColourPass(call, &plan);
  if (ready == ColourPassReady::kNothingVisible) return kOk;
  AdvanceNoiseFrame(&e.noise, &e.anim);
  if (ready != ColourPassReady::kReady) return kOk;
  LocateLayersForRender(&e.noise, *src, plan.area);
  SnowPixel pixel(e, plan.area.source.width);
  RunColourPlan(plan, pixel);
  pixel.Finish(e);
  return kOk;
}

void Snow::ApplyProperties(Snow& e, const HostValue* list, Services* services,
                           std::int32_t* restarted) {
  const PropertyDesc* table = e.propertyTable;
  auto read = [&](int row) { return GetIntProperty(list, table[row].keySymbol, services); };
  const std::int32_t speed = read(kSpeedRow);
  const std::int32_t intensity = read(kIntensityRow);
  const std::int32_t strength = read(kStrengthRow);
  const std::int32_t chroma = read(kChromaRow);

  if (speed != kAbsent) {
    ApplySpeed(&e.noise, speed);
    *restarted = 1;
  }
  if (strength != kAbsent && strength >= 0 && strength <= 6) e.snowShift = 6 - strength;
  ApplyIntensity(&e.noise, intensity, e.header.allocator);
  if (chroma != kAbsent) ChromaBits(chroma, &e.colourBits, &e.colourWalkMask);
  if (speed == 0) {
    e.anim.finished = 1;
    e.anim.mode = kModeStatic;
    e.anim.frame = 1;
  } else {
    e.anim.finished = 0;
    e.anim.mode = kModeInfinite;
    e.anim.frame = 0;
  }
}

}  // namespace vx
