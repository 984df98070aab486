// Three animated colour channels sharing one set of ease frames: the
// instance fields the colour effects keep per channel, and the steps their
// set-ups and renders take on all three at once.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include "framework/animation.h"
#include "framework/properties.h"

namespace vx::colour {

// What a colour effect's property list says about its three channels, read
// from the rows both colour tables share; kAbsent where it says nothing.
struct ChannelList {
  std::int32_t mode, frames;
  std::array<std::int32_t, 3> shift, start;
  std::int32_t easeIn, easeOut;
};

inline ChannelList ReadChannelList(const HostValue* list, const PropertyDesc* table,
                                   Services* services) {
  enum Row { kNumFrames = 2, kShift = 3, kStart = 6, kEnd = 9, kEaseIn = 18, kEaseOut = 19 };
  auto read = [&](int row) { return GetIntProperty(list, table[row].keySymbol, services); };
  ChannelList l;
  l.mode = GetAnimMode(list, table, services);
  l.frames = read(kNumFrames);
  for (int i = 0; i < 3; ++i) l.shift[i] = read(kShift + i);
  for (int i = 0; i < 3; ++i) l.start[i] = read(kStart + i);
  l.easeIn = read(kEaseIn);
  l.easeOut = read(kEaseOut);
  // An end key counts only where its shift key is missing.
  for (int i = 0; i < 3; ++i)
    if (l.shift[i] == kAbsent) l.shift[i] = read(kEnd + i);
  return l;
}

// Every list reruns the set-up of its mode (the current one when it names
// none), also a list that names no value; other modes change nothing.
template <class Static, class Animated>
void RunSetUp(std::int32_t listMode, std::int32_t currentMode, Static&& staticSetUp,
              Animated&& animatedSetUp) {
  const std::int32_t mode = listMode == kAbsent ? currentMode : listMode;
  if (mode == kModeStatic)
    staticSetUp();
  else if (IsAnimatedMode(mode))
    animatedSetUp(mode);
}

// Where one channel lives in an effect instance.
template <class Effect>
struct ChannelFields {
  std::int32_t Effect::*base;
  float Effect::*speed;
  float Effect::*accelIn;
  float Effect::*accelOut;
  std::int32_t Effect::*now;
};

template <class Effect>
using ChannelTable = std::array<ChannelFields<Effect>, 3>;

// Sum of two 32-bit values kept within 32 bits.
inline std::int32_t SaturatedSum(std::int64_t a, std::int64_t b) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      a + b, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

template <class Effect>
AnimatedValue LoadChannel(const Effect& e, const ChannelFields<Effect>& f) {
  AnimatedValue v;
  v.start = e.*f.base;
  v.speed = e.*f.speed;
  v.accelIn = e.*f.accelIn;
  v.accelOut = e.*f.accelOut;
  return v;
}

template <class Effect>
void StoreChannel(Effect& e, const ChannelFields<Effect>& f, const AnimatedValue& v) {
  e.*f.base = v.start;
  e.*f.speed = v.speed;
  e.*f.accelIn = v.accelIn;
  e.*f.accelOut = v.accelOut;
}

// The value of a channel at frame `t` of its plan.
template <class Effect>
EaseFrames EaseOf(const Effect& e) {
  EaseFrames f;
  f.easeIn = e.easeIn;
  f.easeOut = e.easeOut;
  f.linear = e.linear;
  return f;
}

template <class Effect>
std::int32_t ChannelAt(const Effect& e, const ChannelFields<Effect>& f, std::int32_t t) {
  return SaturatedSum(e.*f.base, OffsetAt(LoadChannel(e, f), EaseOf(e), t));
}

// The look of the current frame becomes every channel's base.
template <class Effect>
void CommitCurrent(Effect& e, const ChannelTable<Effect>& channels) {
  for (const auto& f : channels) e.*f.base = ChannelAt(e, f, e.anim.frame);
}

// Where an animated set-up runs to when the list names no end: the values
// now shown once the previous animation is over (committed into the bases,
// `restarted` set), else the ends of the animation still running.
template <class Effect>
std::array<std::int32_t, 3> DefaultEnds(Effect& e, const ChannelTable<Effect>& channels,
                                        std::int32_t* restarted) {
  std::array<std::int32_t, 3> ends{};
  if (e.anim.finished) {
    CommitCurrent(e, channels);
    if (restarted) *restarted = 1;
    for (int i = 0; i < 3; ++i) ends[i] = e.*channels[i].base;
  } else {
    for (int i = 0; i < 3; ++i) ends[i] = ChannelAt(e, channels[i], e.anim.frameCount);
  }
  return ends;
}

// Plans channel `f` to move by `delta` over the animation's frames; the
// shared ease frames are clamped in place (to the same split each time).
template <class Effect>
void PlanChannel(Effect& e, const ChannelFields<Effect>& f, std::int32_t delta) {
  PlanEase(e.anim.frameCount, delta, &e.easeIn, &e.easeOut, &e.linear,
           &(e.*f.accelIn), &(e.*f.accelOut), &(e.*f.speed));
}

// A static setting keeps no motion; the linear frames stay as they were.
template <class Effect>
void StopChannels(Effect& e, const ChannelTable<Effect>& channels) {
  for (const auto& f : channels) {
    AnimatedValue v = LoadChannel(e, f);
    StopMoving(&v);
    StoreChannel(e, f, v);
  }
  e.easeIn = 0;
  e.easeOut = 0;
}

// This frame's now values, base + offset at the current frame.
template <class Effect>
void ComputeNow(Effect& e, const ChannelTable<Effect>& channels) {
  for (const auto& f : channels) e.*f.now = ChannelAt(e, f, e.anim.frame);
}

// A negative frame count runs as its magnitude (the static pending mark -1
// included); 0 runs as 1.
inline std::int32_t PositiveFrameCount(std::int32_t n) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  if (n == kMin) return std::numeric_limits<std::int32_t>::max();
  return UsableFrameCount(n < 0 ? -n : n);
}

// A shift amount narrowed to what can still change a component of 0..top:
// the clamp after adding gives the same result, and sums stay small.
inline std::int32_t UsefulShift(std::int32_t amount, std::int32_t top) {
  return std::clamp(amount, -top, top);
}

}  // namespace vx::colour
