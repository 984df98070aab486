// Pointel's dot loops: one template walks the rectangle with the noise
// layers and paints a dot wherever a visible pixel has a speck under any
// layer; the dot's shape, how the source colour is read and how a dot pixel
// is written are its parameters, picked from a table once per render.
#pragma once

#include <cstdint>
#include <cstring>

#include "effects/noise/noise_layers.h"
#include "framework/compositing.h"
#include "framework/pixel_view.h"
#include "framework/sprite_records.h"

namespace vx::pointel {

struct DotJob {
  // The clipped update rectangle, before it was pulled in: every dot lies
  // inside it. `alpha` is walked only by the alpha-writing loops.
  ViewWalk destination;
  ViewWalk alpha;
  // The walked rectangle (pulled in), at (insetX, insetY) inside the above.
  ViewWalk mask;
  ViewWalk source;
  std::int32_t insetX = 0, insetY = 0;
  std::int32_t lower = 0;  // lower mask threshold
  Palette palette;
};

// ---------------------------------------------------------------------------
// Dot shapes: offsets from the centre pixel, +y down the image.

struct DotOffset {
  std::int32_t dx, dy;
};
struct SingleDot {
  static constexpr DotOffset kOffsets[] = {{0, 0}};
  static constexpr std::int32_t kLeft = 0, kTop = 0, kRight = 0, kBottom = 0;
};
struct SquareDot {
  static constexpr DotOffset kOffsets[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  static constexpr std::int32_t kLeft = 0, kTop = 0, kRight = 1, kBottom = 1;
};
// The 4 x 4 block from (-1, -1) to (2, 2) without its corners.
struct RoundDot {
  static constexpr DotOffset kOffsets[] = {{0, -1}, {1, -1}, {-1, 0}, {0, 0}, {1, 0}, {2, 0},
                                           {-1, 1}, {0, 1},  {1, 1},  {2, 1}, {0, 2}, {1, 2}};
  static constexpr std::int32_t kLeft = 1, kTop = 1, kRight = 2, kBottom = 2;
};

// ---------------------------------------------------------------------------
// Reading the dot's colour from the source pixel at its centre.

struct ReadBgr {  // expanded source, its three bytes
  using Colour = Bgrx;
  static constexpr std::int32_t kMinBytes = 3, kMaxBytes = kMaxBytesPerPixel;
  static Colour Read(const Palette&, const std::uint8_t* s) { return {s[0], s[1], s[2], 0}; }
};
// Expanded 16-bit source: the bytes are 5-bit values; anything above 31 is
// cut to its field so the word keeps bit 15 clear.
struct ReadExpanded555 {
  using Colour = std::uint16_t;
  static constexpr std::int32_t kMinBytes = 3, kMaxBytes = kMaxBytesPerPixel;
  static Colour Read(const Palette&, const std::uint8_t* s) {
    return static_cast<Colour>(((s[2] & 31) << 10) | ((s[1] & 31) << 5) | (s[0] & 31));
  }
};
struct ReadPacked555 {
  using Colour = std::uint16_t;
  static constexpr std::int32_t kMinBytes = 2, kMaxBytes = 2;
  static Colour Read(const Palette&, const std::uint8_t* s) {
    std::uint16_t w;
    std::memcpy(&w, s, 2);
    return static_cast<Colour>(w & 0x7FFF);
  }
};
// The word's fields as bytes 0-31 (alpha-writing loop).
struct ReadPacked555Fields {
  using Colour = Bgrx;
  static constexpr std::int32_t kMinBytes = 2, kMaxBytes = 2;
  static Colour Read(const Palette& p, const std::uint8_t* s) {
    const std::uint16_t w = ReadPacked555::Read(p, s);
    return {static_cast<std::uint8_t>(w & 31), static_cast<std::uint8_t>((w >> 5) & 31),
            static_cast<std::uint8_t>((w >> 10) & 31), 0};
  }
};
struct ReadExpandedToIndex {
  using Colour = std::uint8_t;
  static constexpr std::int32_t kMinBytes = 3, kMaxBytes = kMaxBytesPerPixel;
  static Colour Read(const Palette& p, const std::uint8_t* s) {
    return InverseLookup(p, s[2], s[1], s[0]);
  }
};
struct ReadIndexColour {
  using Colour = Bgrx;
  static constexpr std::int32_t kMinBytes = 1, kMaxBytes = 1;
  static Colour Read(const Palette& p, const std::uint8_t* s) {
    const Rgb c = PaletteLookup(p, *s);
    return {c.b, c.g, c.r, 0};
  }
};
struct ReadIndexToIndex {
  using Colour = std::uint8_t;
  static constexpr std::int32_t kMinBytes = 1, kMaxBytes = 1;
  static Colour Read(const Palette& p, const std::uint8_t* s) {
    const Rgb c = PaletteLookup(p, *s);
    return InverseLookup(p, c.r, c.g, c.b);
  }
};

// ---------------------------------------------------------------------------
// Writing one dot pixel `d`, at (x, y) of the destination rectangle.

struct WriteBgr {
  static constexpr std::int32_t kMinStep = 3, kMaxStep = kMaxBytesPerPixel;
  static void Write(const DotJob&, std::uint8_t* d, std::int32_t, std::int32_t, Bgrx c) {
    d[0] = c.b;
    d[1] = c.g;
    d[2] = c.r;
  }
};
struct WriteWord {
  static constexpr std::int32_t kMinStep = 2, kMaxStep = 2;
  static void Write(const DotJob&, std::uint8_t* d, std::int32_t, std::int32_t, std::uint16_t c) {
    std::memcpy(d, &c, 2);
  }
};
struct WriteIndex {
  static constexpr std::int32_t kMinStep = 1, kMaxStep = 1;
  static void Write(const DotJob&, std::uint8_t* d, std::int32_t, std::int32_t, std::uint8_t c) {
    *d = c;
  }
};
// Colour as `Colour`, and 255 in the alpha destination.
template <class Colour>
struct WriteOpaque {
  static constexpr std::int32_t kMinStep = Colour::kMinStep, kMaxStep = Colour::kMaxStep;
  template <class C>
  static void Write(const DotJob& job, std::uint8_t* d, std::int32_t x, std::int32_t y, C c) {
    Colour::Write(job, d, x, y, c);
    *job.alpha.At(x, y) = 255;
  }
};

// ---------------------------------------------------------------------------

template <class Shape, class Reader, class Writer>
void PaintDots(const DotJob& job, LayerSums& sums) {
  const std::int32_t w = job.mask.width;
  const std::int32_t mstep = job.mask.step;
  const std::int32_t sstep = job.source.step;
  const std::ptrdiff_t dstep = job.destination.step;
  for (std::int32_t y = 0; y < job.mask.height; ++y) {
    sums.BeginRow(y);
    const std::uint8_t* m = job.mask.Row(y);
    const std::uint8_t* s = job.source.Row(y);
    const std::int32_t cy = y + job.insetY;
    // The destination rows this row's dots reach, kTop above to kBottom
    // below.
    std::uint8_t* reach[Shape::kTop + 1 + Shape::kBottom];
    for (std::int32_t dy = -Shape::kTop; dy <= Shape::kBottom; ++dy)
      reach[dy + Shape::kTop] = job.destination.Row(cy + dy);
    for (std::int32_t x = 0; x < w; ++x) {
      if (m[static_cast<std::ptrdiff_t>(x) * mstep] <= job.lower || sums.At(x) == 0) continue;
      const auto colour =
          Reader::Read(job.palette, s + static_cast<std::ptrdiff_t>(x) * sstep);
      const std::int32_t cx = x + job.insetX;
      for (const DotOffset& o : Shape::kOffsets)
        Writer::Write(job, reach[o.dy + Shape::kTop] + (cx + o.dx) * dstep, cx + o.dx, cy + o.dy,
                      colour);
    }
  }
}

}  // namespace vx::pointel
