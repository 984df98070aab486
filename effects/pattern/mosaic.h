// The mosaic effect: the sprite drawn as flat tiles, each in the colour of
// one sample pixel of the tile, the tile size fixed or animated.
#pragma once

#include <cstdint>

#include "framework/animation.h"
#include "framework/compositing.h"
#include "framework/effect_class.h"
#include "framework/effect_ops.h"

namespace vx {

struct Mosaic : EffectInstance {
  static constexpr char kName[] = "mosaic";
  static constexpr char kDisplayName[] = "Mosaic";
  static constexpr std::int32_t kDescriptionId = 105;
  static constexpr bool kChangesAlpha = false;
  static constexpr PropertyRow kProperties[] = {
      {"animMode", 100, kTypeSymbol},      {"interpolation", 101, kTypeInteger},
      {"numFrames", 102, kTypeInteger},    {"xResolution", 403, kTypeInteger},
      {"yResolution", 404, kTypeInteger},  {"startXRes", 405, kTypeInteger},
      {"startYRes", 406, kTypeInteger},    {"endXRes", 407, kTypeInteger},
      {"endYRes", 408, kTypeInteger},      {"changeColorFlag", 409, kTypeInteger},
  };

  // Tile width and height animate linearly: start + trunc(frame x speed).
  float widthSpeed;
  float heightSpeed;
  // This frame's tile size, at least 1 each.
  std::int32_t tileWidth;
  std::int32_t tileHeight;
  std::int32_t changeColour;
  // Position of the sample pixel inside its tile; the index walks every
  // position, row offset = index / width, column offset = index % width.
  std::int32_t sampleIndex;
  std::int32_t sampleColumn;
  std::int32_t sampleRow;
  std::int32_t startWidth;
  std::int32_t startHeight;
  // Work buffer: one entry per tile column of the update.
  Bgrx* tileColours;
  std::int32_t tileCapacity;

  static void SetDefaults(Mosaic& m);
  static void FreeBuffers(Mosaic& m);
  static void ApplyProperties(Mosaic& m, const HostValue* list, Services* services,
                              std::int32_t* restarted);
  static Status Reset(Mosaic& m, Services* services, std::int32_t* outA, std::int32_t* outB);
  static Status Render(Mosaic& m, PixelView* dst, PixelView* src, AreaRect* update,
                       PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                       std::int32_t blend, std::int32_t draw, std::int32_t align,
                       std::int32_t hardMask, ThresholdRecord* thresholds);
};

// This frame's values: tile size from the animation, sample position moved
// while the animation runs. Run after StepFrame.
void ComputeMosaicFrame(Mosaic& m);

// The update narrowed to whole tiles of the grid anchored at the centre of
// the mask rectangle (the mask centred on the destination), within the
// destination's clip rectangle.
void AlignToTiles(const Mosaic& m, const PixelView& destination, const PixelView& mask,
                  AreaRect* update);

}  // namespace vx
