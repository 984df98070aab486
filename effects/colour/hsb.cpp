#include "effects/colour/hsb.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "effects/colour/channels.h"
#include "effects/colour/colour_pass.h"
#include "framework/properties.h"

namespace vx {
namespace {

using colour::ChannelTable;

// Rows of the forced values.
enum ForceRow { kForceHueRow = 20, kForceSatRow = 21, kForceBrightRow = 22 };

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
struct HsbList : colour::ChannelList {
  std::array<std::int32_t, 3> force;
};

HsbList ReadList(const HsbShift& e, const HostValue* list, Services* services) {
  HsbList l;
  static_cast<colour::ChannelList&>(l) = colour::ReadChannelList(list, e.propertyTable, services);
  const PropertyDesc* table = e.propertyTable;
  auto read = [&](int row) { return GetIntProperty(list, table[row].keySymbol, services); };
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
  colour::RunSetUp(
      l.mode, e.anim.mode, [&] { StaticSetup(e, l, restarted); },
      [&](std::int32_t mode) { AnimatedSetup(e, mode, l, restarted); });
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

#if defined(__SSE2__)
namespace {

// Eight pixels, one per 16-bit lane. Divisions go through single precision:
// dividends stay below 2^16, so the truncated quotient is the exact one.
struct Lanes8 {
  __m128i r, g, b;
};

__m128i Widen(__m128i v, bool high) {
  const __m128i w = high ? _mm_unpackhi_epi16(v, v) : _mm_unpacklo_epi16(v, v);
  return _mm_srai_epi32(w, 16);
}

// Truncated n / d per lane (n signed, d 1..255).
__m128i Divide(__m128i n, __m128i d) {
  const __m128 lo = _mm_div_ps(_mm_cvtepi32_ps(Widen(n, false)), _mm_cvtepi32_ps(Widen(d, false)));
  const __m128 hi = _mm_div_ps(_mm_cvtepi32_ps(Widen(n, true)), _mm_cvtepi32_ps(Widen(d, true)));
  return _mm_packs_epi32(_mm_cvttps_epi32(lo), _mm_cvttps_epi32(hi));
}

__m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

Lanes8 HsbShift8(const HsbShiftSetting& k, Lanes8 in) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi16(1);
  const __m128i full = _mm_set1_epi16(360);
  const __m128i top = _mm_set1_epi16(255);
  const __m128i max = _mm_max_epi16(in.r, _mm_max_epi16(in.g, in.b));
  const __m128i min = _mm_min_epi16(in.r, _mm_min_epi16(in.g, in.b));
  const __m128i delta = _mm_sub_epi16(max, min);
  const __m128i grey = _mm_cmpeq_epi16(delta, zero);

  // delta x 255 reaches 65025: widened unsigned, not signed.
  const __m128i n = _mm_mullo_epi16(delta, top);
  const __m128i m = _mm_max_epi16(max, one);
  const __m128 slo = _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(n, zero)),
                                _mm_cvtepi32_ps(_mm_unpacklo_epi16(m, zero)));
  const __m128 shi = _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(n, zero)),
                                _mm_cvtepi32_ps(_mm_unpackhi_epi16(m, zero)));
  __m128i s = _mm_andnot_si128(grey, _mm_packs_epi32(_mm_cvttps_epi32(slo), _mm_cvttps_epi32(shi)));

  // Red wins ties, then green.
  const __m128i isR = _mm_cmpeq_epi16(max, in.r);
  const __m128i isG = _mm_andnot_si128(isR, _mm_cmpeq_epi16(max, in.g));
  const __m128i diff = Select(isR, _mm_sub_epi16(in.g, in.b),
                              Select(isG, _mm_sub_epi16(in.b, in.r), _mm_sub_epi16(in.r, in.g)));
  const __m128i base = Select(isR, zero, Select(isG, _mm_set1_epi16(120), _mm_set1_epi16(240)));
  const __m128i sixty = _mm_set1_epi16(60);
  __m128i h = _mm_add_epi16(
      Divide(_mm_mullo_epi16(diff, sixty), _mm_max_epi16(delta, one)), base);
  h = _mm_add_epi16(h, _mm_and_si128(_mm_cmplt_epi16(h, zero), full));
  h = _mm_andnot_si128(grey, h);
  __m128i v = max;

  if (k.hueForced) {
    h = _mm_set1_epi16(static_cast<short>(k.hue));
  } else {
    h = _mm_add_epi16(h, _mm_set1_epi16(static_cast<short>(k.hue)));
    h = _mm_sub_epi16(h, _mm_and_si128(_mm_cmpgt_epi16(h, _mm_set1_epi16(359)), full));
    h = _mm_add_epi16(h, _mm_and_si128(_mm_cmplt_epi16(h, zero), full));
  }
  const auto shifted = [&](__m128i x, std::int32_t by) {
    const __m128i sum = _mm_add_epi16(x, _mm_set1_epi16(static_cast<short>(by)));
    return _mm_min_epi16(_mm_max_epi16(sum, zero), top);
  };
  s = k.satForced ? _mm_set1_epi16(static_cast<short>(k.sat)) : shifted(s, k.sat);
  v = k.brightForced ? _mm_set1_epi16(static_cast<short>(k.bright)) : shifted(v, k.bright);

  // h / 60 for h below 360 as (h x 1093) >> 16.
  const __m128i sector = _mm_mulhi_epu16(h, _mm_set1_epi16(1093));
  const __m128i f = _mm_sub_epi16(h, _mm_mullo_epi16(sector, sixty));
  const __m128i vs = _mm_mullo_epi16(v, s);
  const __m128i k68 = _mm_set1_epi16(68);
  // (x x vs x 68) >> 20 as the high half of vs x (x x 68), shifted by 4.
  const __m128i p = _mm_sub_epi16(v, _mm_srli_epi16(vs, 8));
  const auto down = [&](__m128i x) {
    return _mm_sub_epi16(v, _mm_srli_epi16(_mm_mulhi_epu16(vs, _mm_mullo_epi16(x, k68)), 4));
  };
  const __m128i q = down(f);
  const __m128i t = down(_mm_sub_epi16(sixty, f));

  __m128i e[6];
  for (int i = 0; i < 6; ++i) e[i] = _mm_cmpeq_epi16(sector, _mm_set1_epi16(static_cast<short>(i)));
  const auto pick = [](__m128i mask, __m128i x) { return _mm_and_si128(mask, x); };
  Lanes8 out;
  out.r = _mm_or_si128(_mm_or_si128(pick(_mm_or_si128(e[0], e[5]), v), pick(e[1], q)),
                       _mm_or_si128(pick(_mm_or_si128(e[2], e[3]), p), pick(e[4], t)));
  out.g = _mm_or_si128(_mm_or_si128(pick(e[0], t), pick(_mm_or_si128(e[1], e[2]), v)),
                       _mm_or_si128(pick(e[3], q), pick(_mm_or_si128(e[4], e[5]), p)));
  out.b = _mm_or_si128(_mm_or_si128(pick(_mm_or_si128(e[0], e[1]), p), pick(e[2], t)),
                       _mm_or_si128(pick(_mm_or_si128(e[3], e[4]), v), pick(e[5], q)));
  const __m128i flat = _mm_cmpeq_epi16(s, zero);
  out.r = Select(flat, v, out.r);
  out.g = Select(flat, v, out.g);
  out.b = Select(flat, v, out.b);
  return out;
}

}  // namespace
#endif

void HsbShiftRun(const HsbShiftSetting& k, Bgrx* c, std::int32_t n) {
  std::int32_t i = 0;
#if defined(__SSE2__)
  // Four pixels a word each: blue, green and red taken out of their 32-bit
  // lanes, eight pixels packed to 16-bit lanes, and put back the same way
  // with each fourth byte as it was.
  const __m128i byte = _mm_set1_epi32(0xFF);
  const __m128i fourth = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const auto channel = [&](__m128i lo, __m128i hi, int shift) {
    return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(lo, shift), byte),
                           _mm_and_si128(_mm_srli_epi32(hi, shift), byte));
  };
  const auto pixels = [&](const Lanes8& v, __m128i old, bool high) {
    const __m128i zero = _mm_setzero_si128();
    const auto wide = [&](__m128i x) {
      return high ? _mm_unpackhi_epi16(x, zero) : _mm_unpacklo_epi16(x, zero);
    };
    return _mm_or_si128(_mm_or_si128(wide(v.b), _mm_slli_epi32(wide(v.g), 8)),
                        _mm_or_si128(_mm_slli_epi32(wide(v.r), 16), _mm_and_si128(old, fourth)));
  };
  for (; i + 8 <= n; i += 8) {
    __m128i lo, hi;
    std::memcpy(&lo, c + i, 16);
    std::memcpy(&hi, c + i + 4, 16);
    const Lanes8 in{channel(lo, hi, 16), channel(lo, hi, 8), channel(lo, hi, 0)};
    const Lanes8 out = HsbShift8(k, in);
    const __m128i newLo = pixels(out, lo, false), newHi = pixels(out, hi, true);
    std::memcpy(c + i, &newLo, 16);
    std::memcpy(c + i + 4, &newHi, 16);
  }
#endif
  for (; i < n; ++i) c[i] = HsbShiftPixel(k, c[i]);
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
