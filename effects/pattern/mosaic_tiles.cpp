#include "effects/pattern/mosaic_tiles.h"

namespace vx::mosaic {

TileLayout MakeTileLayout(std::int32_t tileWidth, std::int32_t tileHeight,
                          std::int32_t sampleColumn, std::int32_t sampleRow,
                          std::int32_t imageWidth, std::int32_t imageHeight, std::int32_t left,
                          std::int32_t top, std::int32_t width) {
  TileLayout t;
  t.tileWidth = tileWidth < 1 ? 1 : tileWidth;
  t.tileHeight = tileHeight < 1 ? 1 : tileHeight;
  t.imageWidth = imageWidth;
  t.imageHeight = imageHeight;
  t.sampleColumn = sampleColumn;
  t.sampleRow = sampleRow;
  t.left = left;
  t.top = top;
  t.width = width < 0 ? 0 : width;
  t.firstOffset = FloorMod(static_cast<std::int64_t>(left) - imageWidth / 2, t.tileWidth);
  t.tileCount = t.width == 0 ? 0
                             : static_cast<std::int32_t>((t.firstOffset + t.width + t.tileWidth - 1) /
                                                         t.tileWidth);
  return t;
}

namespace {

// An entry for a destination `Fmt` (5-bit components when `kFive`, an
// expanded 16-bit stage): 8-bit colours and the index (8-bit), the 5-5-5
// word in bytes 0-1 (16-bit), or the colours in the destination's units.
template <class Fmt, bool kFive, class Source>
inline Bgrx MakeEntry(const std::uint8_t* p, const Palette& pal) {
  using In = SourceColours<Source>;
  if constexpr (std::is_same_v<Fmt, Indexed8> && std::is_same_v<Source, Rgb555Source>) {
    // A packed sample blends as the palette colour of the index it is drawn
    // with, as an 8-bit sample does.
    const std::uint8_t index = In::Index(p, pal);
    const Rgb c = PaletteLookup(pal, index);
    return Bgrx{c.b, c.g, c.r, index};
  } else if constexpr (std::is_same_v<Fmt, Indexed8>) {
    Bgrx c = In::Eight(p, pal);
    c.x = In::Index(p, pal);
    return c;
  } else if constexpr (std::is_same_v<Fmt, Rgb555>) {
    const std::uint16_t v = In::Pixel555(p, pal);
    return Bgrx{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), 0, 0};
  } else if constexpr (kFive) {
    return In::Five(p, pal);
  } else {
    return In::Eight(p, pal);
  }
}

template <class Fmt, bool kFive, class Source>
void FillRow(const TileFill& fill, std::int32_t imageRow, Bgrx* entries) {
  const TileLayout& t = fill.layout;
  const std::uint8_t* row = fill.image.Row(SampleRowOf(t, imageRow));
  const std::ptrdiff_t step = fill.image.step;
  for (std::int32_t e = 0; e < t.tileCount; ++e) {
    const std::int32_t column = SampleColumnOf(t, TileStart(t, e));
    entries[e] = MakeEntry<Fmt, kFive, Source>(row + step * column, fill.palette);
  }
}

template <bool kFive>
FillChoice FillFor(const PixelView& source, const PixelView& destination) {
  return VisitFormats(SourceFormatOf(source), PixelFormatOf(destination),
                      [&]<class Source, class Fmt>() {
                        return FillChoice{&FillRow<Fmt, kFive && kIsExpandedFormat<Fmt>, Source>,
                                          std::is_same_v<Source, Indexed8Source> ||
                                              std::is_same_v<Fmt, Indexed8>};
                      });
}

}  // namespace

FillChoice SelectFill(const PixelView& source, const PixelView& destination) {
  // Expanded 16-bit images keep 5-bit components.
  return destination.depth == 16 ? FillFor<true>(source, destination)
                                 : FillFor<false>(source, destination);
}

}  // namespace vx::mosaic
