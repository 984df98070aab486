#include "effects/colour/hsb.h"

#include <array>

#include "effects/colour/channels.h"
#include "effects/colour/colour_pass.h"
#include "framework/properties.h"

namespace vx {
namespace {

using colour::ChannelTable;

enum PropertyIndex {
  kAnimModeRow,
  kInterpolationRow,
  kNumFramesRow,
  kHueShiftRow,
  kSatShiftRow,
  kBrightShiftRow,
  kStartHueRow,
  kStartSatRow,
  kStartBrightRow,
  kEndHueRow,
  kEndSatRow,
  kEndBrightRow,
  kColorShiftRow,
  kStartShiftRow,
  kEndShiftRow,
  kHueRow,
  kSaturationRow,
  kBrightnessRow,
  kEaseInRow,
  kEaseOutRow,
  kForceHueRow,
  kForceSatRow,
  kForceBrightRow,
};

enum Channel { kHue, kSat, kBright };

const ChannelTable<HsbShift> kChannels = {{
    {&HsbShift::hueBase, &HsbShift::hueSpeed, &HsbShift::hueAccelIn, &HsbShift::hueAccelOut,
     &HsbShift::hueNow},
    {&HsbShift::satBase, &HsbShift::satSpeed, &HsbShift::satAccelIn, &HsbShift::satAccelOut,
     &HsbShift::satNow},
    {&HsbShift::brightBase, &HsbShift::brightSpeed, &HsbShift::brightAccelIn,
     &HsbShift::brightAccelOut, &HsbShift::brightNow},
}};
constexpr std::int32_t HsbShift::*kForced[3] = {&HsbShift::hueForced, &HsbShift::satForced,
                                                &HsbShift::brightForced};

// What one property list says; kAbsent where it says nothing.
struct HsbList {
  std::int32_t mode, frames;
  std::array<std::int32_t, 3> shift, start, force;
  std::int32_t easeIn, easeOut;
};

HsbList ReadList(const HsbShift& e, const HostValue* list, Services* services) {
  const PropertyDesc* table = e.propertyTable;
  auto read = [&](int row) { return GetIntProperty(list, table[row].keySymbol, services); };
  HsbList l;
  l.mode = GetAnimMode(list, table, services);
  l.frames = read(kNumFramesRow);
  l.shift = {read(kHueShiftRow), read(kSatShiftRow), read(kBrightShiftRow)};
  l.start = {read(kStartHueRow), read(kStartSatRow), read(kStartBrightRow)};
  l.easeIn = read(kEaseInRow);
  l.easeOut = read(kEaseOutRow);
  // An end key counts only where its shift key is missing.
  const int endRows[3] = {kEndHueRow, kEndSatRow, kEndBrightRow};
  for (int i = 0; i < 3; ++i)
    if (l.shift[i] == kAbsent) l.shift[i] = read(endRows[i]);
  l.force = {read(kForceHueRow), read(kForceSatRow), read(kForceBrightRow)};
  return l;
}

void StaticSetup(HsbShift& e, const HsbList& l, std::int32_t* restarted) {
  colour::CommitCurrent(e, kChannels);
  EnterStatic(&e.anim, restarted);
  for (int i = 0; i < 3; ++i) {
    if (l.shift[i] != kAbsent) {
      e.*kChannels[i].base = l.shift[i];
      e.*kForced[i] = kAbsent;
    }
    if (l.force[i] != kAbsent) {
      e.*kChannels[i].base = l.force[i];
      e.*kForced[i] = l.force[i];
    }
  }
  colour::StopChannels(e, kChannels);
}

void AnimatedSetup(HsbShift& e, std::int32_t mode, const HsbList& l, std::int32_t* restarted) {
  std::array<std::int32_t, 3> end = colour::DefaultEnds(e, kChannels, restarted);
  if (l.frames != kAbsent) e.anim.frameCount = l.frames;
  for (int i = 0; i < 3; ++i) {
    if (l.start[i] == kAbsent) continue;
    e.*kChannels[i].base = l.start[i];
    e.*kForced[i] = kAbsent;
  }
  for (int i = 0; i < 3; ++i)
    if (l.shift[i] != kAbsent) end[i] = l.shift[i];
  if (l.easeIn != kAbsent) e.easeIn = l.easeIn;
  if (l.easeOut != kAbsent) e.easeOut = l.easeOut;
  // A force makes the shift read from the forced value: the channel runs
  // from the force to the force plus the shift.
  for (int i = 0; i < 3; ++i) {
    if (l.force[i] == kAbsent) continue;
    const std::int32_t base = l.force[i];
    e.*kChannels[i].base = base;
    end[i] = e.*kForced[i] == kAbsent ? colour::SaturatedSum(end[i], base) : base;
    e.*kForced[i] = base;
    if (l.shift[i] != kAbsent) end[i] = colour::SaturatedSum(base, l.shift[i]);
  }
  // In infinite mode the hue turns once a cycle, a negative count the
  // other way; elsewhere the count's sign is dropped.
  const std::int32_t given = e.anim.frameCount;
  e.anim.frameCount = colour::PositiveFrameCount(given);
  const std::int32_t hueDelta = mode == kModeInfinite
                                    ? (given < 0 ? -360 : 360)
                                    : ClampedDelta(end[kHue], e.hueBase);
  colour::PlanChannel(e, kChannels[kHue], hueDelta);
  colour::PlanChannel(e, kChannels[kSat], ClampedDelta(end[kSat], e.satBase));
  colour::PlanChannel(e, kChannels[kBright], ClampedDelta(end[kBright], e.brightBase));
  EnterRunning(&e.anim, mode);
}

}  // namespace

void HsbShift::SetDefaults(HsbShift& e) {
  e.easeIn = e.easeOut = e.linear = 0;
  e.hueAccelIn = e.hueAccelOut = e.satAccelIn = e.satAccelOut = 0;
  e.brightAccelIn = e.brightAccelOut = 0;
  e.hueSpeed = e.satSpeed = e.brightSpeed = 0;
  e.hueBase = e.satBase = e.brightBase = 0;
  e.hueNow = e.satNow = e.brightNow = 0;
  e.hueForced = e.satForced = e.brightForced = kAbsent;
}

void HsbShift::ApplyProperties(HsbShift& e, const HostValue* list, Services* services,
                               std::int32_t* restarted) {
  const HsbList l = ReadList(e, list, services);
  // Every list reruns the set-up of its mode, also one that names no value.
  const std::int32_t mode = l.mode == kAbsent ? e.anim.mode : l.mode;
  if (mode == kModeStatic)
    StaticSetup(e, l, restarted);
  else if (IsAnimatedMode(mode))
    AnimatedSetup(e, mode, l, restarted);
}

void ComputeHsbFrame(HsbShift& e) {
  StepFrame(&e.anim);
  colour::ComputeNow(e, kChannels);
  e.hueNow %= 360;
  if (e.hueForced != kAbsent && e.hueNow < 0) e.hueNow += 360;
  if (e.satForced != kAbsent) e.satNow = std::clamp(e.satNow, 0, 255);
  if (e.brightForced != kAbsent) e.brightNow = std::clamp(e.brightNow, 0, 255);
}

HsbShiftSetting HsbSettingOf(const HsbShift& e) {
  HsbShiftSetting s;
  s.hueForced = e.hueForced != kAbsent;
  s.satForced = e.satForced != kAbsent;
  s.brightForced = e.brightForced != kAbsent;
  s.hue = e.hueNow;
  s.sat = s.satForced ? e.satNow : colour::UsefulShift(e.satNow, 255);
  s.bright = s.brightForced ? e.brightNow : colour::UsefulShift(e.brightNow, 255);
  return s;
}

Status HsbShift::Render(HsbShift& e, PixelView* dst, PixelView* src, AreaRect* update,
                        PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                        std::int32_t blend, std::int32_t, std::int32_t, std::int32_t hardMask,
                        ThresholdRecord* thresholds) {
  ComputeHsbFrame(e);
  HsbColour fn{HsbSettingOf(e)};
  RunColourPass(ColourPassCall{dst, src, update, mask, maskRuns, colours, blend, hardMask,
                               thresholds},
                fn);
  return kOk;
}

}  // namespace vx
