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

EntryLayout EntryLayoutFor(PixelFormat destinationFormat, std::int32_t destinationDepth) {
  switch (destinationFormat) {
    case PixelFormat::kIndexed8:
      return EntryLayout::kIndexed;
    case PixelFormat::kRgb555:
      return EntryLayout::kPixel555;
    default:
      // Expanded 16-bit images keep 5-bit components.
      return destinationDepth == 16 ? EntryLayout::kFive : EntryLayout::kRgb8;
  }
}

SampleFormat SampleFormatOf(const PixelView& source) {
  const std::int32_t bpp = source.bytesPerPixel;
  const std::int32_t depth = source.depth;
  if (bpp == 1) return depth == 8 ? SampleFormat::kIndex : SampleFormat::kNone;
  if (bpp == 2) return depth == 16 ? SampleFormat::kPixel555 : SampleFormat::kNone;
  if (bpp < 3 || bpp > kMaxBytesPerPixel) return SampleFormat::kNone;
  switch (depth) {
    case 8:
      return bpp >= 4 ? SampleFormat::kIndexedBytes : SampleFormat::kBytes;
    case 16:
      return SampleFormat::kFive;
    case 24:
    case 32:
      return SampleFormat::kBytes;
    default:
      return SampleFormat::kNone;
  }
}

bool NeedsPalette(EntryLayout entry, SampleFormat sample) {
  return entry == EntryLayout::kIndexed || sample == SampleFormat::kIndex;
}

namespace {

// 5-bit to 8-bit, the top bits repeated below.
inline std::uint8_t Widen(std::uint32_t v) {
  v &= 31;
  return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}
inline std::uint16_t Pack(std::uint32_t r5, std::uint32_t g5, std::uint32_t b5) {
  return static_cast<std::uint16_t>(((r5 & 31) << 10) | ((g5 & 31) << 5) | (b5 & 31));
}
inline std::uint16_t Load16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// What each source format yields: 8-bit colours (fourth byte as the entry
// keeps it), the palette index, 5-bit colours, the 5-5-5 pixel.
template <SampleFormat S>
struct Sample;

template <>
struct Sample<SampleFormat::kIndex> {
  static Bgrx Rgb8(const std::uint8_t* p, const Palette& pal) {
    const Rgb c = PaletteLookup(pal, p[0]);
    return Bgrx{c.b, c.g, c.r, p[0]};
  }
  static std::uint8_t Index(const std::uint8_t* p, const Palette&) { return p[0]; }
  static Bgrx Five(const std::uint8_t* p, const Palette& pal) {
    const Rgb c = PaletteLookup(pal, p[0]);
    return Bgrx{static_cast<std::uint8_t>(c.b >> 3), static_cast<std::uint8_t>(c.g >> 3),
                static_cast<std::uint8_t>(c.r >> 3), 0};
  }
  static std::uint16_t Pixel(const std::uint8_t* p, const Palette& pal) {
    const Rgb c = PaletteLookup(pal, p[0]);
    return Pack(c.r >> 3, c.g >> 3, c.b >> 3);
  }
};

template <>
struct Sample<SampleFormat::kPixel555> {
  static Bgrx Rgb8(const std::uint8_t* p, const Palette&) {
    const std::uint16_t v = Load16(p);
    return Bgrx{Widen(v), Widen(v >> 5), Widen(v >> 10), 0};
  }
  // The inverse table is keyed by the 5-5-5 pixel itself.
  static std::uint8_t Index(const std::uint8_t* p, const Palette& pal) {
    return pal.inverse[Load16(p) & 0x7FFF];
  }
  static Bgrx Five(const std::uint8_t* p, const Palette&) {
    const std::uint16_t v = Load16(p);
    return Bgrx{static_cast<std::uint8_t>(v & 31), static_cast<std::uint8_t>((v >> 5) & 31),
                static_cast<std::uint8_t>((v >> 10) & 31), 0};
  }
  static std::uint16_t Pixel(const std::uint8_t* p, const Palette&) { return Load16(p); }
};

// Blue, green, red bytes in 8-bit units.
struct ByteSample {
  static Bgrx Rgb8(const std::uint8_t* p, const Palette&) { return Bgrx{p[0], p[1], p[2], 0}; }
  static std::uint8_t Index(const std::uint8_t* p, const Palette& pal) {
    return InverseLookup(pal, p[2], p[1], p[0]);
  }
  static Bgrx Five(const std::uint8_t* p, const Palette&) {
    return Bgrx{static_cast<std::uint8_t>(p[0] >> 3), static_cast<std::uint8_t>(p[1] >> 3),
                static_cast<std::uint8_t>(p[2] >> 3), 0};
  }
  static std::uint16_t Pixel(const std::uint8_t* p, const Palette&) {
    return Pack(p[2] >> 3, p[1] >> 3, p[0] >> 3);
  }
};

template <>
struct Sample<SampleFormat::kBytes> : ByteSample {};

// Four bytes as they stand: the fourth is the pixel's palette index.
template <>
struct Sample<SampleFormat::kIndexedBytes> : ByteSample {
  static Bgrx Rgb8(const std::uint8_t* p, const Palette&) { return Bgrx{p[0], p[1], p[2], p[3]}; }
  static std::uint8_t Index(const std::uint8_t* p, const Palette&) { return p[3]; }
};

template <>
struct Sample<SampleFormat::kFive> {
  static Bgrx Rgb8(const std::uint8_t* p, const Palette&) {
    return Bgrx{Widen(p[0]), Widen(p[1]), Widen(p[2]), 0};
  }
  static std::uint8_t Index(const std::uint8_t* p, const Palette& pal) {
    return pal.inverse[Pack(p[2], p[1], p[0])];
  }
  static Bgrx Five(const std::uint8_t* p, const Palette&) { return Bgrx{p[0], p[1], p[2], 0}; }
  static std::uint16_t Pixel(const std::uint8_t* p, const Palette&) {
    return Pack(p[2], p[1], p[0]);
  }
};

template <EntryLayout E, SampleFormat S>
inline Bgrx MakeEntry(const std::uint8_t* p, const Palette& pal) {
  using In = Sample<S>;
  if constexpr (E == EntryLayout::kIndexed && S == SampleFormat::kPixel555) {
    // A packed sample blends as the palette colour of the index it is drawn
    // with, as an 8-bit sample does.
    const std::uint8_t index = In::Index(p, pal);
    const Rgb c = PaletteLookup(pal, index);
    return Bgrx{c.b, c.g, c.r, index};
  } else if constexpr (E == EntryLayout::kIndexed) {
    Bgrx c = In::Rgb8(p, pal);
    c.x = In::Index(p, pal);
    return c;
  } else if constexpr (E == EntryLayout::kRgb8) {
    return In::Rgb8(p, pal);
  } else if constexpr (E == EntryLayout::kFive) {
    return In::Five(p, pal);
  } else {
    const std::uint16_t v = In::Pixel(p, pal);
    return Bgrx{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), 0, 0};
  }
}

template <EntryLayout E, SampleFormat S>
void FillRow(const TileFill& fill, std::int32_t imageRow, Bgrx* entries) {
  const TileLayout& t = fill.layout;
  const std::uint8_t* row = fill.image.Row(SampleRowOf(t, imageRow));
  const std::ptrdiff_t step = fill.image.step;
  for (std::int32_t e = 0; e < t.tileCount; ++e) {
    const std::int32_t column = SampleColumnOf(t, TileStart(t, e));
    entries[e] = MakeEntry<E, S>(row + step * column, fill.palette);
  }
}

template <EntryLayout E>
FillFn FillFor(SampleFormat sample) {
  switch (sample) {
    case SampleFormat::kIndex:
      return &FillRow<E, SampleFormat::kIndex>;
    case SampleFormat::kPixel555:
      return &FillRow<E, SampleFormat::kPixel555>;
    case SampleFormat::kIndexedBytes:
      return &FillRow<E, SampleFormat::kIndexedBytes>;
    case SampleFormat::kBytes:
      return &FillRow<E, SampleFormat::kBytes>;
    case SampleFormat::kFive:
      return &FillRow<E, SampleFormat::kFive>;
    case SampleFormat::kNone:
      break;
  }
  return nullptr;
}

}  // namespace

FillFn SelectFill(EntryLayout entry, SampleFormat sample) {
  switch (entry) {
    case EntryLayout::kIndexed:
      return FillFor<EntryLayout::kIndexed>(sample);
    case EntryLayout::kRgb8:
      return FillFor<EntryLayout::kRgb8>(sample);
    case EntryLayout::kFive:
      return FillFor<EntryLayout::kFive>(sample);
    case EntryLayout::kPixel555:
      return FillFor<EntryLayout::kPixel555>(sample);
  }
  return nullptr;
}

}  // namespace vx::mosaic
