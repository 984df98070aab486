// Pixel formats, from both sides of a pixel loop.
//
//  - Destination formats (Indexed8, Rgb555, Bgr<n>) store or blend a colour
//    given in their own units into one pixel.
//  - Source readers (Indexed8Source, Rgb555Source, ExpandedSource<n, ch>)
//    read one pixel: LoadBgr gives its colour as packed blue, green, red
//    bytes in the units the pixel holds; the Eight/Five/Index/Pixel555
//    conversions give it in whatever units a destination wants.
//  - VisitFormats turns a (source, destination) format pair, known only at
//    run time, into one call of a template instantiated for that pair;
//    VisitFormat does the same for one side. Callers refuse the pairs they
//    have no loop for with `if constexpr`, so each loop is written once.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "framework/pixel_view.h"
#include "framework/sprite_records.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The per-pixel pieces must melt into their loop; a call per pixel costs
// more than the pixel.
#if defined(__GNUC__)
#define VX_PIXEL_INLINE [[gnu::always_inline]] inline
#else
#define VX_PIXEL_INLINE inline
#endif

namespace vx {

// Blue, green, red and a fourth byte: the palette index for 8-bit
// destinations, unused (never stored) for expanded ones.
struct Bgrx {
  std::uint8_t b, g, r, x;
};

// One component moved towards c by a/256: signed product, arithmetic shift.
inline std::int32_t BlendComponent(std::int32_t d, std::int32_t c, std::int32_t a) {
  return d + (((c - d) * a) >> 8);
}

// ---------------------------------------------------------------------------
// Colour units. Components are 8-bit (24/32-bit pixels, palette colours, an
// 8-bit stage expanded) or 5-bit (5-5-5 words, a 16-bit stage expanded).

// 5-bit to 8-bit, the top bits repeated below.
inline std::uint8_t WidenFive(std::uint32_t v) {
  v &= 31;
  return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}
inline std::uint8_t NarrowEight(std::uint32_t v) { return static_cast<std::uint8_t>(v >> 3); }
// A 5-5-5 word from 5-bit components (stray high bits dropped).
inline std::uint16_t Pack555(std::uint32_t r5, std::uint32_t g5, std::uint32_t b5) {
  return static_cast<std::uint16_t>(((r5 & 31) << 10) | ((g5 & 31) << 5) | (b5 & 31));
}
inline std::uint16_t Load555(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Blue, green and red bytes of a colour packed in bits 0, 8 and 16.
inline std::uint32_t PackBgr(std::uint32_t b, std::uint32_t g, std::uint32_t r) {
  return b | (g << 8) | (r << 16);
}

// Blue, green and red in 16-bit lanes of one word (bits 0, 16 and 32): a
// sum of four taps weighted to 256 in all stays inside its lane, so one
// multiplication weighs all three components.
using Lanes = std::uint64_t;
inline constexpr Lanes kLaneLow = 0x000000FF00FF00FFull;
inline Lanes BgrToLanes(std::uint32_t c) {
  return (c & 0xFFu) | (static_cast<Lanes>(c & 0xFF00u) << 8) |
         (static_cast<Lanes>(c & 0xFF0000u) << 16);
}
inline std::uint32_t LanesToBgr(Lanes l) {
  return static_cast<std::uint32_t>((l & 0xFFu) | ((l >> 8) & 0xFF00u) | ((l >> 16) & 0xFF0000u));
}

// ---------------------------------------------------------------------------
// Destination formats.

// 8-bit palette indices: stores the colour's index outright; blends in the
// palette's colours and stores the nearest index.
struct Indexed8 {
  using Colour = Bgrx;
  static constexpr std::int32_t kStep = 1;
  static void Store(const Palette&, std::uint8_t* d, Colour c) { *d = c.x; }
  static void Blend(const Palette& p, std::uint8_t* d, Colour c, std::int32_t a) {
    const Rgb o = PaletteLookup(p, *d);
    *d = InverseLookup(p, static_cast<std::uint32_t>(BlendComponent(o.r, c.r, a)),
                       static_cast<std::uint32_t>(BlendComponent(o.g, c.g, a)),
                       static_cast<std::uint32_t>(BlendComponent(o.b, c.b, a)));
  }
};

// An 8-bit destination whose outright stores also go through the colour
// table (colour -> nearest index), as blended ones do: for colours that
// carry no index of their own.
struct Indexed8ViaPalette : Indexed8 {
  static void Store(const Palette& p, std::uint8_t* d, Colour c) {
    *d = InverseLookup(p, c.r, c.g, c.b);
  }
};

// 16-bit 5-5-5: red bits 10-14, green 5-9, blue 0-4. Blended pixels are
// packed with bit 15 clear.
struct Rgb555 {
  using Colour = std::uint16_t;
  static constexpr std::int32_t kStep = 2;
  static void Store(const Palette&, std::uint8_t* d, Colour c) { std::memcpy(d, &c, 2); }
  static void Blend(const Palette&, std::uint8_t* d, Colour c, std::int32_t a) {
    std::uint16_t o;
    std::memcpy(&o, d, 2);
    const std::int32_t r = BlendComponent((o >> 10) & 31, (c >> 10) & 31, a);
    const std::int32_t g = BlendComponent((o >> 5) & 31, (c >> 5) & 31, a);
    const std::int32_t b = BlendComponent(o & 31, c & 31, a);
    const auto packed = static_cast<std::uint16_t>((r << 10) | (g << 5) | b);
    std::memcpy(d, &packed, 2);
  }
  // `n` pixels copied from 5-5-5 pixels `s`, bit 15 cleared.
  static void Copy(std::uint8_t* d, const std::uint8_t* s, std::int32_t n) {
    std::int32_t i = 0;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi16(0x7FFF);
    for (; i + 8 <= n; i += 8, d += 16, s += 16) {
      const __m128i from = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_and_si128(from, low));
    }
#endif
    for (; i < n; ++i, d += 2, s += 2) {
      std::uint16_t v;
      std::memcpy(&v, s, 2);
      v &= 0x7FFF;
      std::memcpy(d, &v, 2);
    }
  }
};

// Expanded pixels (24/32-bit, and 8- or 16-bit images expanded to a byte per
// channel): blue, green, red in bytes 0-2, in whatever units the image uses;
// a fourth byte is never written. kBytes 0 takes the view's own step.
template <std::int32_t kBytes>
struct Bgr {
  using Colour = Bgrx;
  static constexpr std::int32_t kStep = kBytes;
  static void Store(const Palette&, std::uint8_t* d, Colour c) {
    d[0] = c.b;
    d[1] = c.g;
    d[2] = c.r;
  }
  static void Blend(const Palette&, std::uint8_t* d, Colour c, std::int32_t a) {
    d[0] = static_cast<std::uint8_t>(BlendComponent(d[0], c.b, a));
    d[1] = static_cast<std::uint8_t>(BlendComponent(d[1], c.g, a));
    d[2] = static_cast<std::uint8_t>(BlendComponent(d[2], c.r, a));
  }
  // `n` pixels of one colour. Four-byte pixels are merged two at a time in a
  // 64-bit word, each fourth byte put back as it was.
  static void Fill(const Palette& p, std::uint8_t* d, std::int32_t n, std::int32_t step,
                   Colour c) {
    if constexpr (kBytes == 4 && std::endian::native == std::endian::little) {
      const std::uint64_t colour = c.b | (std::uint64_t{c.g} << 8) | (std::uint64_t{c.r} << 16);
      const std::uint64_t two = colour | (colour << 32);
      constexpr std::uint64_t kFourth = 0xFF000000FF000000u;
      std::int32_t i = 0;
      for (; i + 2 <= n; i += 2, d += 8) {
        std::uint64_t words;
        std::memcpy(&words, d, 8);
        words = (words & kFourth) | two;
        std::memcpy(d, &words, 8);
      }
      if (i < n) {
        std::uint32_t word;
        std::memcpy(&word, d, 4);
        word = (word & 0xFF000000u) | static_cast<std::uint32_t>(colour);
        std::memcpy(d, &word, 4);
      }
    } else {
      for (std::int32_t i = 0; i < n; ++i, d += step) Store(p, d, c);
    }
  }
  // `n` pixels copied from pixels `s` of the same size, each fourth byte of
  // the destination kept (four-byte pixels two at a time, as in Fill).
  static void Copy(std::uint8_t* d, const std::uint8_t* s, std::int32_t n)
    requires(kBytes != 0)
  {
    if constexpr (kBytes == 4) {
      constexpr std::uint64_t kFourth = 0xFF000000FF000000u;
      std::int32_t i = 0;
#if defined(__SSE2__)
      const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
      for (; i + 8 <= n; i += 8, d += 32, s += 32) {
        const __m128i to0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
        const __m128i to1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 16));
        const __m128i from0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i from1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                         _mm_or_si128(_mm_and_si128(to0, keep), _mm_andnot_si128(keep, from0)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16),
                         _mm_or_si128(_mm_and_si128(to1, keep), _mm_andnot_si128(keep, from1)));
      }
      for (; i + 4 <= n; i += 4, d += 16, s += 16) {
        const __m128i to = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
        const __m128i from = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                         _mm_or_si128(_mm_and_si128(to, keep), _mm_andnot_si128(keep, from)));
      }
#endif
      for (; i + 2 <= n; i += 2, d += 8, s += 8) {
        std::uint64_t to, from;
        std::memcpy(&to, d, 8);
        std::memcpy(&from, s, 8);
        to = (to & kFourth) | (from & ~kFourth);
        std::memcpy(d, &to, 8);
      }
      if (i < n) std::memcpy(d, s, 3);
    } else {
      for (std::int32_t i = 0; i < n; ++i, d += kBytes, s += kBytes) std::memcpy(d, s, 3);
    }
  }
};
using Bgr3 = Bgr<3>;
using Bgr4 = Bgr<4>;
using BgrWide = Bgr<0>;

template <class Fmt>
inline constexpr bool kIsExpandedFormat =
    !std::is_base_of_v<Indexed8, Fmt> && !std::is_same_v<Fmt, Rgb555>;

// Packed bytes (PackBgr) -> the destination format's colour. For 5-5-5 the
// bytes are taken as 5-bit components; the mask keeps stray high bits out
// of the neighbouring fields and bit 15.
template <class Fmt>
typename Fmt::Colour ToColour(std::uint32_t c) {
  if constexpr (std::is_same_v<Fmt, Rgb555>) {
    return static_cast<std::uint16_t>((((c >> 16) & 31) << 10) | (((c >> 8) & 31) << 5) |
                                      (c & 31));
  } else {
    return Bgrx{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                static_cast<std::uint8_t>(c >> 16), 0};
  }
}

// An outright store of packed bytes; four-byte pixels take the three colour
// bytes in one write that carries the fourth byte over unchanged.
template <class Fmt>
inline void StoreColour(const Palette& p, std::uint8_t* d, std::uint32_t c) {
  if constexpr (std::is_same_v<Fmt, Bgr4> && std::endian::native == std::endian::little) {
    std::uint32_t v;
    std::memcpy(&v, d, 4);
    v = (v & 0xFF000000u) | c;
    std::memcpy(d, &v, 4);
  } else {
    Fmt::Store(p, d, ToColour<Fmt>(c));
  }
}

// ---------------------------------------------------------------------------
// Formats of a view.

// How a view stores its pixels.
enum class PixelFormat { kNone, kIndexed8, kRgb555, kBgr3, kBgr4, kBgrWide };

// Expanded views (3 or more bytes per pixel) hold blue, green, red bytes
// whatever their depth field; 8- and 16-bit views must have 1 and 2 bytes
// per pixel; a depth other than 8, 16, 24, 32 is kNone.
PixelFormat PixelFormatOf(const PixelView& view);
// The format a destination is written in.
inline PixelFormat DestinationFormat(const PixelView& view) { return PixelFormatOf(view); }
inline bool IsExpanded(PixelFormat f) {
  return f == PixelFormat::kBgr3 || f == PixelFormat::kBgr4 || f == PixelFormat::kBgrWide;
}

// What the colour bytes of a pixel hold.
enum class Channels {
  kEight,         // 8-bit components
  kFive,          // 5-bit components (a 16-bit stage)
  kEightIndexed,  // 8-bit components, and the palette index in byte 3
};

// A source: its storage and, for expanded views, what the bytes hold (an
// expanded 16-bit stage holds 5-bit values, an expanded 8-bit stage of four
// or more bytes its palette index in byte 3).
struct SourceFormat {
  PixelFormat storage = PixelFormat::kNone;
  Channels channels = Channels::kEight;
};
SourceFormat SourceFormatOf(const PixelView& view);

// ---------------------------------------------------------------------------
// Source readers. LoadBgr reads the pixel at `p` (kSpan bytes, pixels kStep
// bytes apart; 0 means the view's own step) as packed bytes in the pixel's
// own units. A reader's Table is what it needs of the colour table, built
// once per render. `Stored` is the reader with the channel meaning dropped,
// for loops that carry bytes through unread.

// Readers that need no colour table.
struct NoTable {
  explicit NoTable(const Palette&) {}
};

// Expanded pixels: blue, green, red bytes. Four-byte pixels are read whole
// and the fourth byte dropped.
template <std::int32_t kBytes, Channels kChannelsHeld = Channels::kEight>
struct ExpandedSource {
  static constexpr std::int32_t kSpan = 3;
  static constexpr std::int32_t kStep = kBytes;
  static constexpr Channels kChannels = kChannelsHeld;
  using Stored = ExpandedSource<kBytes>;
  using Table = NoTable;
  static std::uint32_t LoadBgr(const Table&, const std::uint8_t* p) {
    if constexpr (kBytes == 4) {
      std::uint32_t v;
      std::memcpy(&v, p, 4);
      if constexpr (std::endian::native == std::endian::little)
        return v & 0xFFFFFFu;
      else
        return PackBgr(p[0], p[1], p[2]);
    } else {
      return PackBgr(p[0], p[1], p[2]);
    }
  }
};

// 5-5-5 words: red bits 10-14, green 5-9, blue 0-4.
struct Rgb555Source {
  static constexpr std::int32_t kSpan = 2;
  static constexpr std::int32_t kStep = 2;
  static constexpr Channels kChannels = Channels::kFive;
  using Stored = Rgb555Source;
  using Table = NoTable;
  static std::uint32_t LoadBgr(const Table&, const std::uint8_t* p) {
    const std::uint32_t v = Load555(p);
    return PackBgr(v & 31, (v >> 5) & 31, (v >> 10) & 31);
  }
  // Each field moved straight to its lane.
  static Lanes LoadLanes(const Table&, const std::uint8_t* p) {
    const Lanes v = Load555(p);
    return (v & 31) | ((v & 0x3E0) << 11) | ((v & 0x7C00) << 22);
  }
};

// Palette indices, looked up in the colour table. The table's colours are
// gathered once into packed bytes: one load per pixel instead of three
// strided ones.
struct Indexed8Source {
  static constexpr std::int32_t kSpan = 1;
  static constexpr std::int32_t kStep = 1;
  static constexpr Channels kChannels = Channels::kEightIndexed;
  using Stored = Indexed8Source;
  struct Table {
    explicit Table(const Palette& pal) {
      for (std::uint32_t i = 0; i < 256; ++i) {
        const Rgb c = PaletteLookup(pal, i);
        bgr[i] = PackBgr(c.b, c.g, c.r);
        lanes[i] = BgrToLanes(bgr[i]);
      }
    }
    std::uint32_t bgr[256];
    Lanes lanes[256];
  };
  static std::uint32_t LoadBgr(const Table& t, const std::uint8_t* p) { return t.bgr[*p]; }
  static Lanes LoadLanes(const Table& t, const std::uint8_t* p) { return t.lanes[*p]; }
};

// A pixel in lanes, straight from the reader where it has a way.
template <class Source>
VX_PIXEL_INLINE Lanes LoadLanes(const typename Source::Table& t, const std::uint8_t* p) {
  if constexpr (requires { Source::LoadLanes(t, p); })
    return Source::LoadLanes(t, p);
  else
    return BgrToLanes(Source::LoadBgr(t, p));
}

// A source pixel in the units a destination wants, straight from the colour
// table (no Table): 8-bit colours (byte x the pixel's palette index where
// it holds one, else 0), 5-bit colours, the nearest palette index, the 5-5-5
// word. The index of a 5-5-5 pixel is keyed by the word itself.
template <class Source>
struct SourceColours {
  static Bgrx Eight(const std::uint8_t* p, const Palette& pal) {
    if constexpr (std::is_same_v<Source, Indexed8Source>) {
      const Rgb c = PaletteLookup(pal, p[0]);
      return Bgrx{c.b, c.g, c.r, p[0]};
    } else if constexpr (std::is_same_v<Source, Rgb555Source>) {
      const std::uint16_t v = Load555(p);
      return Bgrx{WidenFive(v), WidenFive(v >> 5), WidenFive(v >> 10), 0};
    } else if constexpr (Source::kChannels == Channels::kFive) {
      return Bgrx{WidenFive(p[0]), WidenFive(p[1]), WidenFive(p[2]), 0};
    } else if constexpr (Source::kChannels == Channels::kEightIndexed &&
                         (Source::kStep == 0 || Source::kStep >= 4)) {
      return Bgrx{p[0], p[1], p[2], p[3]};
    } else {
      return Bgrx{p[0], p[1], p[2], 0};
    }
  }
  static Bgrx Five(const std::uint8_t* p, const Palette& pal) {
    if constexpr (std::is_same_v<Source, Rgb555Source>) {
      const std::uint16_t v = Load555(p);
      return Bgrx{static_cast<std::uint8_t>(v & 31), static_cast<std::uint8_t>((v >> 5) & 31),
                  static_cast<std::uint8_t>((v >> 10) & 31), 0};
    } else if constexpr (Source::kChannels == Channels::kFive) {
      return Bgrx{p[0], p[1], p[2], 0};
    } else {
      const Bgrx c = Eight(p, pal);
      return Bgrx{NarrowEight(c.b), NarrowEight(c.g), NarrowEight(c.r), 0};
    }
  }
  static std::uint8_t Index(const std::uint8_t* p, const Palette& pal) {
    if constexpr (std::is_same_v<Source, Indexed8Source>) {
      return p[0];
    } else if constexpr (std::is_same_v<Source, Rgb555Source>) {
      return pal.inverse[Load555(p) & 0x7FFF];
    } else if constexpr (Source::kChannels == Channels::kFive) {
      return pal.inverse[Pack555(p[2], p[1], p[0])];
    } else if constexpr (Source::kChannels == Channels::kEightIndexed &&
                         (Source::kStep == 0 || Source::kStep >= 4)) {
      return p[3];
    } else {
      return InverseLookup(pal, p[2], p[1], p[0]);
    }
  }
  static std::uint16_t Pixel555(const std::uint8_t* p, const Palette& pal) {
    if constexpr (std::is_same_v<Source, Rgb555Source>) {
      return Load555(p);
    } else {
      const Bgrx c = Five(p, pal);
      return Pack555(c.r, c.g, c.b);
    }
  }
};

// ---------------------------------------------------------------------------
// Visiting formats.

namespace format_detail {

template <class T>
struct Tag {
  using Type = T;
};

template <class F>
decltype(auto) VisitDestination(PixelFormat f, F&& visit) {
  switch (f) {
    case PixelFormat::kIndexed8:
      return visit(Tag<Indexed8>{});
    case PixelFormat::kRgb555:
      return visit(Tag<Rgb555>{});
    case PixelFormat::kBgr3:
      return visit(Tag<Bgr3>{});
    case PixelFormat::kBgr4:
      return visit(Tag<Bgr4>{});
    case PixelFormat::kBgrWide:
      return visit(Tag<BgrWide>{});
    case PixelFormat::kNone:
      break;
  }
  return visit(Tag<void>{});
}

template <std::int32_t kBytes, class F>
decltype(auto) VisitChannels(Channels c, F&& visit) {
  switch (c) {
    case Channels::kFive:
      return visit(Tag<ExpandedSource<kBytes, Channels::kFive>>{});
    case Channels::kEightIndexed:
      return visit(Tag<ExpandedSource<kBytes, Channels::kEightIndexed>>{});
    case Channels::kEight:
      break;
  }
  return visit(Tag<ExpandedSource<kBytes, Channels::kEight>>{});
}

template <class F>
decltype(auto) VisitSource(SourceFormat s, F&& visit) {
  switch (s.storage) {
    case PixelFormat::kIndexed8:
      return visit(Tag<Indexed8Source>{});
    case PixelFormat::kRgb555:
      return visit(Tag<Rgb555Source>{});
    case PixelFormat::kBgr3:
      return VisitChannels<3>(s.channels, visit);
    case PixelFormat::kBgr4:
      return VisitChannels<4>(s.channels, visit);
    case PixelFormat::kBgrWide:
      return VisitChannels<0>(s.channels, visit);
    case PixelFormat::kNone:
      break;
  }
  return visit(Tag<void>{});
}

}  // namespace format_detail

// visit.template operator()<Format>() for the destination format `f`; a
// value-initialised result (nothing visited) for kNone. `visit` is typically
// a lambda `[&]<class Format>() { ... }`.
template <class F>
auto VisitFormat(PixelFormat f, F&& visit) {
  using Result = decltype(visit.template operator()<Indexed8>());
  return format_detail::VisitDestination(f, [&]<class T>(format_detail::Tag<T>) -> Result {
    if constexpr (std::is_void_v<T>)
      return Result();
    else
      return visit.template operator()<T>();
  });
}

// visit.template operator()<Source, Format>() for the reader of `source`
// and the destination format `destination`; a value-initialised result when
// either is kNone.
template <class F>
auto VisitFormats(SourceFormat source, PixelFormat destination, F&& visit) {
  using Result = decltype(visit.template operator()<Indexed8Source, Indexed8>());
  return format_detail::VisitSource(source, [&]<class S>(format_detail::Tag<S>) -> Result {
    if constexpr (std::is_void_v<S>) {
      return Result();
    } else {
      return format_detail::VisitDestination(
          destination, [&]<class D>(format_detail::Tag<D>) -> Result {
            if constexpr (std::is_void_v<D>)
              return Result();
            else
              return visit.template operator()<S, D>();
          });
    }
  });
}

}  // namespace vx
