// Compositing an effect's colours into the destination through the sprite's
// mask, written once for every destination format and path.
//
// Three pieces meet here:
//  - a destination format (Indexed8, Rgb555, Bgr<n>) knows how to store a
//    colour given in its own units and how to blend one in;
//  - a path (threshold, run, hard-mask) decides per pixel whether the
//    pixel is left, written outright or blended, and with what weight;
//  - a colour source, supplied by the effect, computes the colour of pixel x
//    of row y in the destination format's units.
// Composite<Format>(job, source) picks one fully specialised loop from a
// table (path x full blend x packed mask) once per render; the loops hold no
// test of format or path.
//
// A colour source is any type with
//   void BeginRow(std::int32_t y);              // rows of the update, top first
//   Format::Colour At(std::int32_t x);          // x from the update's left
// and, optionally,
//   std::int32_t SameColourFrom(std::int32_t x);  // pixels from x sharing At(x)
// which lets spans of opaque mask be filled without asking per pixel.
#pragma once

#include <algorithm>
#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "framework/pixel_view.h"
#include "framework/sprite_records.h"

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
};
using Bgr3 = Bgr<3>;
using Bgr4 = Bgr<4>;
using BgrWide = Bgr<0>;

enum class PixelFormat { kNone, kIndexed8, kRgb555, kBgr3, kBgr4, kBgrWide };

// The format of a destination view: expanded views (3 or more bytes per
// pixel) take blue, green, red bytes whatever their depth field; 8- and
// 16-bit views must have 1 and 2 bytes per pixel. Anything else is kNone.
PixelFormat DestinationFormat(const PixelView& view);
inline bool IsExpanded(PixelFormat f) {
  return f == PixelFormat::kBgr3 || f == PixelFormat::kBgr4 || f == PixelFormat::kBgrWide;
}

// ---------------------------------------------------------------------------
// Paths.

enum class CompositePath { kThreshold, kRun, kHardMask };

// Hard-mask flag set: hard-mask; runs given and the update covering the
// whole mask rectangle (ClipToSprite result 1): run; else threshold.
inline CompositePath ChoosePath(std::int32_t clipResult, const std::uint16_t* runs,
                                std::int32_t hardMask) {
  if (hardMask) return CompositePath::kHardMask;
  return (clipResult == 1 && runs) ? CompositePath::kRun : CompositePath::kThreshold;
}

struct CompositeJob {
  ViewWalk destination;  // over the update rectangle
  ViewWalk mask;         // over the same rectangle of the mask
  CompositePath path = CompositePath::kThreshold;
  std::int32_t blend = 255;  // 0-255
  MaskThresholds thresholds;
  const std::uint16_t* runs = nullptr;  // the whole mask's runs (run path)
  Palette palette;                      // 8-bit destinations
};

namespace composite_detail {

template <class Source>
concept HasColourRuns = requires(Source& s, std::int32_t x) {
  { s.SameColourFrom(x) } -> std::convertible_to<std::int32_t>;
};

template <class Fmt>
inline std::int32_t Step(const CompositeJob& job) {
  if constexpr (Fmt::kStep != 0)
    return Fmt::kStep;
  else
    return job.destination.step;
}

template <bool kPacked>
inline std::int32_t MaskAt(const std::uint8_t* m, std::int32_t x, std::int32_t step) {
  if constexpr (kPacked)
    return m[x];
  else
    return m[static_cast<std::ptrdiff_t>(x) * step];
}

// End of the span from x whose mask bytes are all above `floor`; packed
// masks are scanned eight 255 bytes at a time first (255 is above every
// floor that lets a pixel through at all).
template <bool kPacked>
inline std::int32_t SpanAbove(const std::uint8_t* m, std::int32_t x, std::int32_t end,
                              std::int32_t step, std::int32_t floor) {
  if constexpr (kPacked) {
    while (x + 8 <= end) {
      std::uint64_t eight;
      std::memcpy(&eight, m + x, 8);
      if (eight != ~std::uint64_t{0}) break;
      x += 8;
    }
  }
  while (x < end && MaskAt<kPacked>(m, x, step) > floor) ++x;
  return x;
}

// Writes the source's colours outright over [x, end) of one row.
template <class Fmt, class Source>
inline void StoreSpan(const Palette& p, std::uint8_t* row, std::int32_t step, std::int32_t x,
                      std::int32_t end, Source& src) {
  if constexpr (HasColourRuns<Source>) {
    while (x < end) {
      const typename Fmt::Colour c = src.At(x);
      const std::int32_t n = std::max<std::int32_t>(1, src.SameColourFrom(x));
      const std::int32_t stop = n < end - x ? x + n : end;
      std::uint8_t* d = row + static_cast<std::ptrdiff_t>(x) * step;
      if constexpr (requires { Fmt::Fill(p, d, stop - x, step, c); }) {
        Fmt::Fill(p, d, stop - x, step, c);
        x = stop;
      } else {
        for (; x < stop; ++x, d += step) Fmt::Store(p, d, c);
      }
    }
  } else {
    std::uint8_t* d = row + static_cast<std::ptrdiff_t>(x) * step;
    for (; x < end; ++x, d += step) Fmt::Store(p, d, src.At(x));
  }
}

template <bool kFull>
inline std::int32_t Weight(std::int32_t m, std::int32_t blend) {
  if constexpr (kFull)
    return m;
  else
    return (m * blend) >> 8;
}

template <class Fmt, bool kFull, bool kPacked, class Source>
void ThresholdArea(const CompositeJob& job, Source& src) {
  const Palette& p = job.palette;
  const std::int32_t step = Step<Fmt>(job);
  const std::int32_t mstep = job.mask.step;
  const std::int32_t w = job.destination.width;
  const std::int32_t lower = job.thresholds.lower;
  // Outright writes need the upper threshold; minus one turns "at or above"
  // into "above" for the span scan.
  const std::int32_t upperFloor = job.thresholds.upper - 1;
  const std::int32_t blend = job.blend;
  for (std::int32_t y = 0; y < job.destination.height; ++y) {
    src.BeginRow(y);
    std::uint8_t* row = job.destination.Row(y);
    const std::uint8_t* m = job.mask.Row(y);
    std::int32_t x = 0;
    while (x < w) {
      const std::int32_t mv = MaskAt<kPacked>(m, x, mstep);
      if (mv <= lower) {
        ++x;
        continue;
      }
      if constexpr (kFull) {
        if (mv > upperFloor) {
          const std::int32_t end = SpanAbove<kPacked>(m, x + 1, w, mstep, std::max(upperFloor, lower));
          StoreSpan<Fmt>(p, row, step, x, end, src);
          x = end;
          continue;
        }
      }
      Fmt::Blend(p, row + static_cast<std::ptrdiff_t>(x) * step, src.At(x),
                 Weight<kFull>(mv, blend));
      ++x;
    }
  }
}

template <class Fmt, bool kFull, bool kPacked, class Source>
void RunArea(const CompositeJob& job, Source& src) {
  const Palette& p = job.palette;
  const std::int32_t step = Step<Fmt>(job);
  const std::int32_t mstep = job.mask.step;
  const std::int64_t w = job.destination.width;
  const std::int32_t blend = job.blend;
  const std::uint16_t* runs = job.runs;
  for (std::int32_t y = 0; y < job.destination.height; ++y) {
    src.BeginRow(y);
    std::uint8_t* row = job.destination.Row(y);
    const std::uint8_t* m = job.mask.Row(y);
    std::int32_t x = 0;
    RunTriple t;
    // Counts beyond the row's width are cut at its end.
    for (runs = ReadRunTriple(runs, &t); !t.EndsRow(); runs = ReadRunTriple(runs, &t)) {
      x = static_cast<std::int32_t>(std::min<std::int64_t>(w, std::int64_t{x} + t.transparent));
      const auto partialEnd =
          static_cast<std::int32_t>(std::min<std::int64_t>(w, std::int64_t{x} + t.partial));
      for (; x < partialEnd; ++x)
        Fmt::Blend(p, row + static_cast<std::ptrdiff_t>(x) * step, src.At(x),
                   Weight<kFull>(MaskAt<kPacked>(m, x, mstep), blend));
      const auto opaqueEnd =
          static_cast<std::int32_t>(std::min<std::int64_t>(w, std::int64_t{x} + t.opaque));
      if constexpr (kFull) {
        StoreSpan<Fmt>(p, row, step, x, opaqueEnd, src);
        x = opaqueEnd;
      } else {
        for (; x < opaqueEnd; ++x)
          Fmt::Blend(p, row + static_cast<std::ptrdiff_t>(x) * step, src.At(x),
                     Weight<false>(MaskAt<kPacked>(m, x, mstep), blend));
      }
    }
  }
}

template <class Fmt, bool kPacked, class Source>
void HardMaskArea(const CompositeJob& job, Source& src) {
  const Palette& p = job.palette;
  const std::int32_t step = Step<Fmt>(job);
  const std::int32_t mstep = job.mask.step;
  const std::int32_t w = job.destination.width;
  const std::int32_t lower = job.thresholds.lower;
  for (std::int32_t y = 0; y < job.destination.height; ++y) {
    src.BeginRow(y);
    std::uint8_t* row = job.destination.Row(y);
    const std::uint8_t* m = job.mask.Row(y);
    std::int32_t x = 0;
    while (x < w) {
      if (MaskAt<kPacked>(m, x, mstep) <= lower) {
        ++x;
        continue;
      }
      const std::int32_t end = SpanAbove<kPacked>(m, x + 1, w, mstep, lower);
      StoreSpan<Fmt>(p, row, step, x, end, src);
      x = end;
    }
  }
}

template <class Fmt, class Source>
using AreaFn = void (*)(const CompositeJob&, Source&);

}  // namespace composite_detail

// False when the destination walk cannot take `Fmt`'s pixels: a step that
// does not fit the format, or a missing 8-bit colour table.
template <class Fmt>
bool DestinationFits(const CompositeJob& job) {
  if (job.destination.width <= 0 || job.destination.height <= 0) return true;
  if (!job.destination.top) return false;
  if (Fmt::kStep != 0 ? job.destination.step != Fmt::kStep : job.destination.step < 3)
    return false;
  if (std::is_same_v<Fmt, Indexed8> && !job.palette.inverse) return false;
  return true;
}

// False (nothing drawn) when the job cannot be run safely: views of
// different shapes, a destination that does not fit the format, a run path
// without runs, a hard-mask path into an unexpanded destination.
template <class Fmt>
bool CompositeJobFits(const CompositeJob& job) {
  if (!SameShape(job.destination, job.mask)) return false;
  if (!DestinationFits<Fmt>(job)) return false;
  if (job.destination.width <= 0 || job.destination.height <= 0) return true;
  if (!job.mask.top) return false;
  if (job.path == CompositePath::kRun && !job.runs) return false;
  constexpr bool kExpanded = !std::is_same_v<Fmt, Indexed8> && !std::is_same_v<Fmt, Rgb555>;
  if (job.path == CompositePath::kHardMask && !kExpanded) return false;
  return true;
}

// Runs the loop for `job` with colours from `src`. Returns false (nothing
// drawn) when the job does not fit the format.
template <class Fmt, class Source>
bool Composite(const CompositeJob& job, Source& src) {
  using namespace composite_detail;
  if (!CompositeJobFits<Fmt>(job)) return false;
  if (job.destination.width <= 0 || job.destination.height <= 0) return true;
  // [path][full blend][packed mask]
  static constexpr AreaFn<Fmt, Source> kLoops[3][2][2] = {
      {{&ThresholdArea<Fmt, false, false, Source>, &ThresholdArea<Fmt, false, true, Source>},
       {&ThresholdArea<Fmt, true, false, Source>, &ThresholdArea<Fmt, true, true, Source>}},
      {{&RunArea<Fmt, false, false, Source>, &RunArea<Fmt, false, true, Source>},
       {&RunArea<Fmt, true, false, Source>, &RunArea<Fmt, true, true, Source>}},
      {{&HardMaskArea<Fmt, false, Source>, &HardMaskArea<Fmt, true, Source>},
       {&HardMaskArea<Fmt, false, Source>, &HardMaskArea<Fmt, true, Source>}},
  };
  // Blend levels outside 0-255 would carry components out of range;
  // thresholds beyond the mask's range mean the same as its ends, and
  // clamped they leave room for the loops' "minus one" without overflow.
  CompositeJob fitted = job;
  fitted.blend = std::clamp(job.blend, 0, 255);
  fitted.thresholds.lower = std::clamp(job.thresholds.lower, -1, 255);
  fitted.thresholds.upper = std::clamp(job.thresholds.upper, 0, 256);
  const int path = static_cast<int>(job.path);
  const int full = fitted.blend == 255 ? 1 : 0;
  const int packed = job.mask.step == 1 ? 1 : 0;
  kLoops[path][full][packed](fitted, src);
  return true;
}

// ---------------------------------------------------------------------------
// Sources that sample their own mask value (the geometric effects map every
// destination pixel back into the source and its mask). Such a source has
//   void BeginRow(std::int32_t y);
//   Sample<Format::Colour> SampleAt(std::int32_t x);  // x = 0, 1, ... in order
// and is composited on the threshold path; job.mask and job.path are unused.

template <class Colour>
struct Sample {
  std::int32_t mask;
  Colour colour;
};

namespace composite_detail {

template <class Fmt, bool kFull, class Source>
void SampledArea(const CompositeJob& job, Source& src) {
  const Palette& p = job.palette;
  const std::int32_t step = Step<Fmt>(job);
  const std::int32_t w = job.destination.width;
  const std::int32_t lower = job.thresholds.lower;
  const std::int32_t upper = job.thresholds.upper;
  const std::int32_t blend = job.blend;
  for (std::int32_t y = 0; y < job.destination.height; ++y) {
    src.BeginRow(y);
    std::uint8_t* d = job.destination.Row(y);
    for (std::int32_t x = 0; x < w; ++x, d += step) {
      const Sample<typename Fmt::Colour> s = src.SampleAt(x);
      if (s.mask <= lower) continue;
      if (kFull && s.mask >= upper)
        Fmt::Store(p, d, s.colour);
      else
        Fmt::Blend(p, d, s.colour, Weight<kFull>(s.mask, blend));
    }
  }
}

}  // namespace composite_detail

template <class Fmt, class Source>
bool CompositeSampled(const CompositeJob& job, Source& src) {
  using namespace composite_detail;
  if (!DestinationFits<Fmt>(job)) return false;
  if (job.destination.width <= 0 || job.destination.height <= 0) return true;
  CompositeJob fitted = job;
  fitted.blend = std::clamp(job.blend, 0, 255);
  fitted.thresholds.lower = std::clamp(job.thresholds.lower, -1, 255);
  fitted.thresholds.upper = std::clamp(job.thresholds.upper, 0, 256);
  if (fitted.blend == 255)
    SampledArea<Fmt, true>(fitted, src);
  else
    SampledArea<Fmt, false>(fitted, src);
  return true;
}

// Colour plus alpha, for sprites with a separate alpha channel: every
// pixel's alpha byte (byte 0 of `alpha`'s pixel) receives the sampled mask
// value; the colour pixel receives the sampled colour, unblended, where the
// mask value is above the lower threshold. The destination is expanded.
template <class Fmt, class Source>
bool CompositeWithAlpha(const CompositeJob& job, const ViewWalk& alpha, Source& src) {
  static_assert(!std::is_same_v<Fmt, Indexed8> && !std::is_same_v<Fmt, Rgb555>,
                "colour plus alpha writes expanded pixels");
  if (!DestinationFits<Fmt>(job) || !SameShape(job.destination, alpha)) return false;
  if (job.destination.width <= 0 || job.destination.height <= 0) return true;
  if (!alpha.top) return false;
  const Palette& p = job.palette;
  const std::int32_t step = composite_detail::Step<Fmt>(job);
  const std::int32_t lower = std::clamp(job.thresholds.lower, -1, 255);
  for (std::int32_t y = 0; y < job.destination.height; ++y) {
    src.BeginRow(y);
    std::uint8_t* d = job.destination.Row(y);
    std::uint8_t* a = alpha.Row(y);
    for (std::int32_t x = 0; x < job.destination.width; ++x, d += step, a += alpha.step) {
      const Sample<typename Fmt::Colour> s = src.SampleAt(x);
      *a = static_cast<std::uint8_t>(std::clamp(s.mask, 0, 255));
      if (s.mask > lower) Fmt::Store(p, d, s.colour);
    }
  }
  return true;
}

// Builds SourceT<Format> from `args` for the destination format `f` and runs
// it. False when `f` is kNone or the job does not fit.
template <template <class> class SourceT, class... Args>
bool CompositeInFormat(PixelFormat f, const CompositeJob& job, Args&&... args) {
  switch (f) {
    case PixelFormat::kIndexed8: {
      SourceT<Indexed8> s(args...);
      return Composite<Indexed8>(job, s);
    }
    case PixelFormat::kRgb555: {
      SourceT<Rgb555> s(args...);
      return Composite<Rgb555>(job, s);
    }
    case PixelFormat::kBgr3: {
      SourceT<Bgr3> s(args...);
      return Composite<Bgr3>(job, s);
    }
    case PixelFormat::kBgr4: {
      SourceT<Bgr4> s(args...);
      return Composite<Bgr4>(job, s);
    }
    case PixelFormat::kBgrWide: {
      SourceT<BgrWide> s(args...);
      return Composite<BgrWide>(job, s);
    }
    case PixelFormat::kNone:
      break;
  }
  return false;
}

}  // namespace vx
