// The nine effect classes and what each answers without any property list,
// written out from the effects' published tables.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/core/host.h"
#include "vornix/abi.h"

namespace vx::host {

struct ExpectedRow {
  const char* key;  // null: the row is left unfilled
  std::int32_t id;
  std::int32_t type;
};

struct ExpectedEffect {
  const Guid* classId;
  const char* symbol;
  const char* displayName;
  bool changesAlpha;
  bool hasScriptFunctions;
  std::vector<ExpectedRow> rows;
};

inline constexpr std::int32_t kInt = 1, kSym = 2, kFlt = 6, kPnt = 8, kLst = 10;

inline const std::vector<ExpectedEffect>& ExpectedEffects() {
  static const std::vector<ExpectedEffect> effects = {
      {&kRotateClassId, "rotate", "Rotate", true, true,
       {{"animMode", 100, kSym},         {"interpolation", 101, kInt},
        {"numFrames", 102, kInt},        {"framesPerRevolution", 303, kInt},
        {"degrees", 304, kInt},          {"startDegrees", 305, kInt},
        {"endDegrees", 306, kInt},       {"radians", 307, kFlt},
        {"startRadians", 308, kFlt},     {"endRadians", 309, kFlt},
        {"flip", 310, kInt},             {"relativeTo", 311, kPnt},
        {"relativeToX", 312, kInt},      {"relativeToY", 313, kInt},
        {"offsetAngle", 314, kInt},      {"offsetAngleRad", 315, kFlt},
        {"easeIn", 316, kInt},           {"easeOut", 317, kInt},
        {"deltaDegrees", 318, kInt},     {"deltaRadians", 319, kInt}}},
      {&kRgbClassId, "rgb", "RGB", false, false,
       {{"animMode", 100, kSym},   {"interpolation", 101, kInt}, {"numFrames", 102, kInt},
        {"redShift", 103, kInt},   {"greenShift", 104, kInt},    {"blueShift", 105, kInt},
        {"startRed", 106, kInt},   {"startGreen", 107, kInt},    {"startBlue", 108, kInt},
        {"endRed", 109, kInt},     {"endGreen", 110, kInt},      {"endBlue", 111, kInt},
        {"colorShift", 112, kLst}, {"startShift", 113, kLst},    {"endShift", 114, kLst},
        {"red", 115, kInt},        {"green", 116, kInt},         {"blue", 117, kInt},
        {"easeIn", 118, kInt},     {"easeOut", 119, kInt}}},
      {&kMosaicClassId, "mosaic", "Mosaic", false, false,
       {{"animMode", 100, kSym},    {"interpolation", 101, kInt}, {"numFrames", 102, kInt},
        {"xResolution", 403, kInt}, {"yResolution", 404, kInt},   {"startXRes", 405, kInt},
        {"startYRes", 406, kInt},   {"endXRes", 407, kInt},       {"endYRes", 408, kInt},
        {"changeColorFlag", 409, kInt}}},
      {&kSwirlClassId, "swirl", "Swirl", true, true,
       {{"animMode", 100, kSym},     {"interpolation", 101, kInt}, {"numFrames", 102, kInt},
        {"degrees", 504, kInt},      {"radians", 507, kFlt},       {"startDegrees", 505, kInt},
        {"startRadians", 508, kFlt}, {"endDegrees", 506, kInt},    {"endRadians", 509, kFlt},
        {"deltaDegrees", 518, kInt}, {"deltaRadians", 519, kInt},  {"easeIn", 516, kInt},
        {"easeOut", 517, kInt}}},
      {&kMagnifyClassId, "magnify", "Magnify", false, true,
       {{"animMode", 100, kSym},        {"interpolation", 101, kInt},
        {"numFrames", 102, kInt},       {"percentage", 203, kInt},
        {"startPercentage", 204, kInt}, {"endPercentage", 205, kInt},
        {"magPoint", 206, kPnt},        {"magPointX", 207, kInt},
        {"magPointY", 208, kInt},       {"easeIn", 218, kInt},
        {"easeOut", 219, kInt}}},
      {&kLineSkipClassId, "lineskip", "LineSkip", true, false,
       {{"animMode", 100, kSym},    {"interpolation", 101, kInt}, {"numFrames", 102, kInt},
        {"linesToSkip", 603, kInt}, {"linesToDraw", 604, kInt},   {"startSkip", 605, kInt},
        {"startDraw", 606, kInt},   {"endSkip", 607, kInt},       {"endDraw", 608, kInt},
        {"offset", 609, kInt},      {"startOffset", 610, kInt},   {"endOffset", 611, kInt}}},
      {&kHsbClassId, "hsb", "HSB", false, false,
       {{"animMode", 100, kSym},    {"interpolation", 101, kInt}, {"numFrames", 102, kInt},
        {"hueShift", 803, kInt},    {"satShift", 804, kInt},      {"brightShift", 805, kInt},
        {"startHue", 806, kInt},    {"startSat", 807, kInt},      {"startBright", 808, kInt},
        {"endHue", 809, kInt},      {"endSat", 810, kInt},        {"endBright", 811, kInt},
        {"colorShift", 812, kLst},  {"startShift", 813, kLst},    {"endShift", 814, kLst},
        {"hue", 815, kInt},         {"saturation", 816, kInt},    {"brightness", 817, kInt},
        {"easeIn", 818, kInt},      {"easeOut", 819, kInt},       {"forceHue", 820, kInt},
        {"forceSat", 821, kInt},    {"forceBright", 822, kInt}}},
      {&kPointelClassId, "pointel", "Pointel", true, false,
       {{"animMode", 100, kSym}, {nullptr, 0, 0}, {nullptr, 0, 0},
        {"speed", 900, kInt}, {"intensity", 901, kInt}, {"radius", 902, kInt}}},
      {&kSnowClassId, "snow", "Snow", false, false,
       {{"animMode", 100, kSym}, {nullptr, 0, 0}, {nullptr, 0, 0},
        {"speed", 700, kInt}, {"intensity", 701, kInt}, {"strength", 702, kInt},
        {"chroma", 703, kInt}}},
  };
  return effects;
}

// An instance of one class and its effect interface, opened as a host does;
// both empty when the class cannot be created.
struct LiveEffect {
  std::unique_ptr<Instance> instance;
  InterfaceRef<EffectInterface> effect;
};

inline LiveEffect OpenEffect(Host& host, const Guid& classId) {
  LiveEffect live;
  live.instance = host.Create(classId);
  if (live.instance) live.effect = live.instance->Effect();
  return live;
}

}  // namespace vx::host
