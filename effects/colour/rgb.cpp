#include "effects/colour/rgb.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "effects/colour/channels.h"
#include "effects/colour/colour_pass.h"

namespace vx {
namespace {

using colour::ChannelTable;

const ChannelTable<RgbShift> kChannels = {{
    {&RgbShift::redBase, &RgbShift::redSpeed, &RgbShift::redAccelIn, &RgbShift::redAccelOut,
     &RgbShift::redNow},
    {&RgbShift::greenBase, &RgbShift::greenSpeed, &RgbShift::greenAccelIn,
     &RgbShift::greenAccelOut, &RgbShift::greenNow},
    {&RgbShift::blueBase, &RgbShift::blueSpeed, &RgbShift::blueAccelIn, &RgbShift::blueAccelOut,
     &RgbShift::blueNow},
}};

void StaticSetup(RgbShift& e, const colour::ChannelList& l, std::int32_t* restarted) {
  colour::CommitCurrent(e, kChannels);
  EnterStatic(&e.anim, restarted);
  for (int i = 0; i < 3; ++i)
    if (l.shift[i] != kAbsent) e.*kChannels[i].base = l.shift[i];
  colour::StopChannels(e, kChannels);
}

void AnimatedSetup(RgbShift& e, std::int32_t mode, const colour::ChannelList& l,
                   std::int32_t* restarted) {
  std::array<std::int32_t, 3> end = colour::DefaultEnds(e, kChannels, restarted);
  if (l.frames != kAbsent) e.anim.frameCount = l.frames;
  for (int i = 0; i < 3; ++i) {
    if (l.start[i] != kAbsent) e.*kChannels[i].base = l.start[i];
    if (l.shift[i] != kAbsent) end[i] = l.shift[i];
  }
  if (l.easeIn != kAbsent) e.easeIn = l.easeIn;
  if (l.easeOut != kAbsent) e.easeOut = l.easeOut;
  // A negative count (the pending mark of a static setting among them) runs
  // as its magnitude, as HSB's does.
  e.anim.frameCount = colour::PositiveFrameCount(e.anim.frameCount);
  for (int i = 0; i < 3; ++i)
    colour::PlanChannel(e, kChannels[i], ClampedDelta(end[i], e.*kChannels[i].base));
  EnterRunning(&e.anim, mode);
}

}  // namespace

void RgbShift::SetDefaults(RgbShift& e) {
  e.easeIn = e.easeOut = e.linear = 0;
  e.redAccelIn = e.redAccelOut = e.greenAccelIn = e.greenAccelOut = 0;
  e.blueAccelIn = e.blueAccelOut = 0;
  e.redSpeed = e.greenSpeed = e.blueSpeed = 0;
  e.redBase = e.greenBase = e.blueBase = 0;
  e.redNow = e.greenNow = e.blueNow = 0;
}

void RgbShift::ApplyProperties(RgbShift& e, const HostValue* list, Services* services,
                               std::int32_t* restarted) {
  const colour::ChannelList l = colour::ReadChannelList(list, e.propertyTable, services);
  colour::RunSetUp(
      l.mode, e.anim.mode, [&] { StaticSetup(e, l, restarted); },
      [&](std::int32_t mode) { AnimatedSetup(e, mode, l, restarted); });
}

void ComputeRgbFrame(RgbShift& e) {
  StepFrame(&e.anim);
  colour::ComputeNow(e, kChannels);
}

RgbShiftSetting RgbSettingOf(const RgbShift& e) {
  return RgbShiftSetting{colour::UsefulShift(e.redNow, 255), colour::UsefulShift(e.greenNow, 255),
                         colour::UsefulShift(e.blueNow, 255)};
}

void RgbShiftRun(const RgbShiftSetting& k, std::int32_t top, Bgrx* c, std::int32_t n) {
  std::int32_t i = 0;
#if defined(__SSE2__)
  // c + s clamped to 0..top: a saturating add of the positive part, a
  // saturating subtract of the negative part, then the top.
  const auto up = [](std::int32_t s) { return static_cast<char>(std::clamp(s, 0, 255)); };
  const auto down = [](std::int32_t s) { return static_cast<char>(-std::clamp(s, -255, 0)); };
  const __m128i add = _mm_setr_epi8(up(k.blue), up(k.green), up(k.red), 0, up(k.blue), up(k.green),
                                    up(k.red), 0, up(k.blue), up(k.green), up(k.red), 0,
                                    up(k.blue), up(k.green), up(k.red), 0);
  const __m128i sub = _mm_setr_epi8(down(k.blue), down(k.green), down(k.red), 0, down(k.blue),
                                    down(k.green), down(k.red), 0, down(k.blue), down(k.green),
                                    down(k.red), 0, down(k.blue), down(k.green), down(k.red), 0);
  const __m128i cap = _mm_set1_epi8(static_cast<char>(top));
  for (; i + 4 <= n; i += 4) {
    __m128i v;
    std::memcpy(&v, c + i, 16);
    v = _mm_min_epu8(_mm_subs_epu8(_mm_adds_epu8(v, add), sub), cap);
    std::memcpy(c + i, &v, 16);
  }
#endif
  for (; i < n; ++i)
    c[i] = top == 31 ? RgbShiftPixel<31>(k, c[i]) : RgbShiftPixel<255>(k, c[i]);
}

Status RgbShift::Render(RgbShift& e, PixelView* dst, PixelView* src, AreaRect* update,
                        PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                        std::int32_t blend, std::int32_t, std::int32_t, std::int32_t hardMask,
                        ThresholdRecord* thresholds) {
  ComputeRgbFrame(e);
  RgbColour fn{RgbSettingOf(e)};
  RunColourPass(ColourPassCall{dst, src, update, mask, maskRuns, colours, blend, hardMask,
                               thresholds},
                fn);
  return kOk;
}

}  // namespace vx
