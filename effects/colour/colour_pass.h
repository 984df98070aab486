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
// A function that gives back every colour unchanged says so with
//   static constexpr bool kKeepsColour = true;
// and, without walk hooks, has spans between pixels of one layout (32-bit
// to 32-bit, 5-5-5 to 5-5-5) copied whole where they are stored outright.
// Every pixel of a row is covered exactly once, by a Step or within a Skip,
// in increasing x, and Eight/Five is called once per drawn pixel, before its
// Step. Absent hooks cost nothing. Without Skip, a Step-only walk is
// stepped k times.
//
// A function that does not walk may also colour runs of pixels at once:
//   void EightRun(Bgrx* c, std::int32_t n);  // n pixels in place
//   void FiveRun(Bgrx* c, std::int32_t n);   // optional, as Five
// It is then asked for runs of up to 64 pixels from the first drawn one,
// which may hold pixels that are not drawn; it must give each pixel what
// Eight (Five) would.
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

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "framework/compositing.h"
#include "framework/pixel_formats.h"
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
  SourceFormat sourceFormat;  // the reader the source calls for
  PixelFormat destination = PixelFormat::kNone;
};

enum class ColourPassReady {
  kNothingVisible,  // the update misses the sprite (clip result 0)
  kNotDrawable,     // views, formats or colour table that cannot be used
  kReady,
};

// Clips the update in place, builds the views and picks path and formats.
ColourPassReady PlanColourPass(const ColourPassCall& call, ColourPassPlan* plan);

// `count` rows of a walk from its row `first` (both within the walk).
ViewWalk WalkRows(const ViewWalk& walk, std::int32_t first, std::int32_t count);

// The plan narrowed to `count` rows from row `first` of the update, for
// effects that draw bands of rows; the walk hooks then see the band's rows
// only. Rows outside the update are cut off.
ColourPassPlan PlanRows(const ColourPassPlan& plan, std::int32_t first, std::int32_t count);

namespace colour_pass_detail {

inline Bgrx Unpack(std::uint32_t packed) {
  return Bgrx{static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(packed >> 8),
              static_cast<std::uint8_t>(packed >> 16), 0};
}

// How a colour function is applied, in 8-bit or 5-bit units.
struct EightUnits {
  template <class Fn>
  VX_PIXEL_INLINE static Bgrx Apply(Fn& fn, Bgrx c) {
    return fn.Eight(c);
  }
  template <class Fn>
  static void ApplyRun(Fn& fn, Bgrx* c, std::int32_t n) {
    fn.EightRun(c, n);
  }
};

struct FiveUnits {
  // Bytes of an expanded 16-bit stage are 5-bit values; stray high bits
  // are dropped.
  template <class Fn>
  VX_PIXEL_INLINE static Bgrx Apply(Fn& fn, Bgrx c) {
    c.b &= 31;
    c.g &= 31;
    c.r &= 31;
    if constexpr (requires { fn.Five(c); }) {
      return fn.Five(c);
    } else {
      const Bgrx e = fn.Eight(Bgrx{static_cast<std::uint8_t>(c.b << 3),
                                   static_cast<std::uint8_t>(c.g << 3),
                                   static_cast<std::uint8_t>(c.r << 3), 0});
      return Bgrx{NarrowEight(e.b), NarrowEight(e.g), NarrowEight(e.r), 0};
    }
  }
  // Runs: each pixel as one word, its three components masked (and scaled)
  // together; byte x is cleared.
  template <class Fn>
  static void ApplyRun(Fn& fn, Bgrx* c, std::int32_t n) {
    constexpr std::uint32_t kFive = 0x001F1F1Fu;
    const auto each = [&](auto change) {
      for (std::int32_t i = 0; i < n; ++i) {
        std::uint32_t w;
        std::memcpy(&w, c + i, 4);
        w = change(w);
        std::memcpy(c + i, &w, 4);
      }
    };
    if constexpr (requires { fn.FiveRun(c, n); }) {
      each([](std::uint32_t w) { return w & kFive; });
      fn.FiveRun(c, n);
    } else {
      each([](std::uint32_t w) { return (w & kFive) << 3; });
      fn.EightRun(c, n);
      each([](std::uint32_t w) { return (w >> 3) & kFive; });
    }
  }
};

template <class Fn>
inline constexpr bool kHasStep = requires(Fn& fn) { fn.Step(); };
template <class Fn>
inline constexpr bool kHasSkip = requires(Fn& fn) { fn.Skip(std::int32_t{}); };
template <class Fn>
inline constexpr bool kHasEndRow = requires(Fn& fn) { fn.EndRow(); };
// Functions that colour runs of pixels at once and do not walk.
template <class Fn>
inline constexpr bool kColoursRuns =
    requires(Fn& fn, Bgrx* c) { fn.EightRun(c, std::int32_t{}); } &&
                                     !kHasStep<Fn> && !kHasSkip<Fn> && !kHasEndRow<Fn>;
template <class Fn>
inline constexpr bool kKeepsColour = requires { requires Fn::kKeepsColour; };

// The compositing loops' colour source: pixel x of row y of the source,
// read by `Reader`, through the colour function in `Units`, in the
// destination's format. It listens for skipped runs and row ends only where
// the colour function walks along.
template <class Reader, class Units, class Dst, class Fn>
class PassSource {
 public:
  using Colour = typename Dst::Colour;
  static constexpr bool kCopiesSpans =
      kKeepsColour<Fn> && !kHasStep<Fn> && !kHasSkip<Fn> && !kHasEndRow<Fn> &&
      ((std::is_same_v<Reader, ExpandedSource<4>> && std::is_same_v<Dst, Bgr4>) ||
       (std::is_same_v<Reader, Rgb555Source> && std::is_same_v<Dst, Rgb555>));

  PassSource(const ColourPassPlan& plan, Fn& fn)
      : source_(plan.area.source), step_(Reader::kStep != 0 ? Reader::kStep : source_.step),
        table_(plan.job.palette), fn_(fn) {}

  void BeginRow(std::int32_t y) {
    row_ = source_.Row(y);
    chunkFrom_ = chunkEnd_ = 0;
  }

  VX_PIXEL_INLINE Colour At(std::int32_t x) {
    Bgrx c;
    if constexpr (kColoursRuns<Fn>) {
      if (x >= chunkEnd_ || x < chunkFrom_) FillChunk(x);
      c = chunk_[x - chunkFrom_];
    } else {
      const std::uint8_t* p = row_ + static_cast<std::ptrdiff_t>(x) * step_;
      c = Units::Apply(fn_, Unpack(Reader::LoadBgr(table_, p)));
    }
    if constexpr (kHasStep<Fn>) fn_.Step();
    return InDestination(c);
  }

  // The blends' colours of [x, x + n): the source's pixels as they are
  // where the function keeps them, else a run coloured at once.
  void Entries(std::int32_t x, std::int32_t n, std::uint32_t* out)
    requires kCopiesSpans || kColoursRuns<Fn>
  {
    if constexpr (kCopiesSpans) {
      const std::uint8_t* p = row_ + static_cast<std::ptrdiff_t>(x) * Dst::kStep;
      for (std::int32_t i = 0; i < n; ++i) {
        if constexpr (std::is_same_v<Dst, Rgb555>) {
          std::uint16_t w;
          std::memcpy(&w, p + 2 * i, 2);
          out[i] = w & 0x7FFFu;
        } else {
          std::uint32_t w;
          std::memcpy(&w, p + 4 * i, 4);
          out[i] = w & 0xFFFFFFu;
        }
      }
    } else {
      if (x < chunkFrom_ || x + n > chunkEnd_) FillChunk(x);
      const Bgrx* c = chunk_ + (x - chunkFrom_);
      for (std::int32_t i = 0; i < n; ++i)
        out[i] = composite_detail::EntryOf<Dst>(InDestination(c[i]), 0);
    }
  }

  const std::uint8_t* Pixels(std::int32_t x) const
    requires kCopiesSpans
  {
    return row_ + static_cast<std::ptrdiff_t>(x) * Dst::kStep;
  }

  void StoreRun(std::uint8_t* d, std::int32_t x, std::int32_t n)
    requires kCopiesSpans
  {
    Dst::Copy(d, row_ + static_cast<std::ptrdiff_t>(x) * Dst::kStep, n);
  }

  void Skip(std::int32_t, std::int32_t n)
    requires(kHasSkip<Fn> || kHasStep<Fn>)
  {
    if constexpr (kHasSkip<Fn>) {
      fn_.Skip(n);
    } else {
      for (std::int32_t i = 0; i < n; ++i) fn_.Step();
    }
  }

  void EndRow(std::int32_t)
    requires kHasEndRow<Fn>
  {
    fn_.EndRow();
  }

 private:
  VX_PIXEL_INLINE static Colour InDestination(Bgrx c) {
    if constexpr (std::is_same_v<Dst, Rgb555>)
      return Pack555(c.r, c.g, c.b);
    else
      return c;
  }

  // The colours of up to kChunk pixels from x, coloured as one run.
  void FillChunk(std::int32_t x) {
    const std::int32_t n = std::min(kChunk, source_.width - x);
    const std::uint8_t* p = row_ + static_cast<std::ptrdiff_t>(x) * step_;
    for (std::int32_t i = 0; i < n; ++i, p += step_) chunk_[i] = Unpack(Reader::LoadBgr(table_, p));
    Units::ApplyRun(fn_, chunk_, n);
    chunkFrom_ = x;
    chunkEnd_ = x + n;
  }

  static constexpr std::int32_t kChunk = 64;
  const ViewWalk& source_;
  std::int32_t step_;
  typename Reader::Table table_;
  Fn& fn_;
  const std::uint8_t* row_ = nullptr;
  std::int32_t chunkFrom_ = 0, chunkEnd_ = 0;
  Bgrx chunk_[kChunk];
};

template <class Reader, class Units, class Dst, class Fn>
bool RunWith(const ColourPassPlan& plan, Fn& fn) {
  PassSource<Reader, Units, Dst, Fn> src(plan, fn);
  return Composite<Dst>(plan.job, src);
}

template <class S>
inline constexpr bool kIsExpandedSource =
    !std::is_same_v<S, Rgb555Source> && !std::is_same_v<S, Indexed8Source>;

// The loop for a (source reader, destination format) pair the plan has
// accepted. Pairs of unequal pixel sizes, and the rarer hard-mask pairs,
// share the loops that take the views' own steps.
template <class S, class D, class Fn>
bool RunPair(const ColourPassPlan& plan, Fn& fn) {
  if constexpr (kIsExpandedFormat<D>) {
    // Hard mask from any source, or a 24/32-bit source.
    if constexpr (kIsExpandedSource<S> && S::kStep == D::kStep)
      return RunWith<typename S::Stored, EightUnits, D>(plan, fn);
    else if constexpr (kIsExpandedSource<S>)
      return RunWith<ExpandedSource<0>, EightUnits, BgrWide>(plan, fn);
    else if constexpr (std::is_same_v<S, Rgb555Source>)
      return RunWith<S, FiveUnits, BgrWide>(plan, fn);
    else
      return RunWith<S, EightUnits, BgrWide>(plan, fn);
  } else if constexpr (std::is_same_v<D, Rgb555>) {
    if constexpr (std::is_same_v<S, Rgb555Source>)
      return RunWith<S, FiveUnits, Rgb555>(plan, fn);
    else if constexpr (kIsExpandedSource<S>)
      return RunWith<ExpandedSource<0>, FiveUnits, Rgb555>(plan, fn);
    else
      return false;
  } else {
    // 8-bit destinations store the result through the inverse table.
    if constexpr (std::is_same_v<S, Indexed8Source>)
      return RunWith<S, EightUnits, Indexed8ViaPalette>(plan, fn);
    else if constexpr (kIsExpandedSource<S>)
      return RunWith<ExpandedSource<0>, EightUnits, Indexed8ViaPalette>(plan, fn);
    else
      return false;
  }
}

}  // namespace colour_pass_detail

// Runs the pass planned in `plan` with colours from `fn`. False when
// nothing was drawn.
template <class Fn>
bool RunColourPlan(const ColourPassPlan& plan, Fn& fn) {
  if (plan.source == ColourSource::kNone) return false;
  return VisitFormats(plan.sourceFormat, plan.destination, [&]<class S, class D>() -> bool {
    return colour_pass_detail::RunPair<S, D>(plan, fn);
  });
}

// Plans and runs the pass for one render. False when nothing was drawn.
template <class Fn>
bool RunColourPass(const ColourPassCall& call, Fn& fn) {
  ColourPassPlan plan;
  if (PlanColourPass(call, &plan) != ColourPassReady::kReady) return false;
  return RunColourPlan(plan, fn);
}

}  // namespace vx
