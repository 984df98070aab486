// Glissade's side of a render: destination, alpha plane, sprite source and
// mask with guard bytes around each, the palette, the runs and the records,
// and the tests on what a render left behind.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "checker.h"
#include "host/glissade/image.h"
#include "host/glissade/palette.h"

namespace vx::check {

struct Format {
  glissade::ImageKind kind;
  std::int32_t bytes;  // per pixel
  const char* name;
};
// Every depth Glissade hands over, plain and expanded.
extern const std::vector<Format> kFormats;

AreaRect MakeRect(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom);
std::string RectText(const AreaRect& r);

// The destination is 37 x 29 at (-6, 4); the sprite 21 x 15, centred on it.
class Scene {
 public:
  Scene(const Format& destination, const Format& source, host::Host& host, std::uint32_t seed);

  glissade::Image dst, dstAlpha, src, mask;
  glissade::PaletteTable& palette;  // one for every scene: its inverse table is costly to build
  std::vector<std::uint16_t> runs;
  ThresholdRecord thresholds{};
  AreaRect drawn{}, drawn2{};
  SpriteDescription sprite{};
  AreaRect spriteRect{};

  // Everything about to be rendered, as it is now.
  void Snapshot();
  // What a render may have done wrong, given the update it was handed:
  // writes outside the update (or anywhere when `mayDraw` is false), into
  // the sprite, runs or palette, or past a buffer.
  std::vector<std::string> Faults(const AreaRect& given, bool mayDraw, bool alphaMayChange) const;

 private:
  std::vector<std::uint8_t> dstBefore_, alphaBefore_, srcBefore_, maskBefore_, inverseBefore_;
  std::vector<std::uint16_t> runsBefore_;
};

// Writes outside `allowed` (view coordinates) between `before` and now;
// empty when there are none.
std::string WritesOutside(const glissade::Image& image, const std::vector<std::uint8_t>& before,
                          const AreaRect& allowed, const std::string& name);

}  // namespace vx::check
