// The rotate pixel loops: a 24.8 fixed-point walk over the destination that
// samples the unrotated source and mask (nearest or bilinear) and either
// composites the sample through the mask (`Render`) or writes colour and
// alpha side by side (`RenderWithAlpha`).
//
// One template, RotateLoop<Source, Sampler, Sink>, is the whole family:
//  - a source format reads one colour tap into components (expanded bytes,
//    5-5-5 fields, or a palette index looked up);
//  - a sampler turns a source position into a mask value and a colour,
//    keeping every tap inside the mask's and the colour's pixel memory;
//  - a sink stores the sample: through the framework's destination formats
//    and the threshold rule, or as unblended colour plus alpha.
// The loops are picked once per render from small tables; the inner loop
// holds no test of format, sampling mode or blend level.
#pragma once

#include <cstdint>

#include "effects/geometric/rotate_geometry.h"
#include "framework/compositing.h"
#include "framework/pixel_view.h"
#include "framework/sprite_records.h"

namespace vx {

// Everything a rotate loop reads, prepared once per render.
struct RotateLoopJob {
  ViewWalk destination;  // destination (colour) sub-view over the update
  ViewWalk alpha;        // destination alpha sub-view (RenderWithAlpha only)
  ByteWindow colour;     // the colour sub-view's memory
  ByteWindow mask;       // the mask sub-view's memory
  std::int32_t maskWidth = 0;  // columns of the mask sub-view
  MappingVectors steps{};
  FixedPoint start{};  // source position of the destination's first pixel
  MaskThresholds thresholds;
  std::int32_t blend = 255;
  Palette palette;
};

using RotateLoopFn = void (*)(const RotateLoopJob&);

// A chosen loop, and whether it reads the colour table (an 8-bit side).
struct RotateLoopChoice {
  RotateLoopFn run = nullptr;
  bool usesPalette = false;
};

// The loop for `Render`: by the colour (source) view's and the destination's
// formats, the sampling mode and whether the blend level is 255. Empty for
// combinations without a loop (they draw nothing).
RotateLoopChoice SelectRotateLoop(const PixelView& colour, const PixelView& destination,
                                  bool interpolate, bool fullBlend);

// The loop for `RenderWithAlpha`: the destination colour view is expanded,
// its depth names the source format. Empty when there is none.
RotateLoopChoice SelectRotateAlphaLoop(const PixelView& colour,
                                       const PixelView& destinationColour, bool interpolate);

// Whether `job` can be walked safely by `loop`: views present, matching
// shapes, windows over real memory, a whole colour table where the loop
// reads one. `withAlpha` also checks the alpha sub-view.
bool RotateJobFits(const RotateLoopChoice& loop, const RotateLoopJob& job, bool withAlpha);

// Picks and runs the `Render` loop; false means nothing was drawn. A blend
// level outside 0-255 is taken as its nearest end.
bool RunRotateLoop(const PixelView& colour, const PixelView& destination, bool interpolate,
                   RotateLoopJob job);

// Picks and runs the `RenderWithAlpha` loop; false means nothing was drawn.
bool RunRotateAlphaLoop(const PixelView& colour, const PixelView& destinationColour,
                        bool interpolate, const RotateLoopJob& job);

namespace rotate_detail {

// A colour in the source's own component units.
struct Components {
  std::int32_t b = 0, g = 0, r = 0;
};

// What a sampler yields; a transparent sample has m 0 and no colour.
struct Sample {
  std::int32_t m = 0;
  Components c;
};

// --- Source formats: Load reads the tap at `p` (kSpan bytes).

// Expanded pixels: blue, green, red bytes in the image's units (8-bit
// components, or the 5-bit values of an expanded 16-bit stage).
struct ExpandedSource {
  static constexpr std::int32_t kSpan = 3;
  static Components Load(const Palette&, const std::uint8_t* p) { return {p[0], p[1], p[2]}; }
};

// 5-5-5 words: red bits 10-14, green 5-9, blue 0-4.
struct Rgb555Source {
  static constexpr std::int32_t kSpan = 2;
  static Components Load(const Palette&, const std::uint8_t* p) {
    const std::int32_t v = p[0] | (p[1] << 8);
    return {v & 31, (v >> 5) & 31, (v >> 10) & 31};
  }
};

// Palette indices, looked up in the colour table.
struct Indexed8Source {
  static constexpr std::int32_t kSpan = 1;
  static Components Load(const Palette& pal, const std::uint8_t* p) {
    const Rgb c = PaletteLookup(pal, *p);
    return {c.b, c.g, c.r};
  }
};

// --- Samplers.

template <class Source>
class NearestSampler {
 public:
  explicit NearestSampler(const RotateLoopJob& job)
      : mask_(job.mask), colour_(job.colour), width_(job.maskWidth), palette_(job.palette) {}

  Sample operator()(std::int32_t x, std::int32_t y) const {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    if (ix < 0 || ix >= width_) return {};
    const std::int64_t m = TapOffset(mask_, ix, iy);
    if (m < 0) return {};
    const std::int64_t c = TapOffset(colour_, ix, iy, Source::kSpan);
    if (c < 0) return {};
    return {mask_.base[m], Source::Load(palette_, colour_.base + c)};
  }

 private:
  ByteWindow mask_, colour_;
  std::int32_t width_;
  Palette palette_;
};

template <class Source>
class BilinearSampler {
 public:
  explicit BilinearSampler(const RotateLoopJob& job)
      : mask_(job.mask), colour_(job.colour), width_(job.maskWidth), palette_(job.palette) {}

  Sample operator()(std::int32_t x, std::int32_t y) const {
    const std::int32_t ix = x >> 8, iy = y >> 8;
    // The right neighbour must exist: the last column is never a left tap.
    if (ix < 0 || ix >= width_ - 1) return {};
    const std::int64_t m = QuadOffset(mask_, ix, iy);
    if (m < 0) return {};
    const std::int64_t c = QuadOffset(colour_, ix, iy, Source::kSpan);
    if (c < 0) return {};
    const std::int32_t fx = x - (ix << 8), fy = y - (iy << 8);
    const std::int32_t w11 = (fx * fy) >> 8;
    const std::int32_t w10 = fx - w11;
    const std::int32_t w01 = fy - w11;
    const std::int32_t w00 = 256 - w10 - fy;

    const std::uint8_t* m00 = mask_.base + m;
    const std::uint8_t* m01 = m00 + mask_.rowStep;
    const std::int32_t ms = mask_.bytesPerPixel;
    Sample s;
    s.m = (m00[0] * w00 + m00[ms] * w10 + m01[0] * w01 + m01[ms] * w11) >> 8;

    const std::uint8_t* c00 = colour_.base + c;
    const std::uint8_t* c01 = c00 + colour_.rowStep;
    const std::int32_t cs = colour_.bytesPerPixel;
    const Components a = Source::Load(palette_, c00), b = Source::Load(palette_, c00 + cs);
    const Components d = Source::Load(palette_, c01), e = Source::Load(palette_, c01 + cs);
    s.c.b = (a.b * w00 + b.b * w10 + d.b * w01 + e.b * w11) >> 8;
    s.c.g = (a.g * w00 + b.g * w10 + d.g * w01 + e.g * w11) >> 8;
    s.c.r = (a.r * w00 + b.r * w10 + d.r * w01 + e.r * w11) >> 8;
    return s;
  }

 private:
  ByteWindow mask_, colour_;
  std::int32_t width_;
  Palette palette_;
};

// --- Destination side.

// An 8-bit destination whose outright stores also go through the colour
// table (index -> colour -> nearest index), as blended ones do.
struct Indexed8ViaPalette : Indexed8 {
  static void Store(const Palette& p, std::uint8_t* d, Colour c) {
    *d = InverseLookup(p, c.r, c.g, c.b);
  }
};

// Components -> the destination format's colour. Components of 5-5-5 pairs
// are already 5-bit; the mask keeps stray high bits of an expanded 16-bit
// source out of the neighbouring fields and bit 15.
template <class Fmt>
typename Fmt::Colour ToColour(const Components& c) {
  if constexpr (std::is_same_v<Fmt, Rgb555>) {
    return static_cast<std::uint16_t>(((c.r & 31) << 10) | ((c.g & 31) << 5) | (c.b & 31));
  } else {
    return Bgrx{static_cast<std::uint8_t>(c.b), static_cast<std::uint8_t>(c.g),
                static_cast<std::uint8_t>(c.r), 0};
  }
}

// `Render`: the threshold rule through the mask value of the sample.
template <class Fmt, bool kFull>
class CompositeSink {
 public:
  explicit CompositeSink(const RotateLoopJob& job)
      : dest_(job.destination),
        palette_(job.palette),
        step_(Fmt::kStep != 0 ? Fmt::kStep : job.destination.step),
        lower_(job.thresholds.lower),
        upper_(job.thresholds.upper),
        blend_(job.blend) {}

  void BeginRow(std::int32_t y) { row_ = dest_.Row(y); }

  void Put(std::int32_t x, const Sample& s) {
    if (s.m <= lower_) return;
    std::uint8_t* d = row_ + static_cast<std::ptrdiff_t>(x) * step_;
    const typename Fmt::Colour c = ToColour<Fmt>(s.c);
    if constexpr (kFull) {
      if (s.m >= upper_)
        Fmt::Store(palette_, d, c);
      else
        Fmt::Blend(palette_, d, c, s.m);
    } else {
      Fmt::Blend(palette_, d, c, (s.m * blend_) >> 8);
    }
  }

 private:
  ViewWalk dest_;
  Palette palette_;
  std::int32_t step_, lower_, upper_, blend_;
  std::uint8_t* row_ = nullptr;
};

// `RenderWithAlpha`: the mask value always, the colour unblended above the
// lower threshold, as blue, green, red bytes of the expanded destination.
class AlphaSink {
 public:
  explicit AlphaSink(const RotateLoopJob& job)
      : colour_(job.destination), alpha_(job.alpha), lower_(job.thresholds.lower) {}

  void BeginRow(std::int32_t y) {
    colourRow_ = colour_.Row(y);
    alphaRow_ = alpha_.Row(y);
  }

  void Put(std::int32_t x, const Sample& s) {
    alphaRow_[static_cast<std::ptrdiff_t>(x) * alpha_.step] = static_cast<std::uint8_t>(s.m);
    if (s.m <= lower_) return;
    std::uint8_t* d = colourRow_ + static_cast<std::ptrdiff_t>(x) * colour_.step;
    d[0] = static_cast<std::uint8_t>(s.c.b);
    d[1] = static_cast<std::uint8_t>(s.c.g);
    d[2] = static_cast<std::uint8_t>(s.c.r);
  }

 private:
  ViewWalk colour_, alpha_;
  std::int32_t lower_;
  std::uint8_t* colourRow_ = nullptr;
  std::uint8_t* alphaRow_ = nullptr;
};

// The walk. Positions advance in unsigned arithmetic: far outside the
// source they may wrap, which the samplers' bounds tests absorb.
template <class Source, template <class> class Sampler, class Sink>
void RotateLoop(const RotateLoopJob& job) {
  const Sampler<Source> sample(job);
  Sink sink(job);
  const auto colX = static_cast<std::uint32_t>(job.steps.colStepX);
  const auto colY = static_cast<std::uint32_t>(job.steps.colStepY);
  const auto rowX = static_cast<std::uint32_t>(job.steps.rowStepX);
  const auto rowY = static_cast<std::uint32_t>(job.steps.rowStepY);
  auto startX = static_cast<std::uint32_t>(job.start.x);
  auto startY = static_cast<std::uint32_t>(job.start.y);
  const std::int32_t width = job.destination.width;
  for (std::int32_t y = 0; y < job.destination.height; ++y) {
    sink.BeginRow(y);
    std::uint32_t px = startX, py = startY;
    for (std::int32_t x = 0; x < width; ++x) {
      sink.Put(x, sample(static_cast<std::int32_t>(px), static_cast<std::int32_t>(py)));
      px += colX;
      py += colY;
    }
    startX += rowX;
    startY += rowY;
  }
}

}  // namespace rotate_detail
}  // namespace vx
