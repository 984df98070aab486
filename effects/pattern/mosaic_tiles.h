// Mosaic's tile grid over the source image and its tile-colour row: one
// entry per tile column of the update, refilled at every tile-row boundary
// and read by the compositing loops as a colour source.
#pragma once

#include <cstdint>

#include "framework/compositing.h"
#include "framework/pixel_view.h"
#include "framework/sprite_records.h"

namespace vx::mosaic {

// x mod m in [0, m), for m > 0.
inline std::int64_t FloorMod(std::int64_t x, std::int64_t m) {
  const std::int64_t r = x % m;
  return r < 0 ? r + m : r;
}

// Where the tiles of one render lie. Tiles are anchored at the centre of
// the source image: columns start where c = W/2 (mod tile width), rows where
// r = H/2 (mod tile height). Coordinates count from the image's top-left.
struct TileLayout {
  std::int32_t tileWidth = 1, tileHeight = 1;
  std::int32_t imageWidth = 0, imageHeight = 0;
  std::int32_t sampleColumn = 0, sampleRow = 0;  // offsets inside a tile
  std::int32_t left = 0, top = 0;                // the update's first column and row
  std::int32_t width = 0;                        // the update's columns
  std::int64_t firstOffset = 0;  // `left` within its tile
  std::int32_t tileCount = 0;    // tile columns the update touches
};

TileLayout MakeTileLayout(std::int32_t tileWidth, std::int32_t tileHeight,
                          std::int32_t sampleColumn, std::int32_t sampleRow,
                          std::int32_t imageWidth, std::int32_t imageHeight, std::int32_t left,
                          std::int32_t top, std::int32_t width);

// Start column of the update's tile column `e` (negative for the tile cut
// by the image's left edge).
inline std::int64_t TileStart(const TileLayout& t, std::int64_t e) {
  return t.left - t.firstOffset + e * t.tileWidth;
}
inline bool IsTileRowStart(const TileLayout& t, std::int32_t row) {
  return FloorMod(static_cast<std::int64_t>(row) - t.imageHeight / 2, t.tileHeight) == 0;
}
// The sample column of the tile starting at `start`: the cut tile at the
// left edge samples column 0, the others their start plus the offset, kept
// inside the image. It depends on the tile alone, never on where the update
// begins, so partial redraws match whole ones.
inline std::int32_t SampleColumnOf(const TileLayout& t, std::int64_t start) {
  if (start < 0) return 0;
  const std::int64_t c = start + t.sampleColumn;
  return static_cast<std::int32_t>(c < t.imageWidth ? c : t.imageWidth - 1);
}
// The sample row for image row `row`, by the same rule.
inline std::int32_t SampleRowOf(const TileLayout& t, std::int32_t row) {
  const std::int64_t start =
      row - FloorMod(static_cast<std::int64_t>(row) - t.imageHeight / 2, t.tileHeight);
  if (start < 0) return 0;
  const std::int64_t r = start + t.sampleRow;
  return static_cast<std::int32_t>(r < t.imageHeight ? r : t.imageHeight - 1);
}

// ---------------------------------------------------------------------------
// Entries. An entry is four bytes: blue, green, red and a fourth byte (the
// palette index for 8-bit destinations); for 5-5-5 destinations bytes 0-1
// hold the 16-bit pixel.

struct TileFill {
  ViewWalk image;  // the whole source image
  TileLayout layout;
  Palette palette;
};
// Fills `entries` (layout.tileCount of them) for image row `imageRow`.
using FillFn = void (*)(const TileFill& fill, std::int32_t imageRow, Bgrx* entries);

// The fill reading `source`'s pixels into entries for `destination`, and
// whether it reads the colour table; no fill for formats without one.
struct FillChoice {
  FillFn fill = nullptr;
  bool usesPalette = false;
};
FillChoice SelectFill(const PixelView& source, const PixelView& destination);

// The colour source of the compositing loops: the colour of a pixel is the
// entry of its tile; the row is refilled where a tile row begins.
template <class Fmt>
class TileColours {
 public:
  using Colour = typename Fmt::Colour;

  TileColours(const TileFill& fill, FillFn fn, Bgrx* entries)
      : fill_(fill), fn_(fn), entries_(entries), tileWidth_(fill.layout.tileWidth) {}

  void BeginRow(std::int32_t y) {
    const std::int32_t row = fill_.layout.top + y;
    if (y == 0 || IsTileRowStart(fill_.layout, row)) fn_(fill_, row, entries_);
    Seek(0);
  }

  Colour At(std::int32_t x) {
    if (x >= end_ || x < begin_) Seek(x);
    return colour_;
  }

  std::int32_t SameColourFrom(std::int32_t x) {
    if (x >= end_ || x < begin_) Seek(x);
    const std::int64_t n = end_ - x;
    return n > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(n);
  }

  // The blends' colours of [x, x + n), a tile at a time: after the tile
  // holding x come whole tiles, one step on each. `out` has room for three
  // entries past n.
  void Entries(std::int32_t x, std::int32_t n, std::uint32_t* out) {
    if (x >= end_ || x < begin_) Seek(x);
    std::int64_t tile = tile_, end = end_;
    for (std::int32_t i = 0;;) {
      const std::uint32_t entry = composite_detail::EntryOf<Fmt>(ColourOf(entries_[tile]), 0);
      const std::int32_t stop = end - x < n ? static_cast<std::int32_t>(end - x) : n;
      for (; i < stop; i += 4) out[i] = out[i + 1] = out[i + 2] = out[i + 3] = entry;
      if (stop == n) break;
      i = stop;
      ++tile;
      end += tileWidth_;
    }
    if (tile != tile_) {
      tile_ = tile;
      begin_ = end - tileWidth_;
      end_ = end;
      colour_ = ColourOf(entries_[tile]);
    }
  }

 private:
  // Makes the tile holding pixel x current; the next tile is one step on.
  void Seek(std::int64_t x) {
    if (x >= end_ && x < end_ + tileWidth_ && x > 0) {
      ++tile_;
      begin_ = end_;
    } else {
      tile_ = (fill_.layout.firstOffset + x) / tileWidth_;
      begin_ = tile_ * tileWidth_ - fill_.layout.firstOffset;
    }
    end_ = begin_ + tileWidth_;
    colour_ = ColourOf(entries_[tile_]);
  }

  static Colour ColourOf(const Bgrx& e) {
    if constexpr (std::is_same_v<Colour, std::uint16_t>)
      return static_cast<std::uint16_t>(e.b | (e.g << 8));
    else
      return e;
  }

  const TileFill& fill_;
  FillFn fn_;
  Bgrx* entries_;
  std::int64_t tileWidth_;
  std::int64_t tile_ = 0, begin_ = 0, end_ = 0;
  Colour colour_{};
};

}  // namespace vx::mosaic
