#include "effects/geometric/rotate_loops.h"

#include <algorithm>

namespace vx {

namespace {

using namespace rotate_detail;

template <class Source, template <class, std::int32_t> class Sampler, class Sink>
constexpr RotateLoopFn kByMask[2][2] = {
    // [every tap tested][packed mask]
    {&RotateSpanLoop<Source, Sampler, 0, Sink>, &RotateSpanLoop<Source, Sampler, 1, Sink>},
    {&RotateLoop<Source, Sampler, 0, Sink>, &RotateLoop<Source, Sampler, 1, Sink>},
};

// What selects a loop besides the format pair.
struct LoopKey {
  bool checked, interpolate, fullBlend, packedMask;
};

template <class Source, template <class, std::int32_t> class Sampler, class Sink>
RotateLoopFn ByMask(const LoopKey& k) {
  return kByMask<Source, Sampler, Sink>[k.checked ? 1 : 0][k.packedMask ? 1 : 0];
}

// Nearest palette indices come with the index each is stored as
// (InsideColourOf), so at blend level 255 their 8-bit destination stores it
// outright; below it nothing is stored. The walk testing every tap keeps
// the colour table's sink: the reference the stored indices are checked
// against.
template <class Source, class Fmt>
using StoredIndexFormat =
    std::conditional_t<std::is_same_v<Source, Indexed8Source> &&
                           std::is_same_v<Fmt, Indexed8ViaPalette>,
                       Indexed8, Fmt>;

template <class Source, class Fmt>
RotateLoopFn RenderLoop(const LoopKey& k) {
  if (k.interpolate)
    return k.fullBlend ? ByMask<Source, BilinearSampler, CompositeSink<Fmt, true>>(k)
                       : ByMask<Source, BilinearSampler, CompositeSink<Fmt, false>>(k);
  if (!k.fullBlend) return ByMask<Source, NearestSampler, CompositeSink<Fmt, false>>(k);
  return k.checked ? ByMask<Source, NearestSampler, CompositeSink<Fmt, true>>(k)
                   : ByMask<Source, NearestSampler,
                            CompositeSink<StoredIndexFormat<Source, Fmt>, true>>(k);
}

template <class Source, class Fmt>
RotateLoopChoice Pick(const LoopKey& k) {
  return {RenderLoop<Source, Fmt>(k), std::is_same_v<Fmt, Indexed8ViaPalette>};
}

template <class Source>
RotateLoopChoice PickAlpha(const LoopKey& k) {
  return {k.interpolate ? ByMask<Source, BilinearSampler, AlphaSink>(k)
                        : ByMask<Source, NearestSampler, AlphaSink>(k),
          std::is_same_v<Source, Indexed8Source>};
}

// Rows of a window laid out as whole bottom-up rows of `rowLength` bytes
// whose first `columns` pixels of `span` bytes fit; 0 when it is not.
std::int64_t WholeRows(const ByteWindow& w, std::int32_t columns, std::int32_t span) {
  const std::int64_t rowLength = -w.rowStep;
  if (rowLength <= 0 || w.size <= 0 || w.size % rowLength != 0) return 0;
  if (w.bytesPerPixel < span || std::int64_t{columns} * w.bytesPerPixel > rowLength) return 0;
  const std::int64_t rows = w.size / rowLength;
  return w.topOffset == (rows - 1) * rowLength ? rows : 0;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

bool WindowUsable(const ByteWindow& w) {
  return w.base != nullptr && w.size > 0 && w.bytesPerPixel > 0;
}

}  // namespace

namespace rotate_detail {

void ClipLinear(std::int64_t start, std::int64_t step, std::int64_t lo, std::int64_t hi,
                std::int64_t* first, std::int64_t* last) {
  if (step == 0) {
    if (start < lo || start >= hi) *last = *first;
    return;
  }
  // x in [a, b) with a = ceil((lo - start) / step), b = ceil((hi - start) / step)
  // for a rising walk, mirrored for a falling one.
  std::int64_t a, b;
  if (step > 0) {
    a = -FloorDiv(start - lo, step);
    b = -FloorDiv(start - hi, step);
  } else {
    a = FloorDiv(start - hi, -step) + 1;
    b = FloorDiv(start - lo, -step) + 1;
  }
  *first = std::max(*first, a);
  *last = std::min(*last, b);
}

bool TapArea(const RotateLoopJob& job, std::int32_t colourSpan, std::int32_t* columns,
             std::int32_t* rows) {
  const std::int64_t maskRows = WholeRows(job.mask, job.maskWidth, 1);
  const std::int64_t colourRows = WholeRows(job.colour, job.maskWidth, colourSpan);
  const std::int64_t n = std::min(maskRows, colourRows);
  if (n <= 0 || n > kMaxSide || job.maskWidth > kMaxSide || job.destination.width > kMaxSide)
    return false;
  *columns = job.maskWidth;
  *rows = static_cast<std::int32_t>(std::min<std::int64_t>(n, job.maskRows));
  if (*rows <= 0) return false;
  return true;
}

// A multiple of 8 up to `n`: how many of the first bytes at `p` are 255, as
// far as whole groups go. The scan runs over the whole mask every render.
static std::int32_t OpaquePrefix(const std::uint8_t* p, std::int32_t n) {
  std::int32_t x = 0;
#if defined(__SSE2__)
  const __m128i ones = _mm_set1_epi8(-1);
  for (; x + 64 <= n; x += 64) {
    const auto* q = reinterpret_cast<const __m128i*>(p + x);
    const __m128i all = _mm_and_si128(
        _mm_and_si128(_mm_loadu_si128(q), _mm_loadu_si128(q + 1)),
        _mm_and_si128(_mm_loadu_si128(q + 2), _mm_loadu_si128(q + 3)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(all, ones)) != 0xFFFF) return x;
  }
#endif
  for (; x + 8 <= n; x += 8) {
    std::uint64_t eight;
    std::memcpy(&eight, p + x, 8);
    if (eight != ~std::uint64_t{0}) break;
  }
  return x;
}

// How many bytes before `p` (at most n) are 255, going left.
static std::int32_t OpaqueBefore(const std::uint8_t* p, std::int32_t n) {
  std::int32_t k = 0;
#if defined(__SSE2__)
  const __m128i ones = _mm_set1_epi8(-1);
  for (; k + 32 <= n; k += 32) {
    const auto* q = reinterpret_cast<const __m128i*>(p - k - 32);
    const __m128i all = _mm_and_si128(_mm_loadu_si128(q), _mm_loadu_si128(q + 1));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(all, ones)) != 0xFFFF) break;
  }
#endif
  for (; k + 8 <= n; k += 8) {
    std::uint64_t eight;
    std::memcpy(&eight, p - k - 8, 8);
    if (eight != ~std::uint64_t{0}) break;
  }
  while (k < n && p[-k - 1] == 255) ++k;
  return k;
}

// Row r's run of 255 bytes through the middle column within [from, to),
// [*left, *right); empty when the middle byte is not 255. The middle
// column lies in [from, to).
static void OpaqueRun(const ByteWindow& mask, std::int32_t columns, std::int32_t r,
                      std::int32_t from, std::int32_t to, std::int32_t* left,
                      std::int32_t* right) {
  const std::uint8_t* row = mask.base + mask.topOffset + std::ptrdiff_t{r} * mask.rowStep;
  const std::int32_t mid = columns / 2;
  std::int32_t end = mid + OpaquePrefix(row + mid, to - mid);
  while (end < to && row[end] == 255) ++end;
  *left = end > mid ? mid - OpaqueBefore(row + mid, mid - from) : mid;
  *right = end;
}

OpaqueBoxes OpaqueAreas(const ByteWindow& mask, std::int32_t columns, std::int32_t rows) {
  OpaqueBoxes out;
  if (mask.bytesPerPixel != 1 || columns <= 0 || rows <= 0) return out;
  // Grown from the middle row one row at a time, up or down: first
  // whichever keeps the larger area, while the area does not shrink (the
  // largest box); then whichever keeps the wider run, while one is left.
  // Rows above and below are read only within the box so far: the box
  // only narrows.
  std::int32_t left, right;
  OpaqueRun(mask, columns, rows / 2, 0, columns, &left, &right);
  if (right <= left) return out;
  std::int32_t top = rows / 2, bottom = top + 1;
  std::int32_t upL = 0, upR = 0, downL = 0, downR = 0;
  if (top > 0) OpaqueRun(mask, columns, top - 1, left, right, &upL, &upR);
  if (bottom < rows) OpaqueRun(mask, columns, bottom, left, right, &downL, &downR);
  OpaqueBox steps[kOpaqueBoxes];
  std::int32_t stepCount = 0, keptWidth = right - left;
  bool largestFound = false;
  // A taller box of the last kept width stands in for it; when all are
  // taken, the last one gives way to the taller.
  const auto keep = [&] {
    const bool same = stepCount > 0 && steps[stepCount - 1].left == left &&
                      steps[stepCount - 1].right == right;
    if (!same && stepCount < kOpaqueBoxes) ++stepCount;
    steps[stepCount - 1] = {left, top, right, bottom};
    keptWidth = right - left;
  };
  for (;;) {
    const std::int64_t height = bottom - top;
    const std::int64_t area = std::int64_t{right - left} * height;
    const std::int32_t upWidth = top > 0 ? std::min(right, upR) - std::max(left, upL) : 0;
    const std::int32_t downWidth =
        bottom < rows ? std::min(right, downR) - std::max(left, downL) : 0;
    const std::int64_t upArea = std::int64_t{upWidth} * (height + 1);
    const std::int64_t downArea = std::int64_t{downWidth} * (height + 1);
    bool up = false, down = false;
    if (!largestFound) {
      up = upWidth > 0 && upArea >= area && upArea >= downArea;
      down = !up && downWidth > 0 && downArea >= area;
      if (!up && !down) {
        largestFound = true;
        out.box[out.count++] = {left, top, right, bottom};
      }
    }
    if (largestFound) {
      if (upWidth <= 0 && downWidth <= 0) break;
      up = upWidth >= downWidth;
    }
    if (std::int64_t{up ? upWidth : downWidth} * 4 < std::int64_t{keptWidth} * 3) keep();
    if (up) {
      left = std::max(left, upL);
      right = std::min(right, upR);
      --top;
      if (top > 0) OpaqueRun(mask, columns, top - 1, left, right, &upL, &upR);
    } else {
      left = std::max(left, downL);
      right = std::min(right, downR);
      ++bottom;
      if (bottom < rows) OpaqueRun(mask, columns, bottom, left, right, &downL, &downR);
    }
  }
  keep();
  // The largest first, then the steps that differ from it.
  for (std::int32_t i = 0; i < stepCount && out.count < kOpaqueBoxes; ++i) {
    const OpaqueBox& b = steps[i];
    const OpaqueBox& l = out.box[0];
    if (b.left != l.left || b.top != l.top || b.right != l.right || b.bottom != l.bottom)
      out.box[out.count++] = b;
  }
  return out;
}

void TapBoxesRun(const TapBox* boxes, std::int32_t count, std::int32_t x, std::int32_t y,
                 std::int32_t stepX, std::int32_t stepY, std::int64_t* first, std::int64_t* last) {
  std::int64_t lo[kOpaqueBoxes], hi[kOpaqueBoxes];
  std::int32_t best = -1;
  if (*last <= *first) return;
  // The positions the row reaches, to pass the boxes it misses at once.
  const std::int64_t x0 = x + *first * stepX, x1 = x + (*last - 1) * stepX;
  const std::int64_t y0 = y + *first * stepY, y1 = y + (*last - 1) * stepY;
  for (std::int32_t i = 0; i < count && i < kOpaqueBoxes; ++i) {
    lo[i] = *first;
    hi[i] = *first;
    const TapBox& box = boxes[i];
    if (std::max(x0, x1) < box.loX || std::min(x0, x1) >= box.hiX ||
        std::max(y0, y1) < box.loY || std::min(y0, y1) >= box.hiY)
      continue;
    hi[i] = *last;
    ClipLinear(x, stepX, boxes[i].loX, boxes[i].hiX, &lo[i], &hi[i]);
    ClipLinear(y, stepY, boxes[i].loY, boxes[i].hiY, &lo[i], &hi[i]);
    if (hi[i] > lo[i] && (best < 0 || hi[i] - lo[i] > hi[best] - lo[best])) best = i;
  }
  if (best < 0) {
    *last = *first;
    return;
  }
  // Runs that meet or touch the run so far extend it: each of its pixels
  // stays inside some box.
  std::int64_t a = lo[best], b = hi[best];
  for (bool grew = true; grew;) {
    grew = false;
    for (std::int32_t i = 0; i < count && i < kOpaqueBoxes; ++i)
      if (hi[i] > lo[i] && lo[i] <= b && hi[i] >= a && (lo[i] < a || hi[i] > b)) {
        a = std::min(a, lo[i]);
        b = std::max(b, hi[i]);
        grew = true;
      }
  }
  *first = a;
  *last = b;
}

}  // namespace rotate_detail

RotateLoopChoice SelectRotateLoop(const PixelView& colour, const PixelView& destination,
                                  bool interpolate, bool fullBlend, bool checkEveryTap,
                                  bool packedMask) {
  const LoopKey k{checkEveryTap, interpolate, fullBlend, packedMask};
  return VisitSampledRenderFormats(colour, destination,
                                   [&]<class Source, class Fmt>() { return Pick<Source, Fmt>(k); });
}

RotateLoopChoice SelectRotateAlphaLoop(const PixelView& colour,
                                       const PixelView& destinationColour, bool interpolate,
                                       bool checkEveryTap, bool packedMask) {
  const LoopKey k{checkEveryTap, interpolate, false, packedMask};
  return VisitSampledAlphaFormats(colour, destinationColour,
                                  [&]<class Source>() { return PickAlpha<Source>(k); });
}

bool RotateJobFits(const RotateLoopChoice& loop, const RotateLoopJob& job, bool withAlpha) {
  if (loop.run == nullptr) return false;
  const ViewWalk& d = job.destination;
  if (d.top == nullptr || d.width <= 0 || d.height <= 0 || d.step <= 0) return false;
  if (!WindowUsable(job.mask) || !WindowUsable(job.colour) || job.maskWidth <= 0) return false;
  if (withAlpha && (job.alpha.top == nullptr || job.alpha.step <= 0 || !SameShape(d, job.alpha)))
    return false;
  const Palette& p = job.palette;
  if (loop.usesPalette && !(p.red && p.green && p.blue && p.inverse)) return false;
  return true;
}

bool RunRotateLoop(const PixelView& colour, const PixelView& destination, bool interpolate,
                   RotateLoopJob job) {
  job.blend = std::clamp(job.blend, 0, 255);
  const RotateLoopChoice loop =
      SelectRotateLoop(colour, destination, interpolate, job.blend == 255, job.checkEveryTap,
                       job.mask.bytesPerPixel == 1);
  // The loop was chosen by the view; its walk must step like it.
  if (job.destination.step != destination.bytesPerPixel) return false;
  if (!RotateJobFits(loop, job, false)) return false;
  loop.run(job);
  return true;
}

bool RunRotateAlphaLoop(const PixelView& colour, const PixelView& destinationColour,
                        bool interpolate, const RotateLoopJob& job) {
  const RotateLoopChoice loop =
      SelectRotateAlphaLoop(colour, destinationColour, interpolate, job.checkEveryTap,
                            job.mask.bytesPerPixel == 1);
  if (job.destination.step != destinationColour.bytesPerPixel) return false;
  if (!RotateJobFits(loop, job, true)) return false;
  loop.run(job);
  return true;
}

}  // namespace vx
