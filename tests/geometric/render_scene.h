// Random scenes for the geometric effects' differential tests: a stage of
// one format, a sprite (source and mask) of another, an update rectangle,
// blend level and thresholds, and the rendering helpers both effects share.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "framework/area_rect.h"
#include "host/glissade/masks.h"
#include "tests/geometric/sampled_reference.h"
#include "tests/rotate/rotate_host.h"

namespace vx::geometric_test {

// A source kind and a destination kind, with the pixel size of the
// expanded kinds (3 or 4; the others have their own and take 4 here).
struct KindPair {
  ImageKind source;
  std::int32_t sourceBytes;
  ImageKind destination;
  std::int32_t destinationBytes;
};

// The pairs of the Render table, and two without a loop.
inline const KindPair kRenderPairs[] = {
    {ImageKind::kRgb24, 4, ImageKind::kRgb32, 4},
    {ImageKind::kRgb32, 4, ImageKind::kRgb24, 4},
    {ImageKind::kRgb32, 4, ImageKind::kRgb32, 4},
    {ImageKind::kExpanded8, 4, ImageKind::kRgb32, 4},
    {ImageKind::kRgb555, 4, ImageKind::kRgb555, 4},
    {ImageKind::kExpanded16, 3, ImageKind::kRgb555, 4},
    {ImageKind::kExpanded16, 4, ImageKind::kRgb555, 4},
    {ImageKind::kIndexed8, 4, ImageKind::kIndexed8, 4},
    {ImageKind::kExpanded8, 4, ImageKind::kIndexed8, 4},
    {ImageKind::kExpanded8, 3, ImageKind::kIndexed8, 4},
    {ImageKind::kRgb555, 4, ImageKind::kRgb32, 4},
    {ImageKind::kIndexed8, 4, ImageKind::kRgb24, 4},
};

// Colour-plus-alpha: expanded destinations whose depth names the source.
inline const KindPair kAlphaPairs[] = {
    {ImageKind::kRgb32, 4, ImageKind::kRgb32, 4},
    {ImageKind::kRgb24, 4, ImageKind::kExpanded16, 4},
    {ImageKind::kIndexed8, 4, ImageKind::kExpanded8, 4},
    {ImageKind::kRgb555, 4, ImageKind::kExpanded16, 3},
    {ImageKind::kIndexed8, 4, ImageKind::kExpanded16, 4},
};

class Scene {
 public:
  // The palette is shared: building its inverse table costs more than a scene.
  Scene(std::mt19937& rng, PaletteTable& colours, const KindPair& pair,
        std::int32_t spriteW, std::int32_t spriteH, std::int32_t stageW, std::int32_t stageH)
      : rng_(rng),
        destination(pair.destination, 0, 0, stageW, stageH, pair.destinationBytes),
        source(pair.source, 0, 0, spriteW, spriteH, pair.sourceBytes),
        mask(ImageKind::kIndexed8, 0, 0, spriteW, spriteH),
        palette(colours) {
    destination.FillRandom(rng);
    source.FillRandom(rng);
    // Mostly opaque or clear, some partial values.
    for (std::int32_t y = 0; y < spriteH; ++y)
      for (std::int32_t x = 0; x < spriteW; ++x) {
        const std::int32_t r = Int(0, 9);
        *mask.Pixel(x, y) = static_cast<std::uint8_t>(r < 5 ? 255 : r < 7 ? 0 : Int(0, 255));
      }
    update = MakeUpdate(stageW, stageH);
    blend = Int(0, 2) == 0 ? Int(0, 255) : 255;
    lower = Int(0, 3) == 0 ? Int(0, 80) : 0;
    upper = Int(0, 2) == 0 ? Int(lower + 1, 255) : 255;
  }

  std::int32_t Int(std::int32_t lo, std::int32_t hi) {
    return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng_);
  }

  ThresholdRecord Thresholds() const { return glissade::MakeThresholdRecord(upper, lower); }

  // The whole stage, or a random part of it.
  AreaRect MakeUpdate(std::int32_t w, std::int32_t h) {
    if (Int(0, 2) == 0) return destination.view().bounds;
    const std::int32_t l = Int(0, w - 1), t = Int(0, h - 1);
    return MakeRect(l, t, Int(l + 1, w), Int(t + 1, h));
  }
  // The mask rectangle centred on the stage, as Glissade places the sprite.
  AreaRect Placed() const {
    const AreaRect& d = destination.view().bounds;
    const std::int32_t w = mask.Width(), h = mask.Height();
    const std::int32_t l = d.left + (d.width >> 1) - (w >> 1);
    const std::int32_t t = d.top + (d.height >> 1) - (h >> 1);
    return MakeRect(l, t, l + w, t + h);
  }

  std::mt19937& rng_;
  Image destination;
  Image source;
  Image mask;
  PaletteTable& palette;
  AreaRect update{};
  std::int32_t blend = 255, lower = 0, upper = 255;
};

// One random palette for a whole test.
inline PaletteTable& SharedPalette() {
  static std::mt19937 rng(99);
  static PaletteTable palette = PaletteTable::Random(rng);
  return palette;
}

// The overlap of two rectangles; empty (all zero) when they do not meet.
inline AreaRect Overlap(const AreaRect& a, const AreaRect& b) {
  const std::int32_t l = std::max(a.left, b.left), t = std::max(a.top, b.top);
  const std::int32_t r = std::min(a.right, b.right), bo = std::min(a.bottom, b.bottom);
  if (r <= l || bo <= t) return AreaRect{};
  return MakeRect(l, t, r, bo);
}

// The sprite's source drawn outright into `expected` where the mask
// rectangle lies on the stage, when the pair has a loop: what an effect that
// leaves every pixel in place draws with an opaque mask.
inline void DrawSpriteInPlace(Scene& s, Image& expected) {
  if (!RenderPairDrawn(s.source, s.destination)) return;
  const AreaRect placed = s.Placed();
  const ImageKind kind = s.destination.Kind();
  for (std::int32_t y = placed.top; y < placed.bottom; ++y)
    for (std::int32_t x = placed.left; x < placed.right; ++x) {
      const ReferenceColour c = ForDestination(
          ReadTap(s.source, x - placed.left, y - placed.top, &s.palette), kind, &s.palette);
      std::uint8_t* d = expected.Pixel(x, y);
      if (kind == ImageKind::kIndexed8) {
        d[0] = c.index;
      } else if (kind == ImageKind::kRgb555) {
        d[0] = static_cast<std::uint8_t>(c.pixel);
        d[1] = static_cast<std::uint8_t>(c.pixel >> 8);
      } else {
        d[0] = c.b, d[1] = c.g, d[2] = c.r;
      }
    }
}

}  // namespace vx::geometric_test
