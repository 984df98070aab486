// The colour pass: drawing a sprite whose every pixel gets a colour worked
// out from that pixel's own source colour (RGB and HSB shift, line skip,
// snow). Placement, the three views, the path (threshold, run, hard-mask)
// and the compositing through the mask are the framework's; the pass adds
// the source side: one loop per path and source format, picked once per
// render, each reading the source in its own units and handing the colour
// to the effect's colour function.
//
// How an effect plugs in: it passes a colour function object `fn` with
//   Bgrx Eight(Bgrx c);   // blue, green, red as 8-bit values 0..255
// and optionally
//   Bgrx Five(Bgrx c);    // the same as 5-bit values 0..31; without it a
//                         // 5-bit pixel enters Eight scaled by 8 (31 is
//                         // 248) and leaves shifted right by 3
// (byte x of the colour is not the function's to use). Effects that walk
// something in step with the pixels (noise layers) add any of
//   void Step();                // after every drawn pixel
//   void Skip(std::int32_t k);  // over k pixels passed without drawing:
//                               // under the threshold or in a transparent run
//   void EndRow();              // after the last pixel of every row
// Every pixel of a row is covered exactly once, by a Step or within a Skip,
// in increasing x, and Eight/Five is called once per drawn pixel, before its
// Step. Absent hooks cost nothing. Without Skip, a Step-only walk is
// stepped k times.
//
// Which loop: by the path and by the source view's format.
//   hard-mask  expanded (any depth)   -> expanded: 8-bit bytes through Eight
//   hard-mask  5-5-5                  -> expanded: 5-bit fields through Five
//   hard-mask  8-bit index (else)     -> expanded: palette colour through Eight
//   threshold/run  24/32-bit           -> 24/32-bit (expanded)
//   threshold/run  expanded 16-bit     -> 5-5-5, bytes taken as 5-bit values
//   threshold/run  5-5-5               -> 5-5-5
//   threshold/run  expanded 8-bit      -> 8-bit index, result through the
//                                         inverse table
//   threshold/run  8-bit index         -> 8-bit index, source and result
//                                         through the colour table
// A destination that is not of the format its source calls for, or a
// source depth other than 8, 16, 24 or 32 on the threshold and run paths,
// draws nothing.
#pragma once

#include <cstdint>
#include <cstring>

#include "framework/compositing.h"
#include "framework/pixel_view.h"
#include "framework/sprite_records.h"

namespace vx {

// Render's arguments that the colour pass reads.
struct ColourPassCall {
  PixelView* destination;
  PixelView* source;
  AreaRect* update;  // clipped in place
  PixelView* mask;
  const std::uint16_t* runs;
  ColourTable* colours;
  std::int32_t blend;
  std::int32_t hardMask;
  ThresholdRecord* thresholds;
};

// What a source view holds, as the pass reads it.
enum class ColourSource {
  kNone,
  kBytes,       // blue, green, red bytes in 8-bit units (24/32-bit; any
                // expanded source on the hard-mask path)
  kFiveBytes,   // expanded 16-bit stage: bytes holding 5-bit values
  kIndexBytes,  // expanded 8-bit stage: blue, green, red bytes
  kPixel555,    // 5-5-5 words
  kIndex,       // palette indices
};

ColourSource ColourSourceOf(const PixelView& source, CompositePath path);

// Everything one render of the pass decides before the loop.
struct ColourPassPlan {
  RenderArea area;  // clip result, rectangles and the three walks
  CompositeJob job;
  ColourSource source = ColourSource::kNone;
  PixelFormat destination = PixelFormat::kNone;
};

enum class ColourPassReady {
  kNothingVisible,  // the update misses the sprite (clip result 0)
  kNotDrawable,     // views, formats or colour table that cannot be used
  kReady,
};

// Clips the update in place, builds the views and picks path and formats.
ColourPassReady PlanColourPass(const ColourPassCall& call, ColourPassPlan* plan);

// The plan narrowed to `count` rows from row `first` of the update, for
// effects that draw bands of rows; the walk hooks then see the band's rows
// only. Rows outside the update are cut off.
ColourPassPlan PlanRows(const ColourPassPlan& plan, std::int32_t first, std::int32_t count);

namespace colour_pass_detail {

// --- Source readers: one pixel of a row as blue, green, red in the
// reader's units.

template <std::int32_t kStep>
struct ByteReader {
  static Bgrx Load(const std::uint8_t* row, std::int32_t x, std::int32_t step) {
    const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * (kStep != 0 ? kStep : step);
    return Bgrx{p[0], p[1], p[2], 0};
  }
};

// Bytes of an expanded 16-bit stage: 5-bit values, stray high bits dropped.
struct FiveByteReader {
  static Bgrx Load(const std::uint8_t* row, std::int32_t x, std::int32_t step) {
    const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * step;
    return Bgrx{static_cast<std::uint8_t>(p[0] & 31), static_cast<std::uint8_t>(p[1] & 31),
                static_cast<std::uint8_t>(p[2] & 31), 0};
  }
};

struct Pixel555Reader {
  static Bgrx Load(const std::uint8_t* row, std::int32_t x, std::int32_t) {
    std::uint16_t v;
    std::memcpy(&v, row + static_cast<std::ptrdiff_t>(x) * 2, 2);
    return Bgrx{static_cast<std::uint8_t>(v & 31), static_cast<std::uint8_t>((v >> 5) & 31),
                static_cast<std::uint8_t>((v >> 10) & 31), 0};
  }
};

// Palette indices: the colour table's colours, gathered once per render.
struct IndexReader {
  static Bgrx Load(const Bgrx* colours, const std::uint8_t* row, std::int32_t x,
                   std::int32_t step) {
    return colours[row[static_cast<std::ptrdiff_t>(x) * step]];
  }
};

// --- Units: how a colour function is applied.

struct EightUnits {
  template <class Fn>
  static Bgrx Apply(Fn& fn, Bgrx c) {
    return fn.Eight(c);
  }
};

struct FiveUnits {
  template <class Fn>
  static Bgrx Apply(Fn& fn, Bgrx c) {
    if constexpr (requires { fn.Five(c); }) {
      return fn.Five(c);
    } else {
      const Bgrx e = fn.Eight(Bgrx{static_cast<std::uint8_t>(c.b << 3),
                                   static_cast<std::uint8_t>(c.g << 3),
                                   static_cast<std::uint8_t>(c.r << 3), 0});
      return Bgrx{static_cast<std::uint8_t>(e.b >> 3), static_cast<std::uint8_t>(e.g >> 3),
                  static_cast<std::uint8_t>(e.r >> 3), 0};
    }
  }
};

// --- The walk hooks, each a no-op when the function has none.

template <class Fn>
inline void StepHook(Fn& fn) {
  if constexpr (requires { fn.Step(); }) fn.Step();
}
template <class Fn>
inline constexpr bool kHasSkipOrStep =
    requires(Fn& fn) { fn.Skip(std::int32_t{}); } || requires(Fn& fn) { fn.Step(); };
template <class Fn>
inline void SkipHook(Fn& fn, std::int32_t k) {
  if constexpr (requires { fn.Skip(k); }) {
    fn.Skip(k);
  } else if constexpr (requires { fn.Step(); }) {
    for (std::int32_t i = 0; i < k; ++i) fn.Step();
  }
}
template <class Fn>
inline constexpr bool kHasEndRow = requires(Fn& fn) { fn.EndRow(); };

// Result colour (in the units' range) -> the destination format's colour.
template <class Dst>
inline typename Dst::Colour ToDestination(const Palette& p, Bgrx c) {
  if constexpr (std::is_same_v<Dst, Rgb555>)
    return static_cast<std::uint16_t>(((c.r & 31) << 10) | ((c.g & 31) << 5) | (c.b & 31));
  else if constexpr (std::is_same_v<Dst, Indexed8>)
    return Bgrx{c.b, c.g, c.r, InverseLookup(p, c.r, c.g, c.b)};
  else
    return c;
}

// The compositing loops' colour source: pixel x of row y of the source,
// through the colour function, in the destination's format; the walk
// hooks told of every pixel on the way.
template <class Reader, class Units, class Dst, class Fn>
class PassSource {
 public:
  using Colour = typename Dst::Colour;

  PassSource(const ColourPassPlan& plan, const Bgrx* paletteColours, Fn& fn)
      : source_(plan.area.source), palette_(plan.job.palette), colours_(paletteColours),
        fn_(fn) {}

  void BeginRow(std::int32_t y) {
    if constexpr (kHasEndRow<Fn> || kHasSkipOrStep<Fn>)
      if (y > 0) FinishRow();
    row_ = source_.Row(y);
    next_ = 0;
  }

  Colour At(std::int32_t x) {
    if constexpr (kHasSkipOrStep<Fn>) {
      if (x != next_) SkipHook(fn_, x - next_);
      next_ = x + 1;
    }
    Bgrx c;
    if constexpr (std::is_same_v<Reader, IndexReader>)
      c = Reader::Load(colours_, row_, x, source_.step);
    else
      c = Reader::Load(row_, x, source_.step);
    const Bgrx out = Units::Apply(fn_, c);
    StepHook(fn_);
    return ToDestination<Dst>(palette_, out);
  }

  // The rest of the last row walked, and its end.
  void FinishRow() {
    if constexpr (kHasSkipOrStep<Fn>)
      if (next_ < source_.width) SkipHook(fn_, source_.width - next_);
    if constexpr (kHasEndRow<Fn>) fn_.EndRow();
  }

 private:
  const ViewWalk& source_;
  const Palette& palette_;
  const Bgrx* colours_;
  Fn& fn_;
  const std::uint8_t* row_ = nullptr;
  std::int32_t next_ = 0;
};

template <class Reader, class Units, class Dst, class Fn>
bool RunWith(const ColourPassPlan& plan, const Bgrx* paletteColours, Fn& fn) {
  PassSource<Reader, Units, Dst, Fn> src(plan, paletteColours, fn);
  if (!Composite<Dst>(plan.job, src)) return false;
  if constexpr (kHasEndRow<Fn> || kHasSkipOrStep<Fn>)
    if (plan.job.destination.height > 0) src.FinishRow();
  return true;
}

// An expanded destination of the view's own pixel size.
template <class Reader, class Units, class Fn>
bool RunExpanded(const ColourPassPlan& plan, const Bgrx* paletteColours, Fn& fn) {
  switch (plan.destination) {
    case PixelFormat::kBgr3:
      return RunWith<Reader, Units, Bgr3>(plan, paletteColours, fn);
    case PixelFormat::kBgr4:
      return RunWith<Reader, Units, Bgr4>(plan, paletteColours, fn);
    case PixelFormat::kBgrWide:
      return RunWith<Reader, Units, BgrWide>(plan, paletteColours, fn);
    default:
      return false;
  }
}

// Gathers the colour table's 256 colours (false without a whole table).
bool GatherPalette(const Palette& p, Bgrx* out);

}  // namespace colour_pass_detail

// Runs the pass planned in `plan` with colours from `fn`. False when
// nothing was drawn.
template <class Fn>
bool RunColourPlan(const ColourPassPlan& plan, Fn& fn) {
  using namespace colour_pass_detail;
  Bgrx colours[256];
  const bool hardMask = plan.job.path == CompositePath::kHardMask;
  switch (plan.source) {
    case ColourSource::kBytes:
      if (plan.area.source.step == 4 && plan.destination == PixelFormat::kBgr4)
        return RunWith<ByteReader<4>, EightUnits, Bgr4>(plan, nullptr, fn);
      return RunExpanded<ByteReader<0>, EightUnits>(plan, nullptr, fn);
    case ColourSource::kFiveBytes:
      return RunWith<FiveByteReader, FiveUnits, Rgb555>(plan, nullptr, fn);
    case ColourSource::kIndexBytes:
      return RunWith<ByteReader<0>, EightUnits, Indexed8>(plan, nullptr, fn);
    case ColourSource::kPixel555:
      if (hardMask) return RunExpanded<Pixel555Reader, FiveUnits>(plan, nullptr, fn);
      return RunWith<Pixel555Reader, FiveUnits, Rgb555>(plan, nullptr, fn);
    case ColourSource::kIndex:
      if (!GatherPalette(plan.job.palette, colours)) return false;
      if (hardMask) return RunExpanded<IndexReader, EightUnits>(plan, colours, fn);
      return RunWith<IndexReader, EightUnits, Indexed8>(plan, colours, fn);
    case ColourSource::kNone:
      break;
  }
  return false;
}

// Plans and runs the pass for one render. False when nothing was drawn.
template <class Fn>
bool RunColourPass(const ColourPassCall& call, Fn& fn) {
  ColourPassPlan plan;
  if (PlanColourPass(call, &plan) != ColourPassReady::kReady) return false;
  return RunColourPlan(plan, fn);
}

}  // namespace vx
