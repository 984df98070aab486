#include "effects/noise/pointel.h"

#include <algorithm>
#include <type_traits>

#include "effects/noise/pointel_dots.h"
#include "framework/properties.h"

namespace vx {
namespace {

using namespace pointel;

enum PropertyIndex { kSpeedRow = 3, kIntensityRow, kRadiusRow };

enum class DotSize { kSingle, kSquare, kRound };
DotSize DotSizeFor(std::int32_t radius) {
  return radius <= 1 ? DotSize::kSingle : radius == 2 ? DotSize::kSquare : DotSize::kRound;
}

// Pulls the update in so that every dot centred in it stays inside it; a
// rectangle too small for one dot becomes empty.
void PullIn(AreaRect* update, DotSize size) {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  if (size == DotSize::kSquare) {
    right = SquareDot::kRight;
    bottom = SquareDot::kBottom;
  } else if (size == DotSize::kRound) {
    left = RoundDot::kLeft;
    top = RoundDot::kTop;
    right = RoundDot::kRight;
    bottom = RoundDot::kBottom;
  }
  const std::int64_t l = std::int64_t{update->left} + left;
  const std::int64_t t = std::int64_t{update->top} + top;
  const std::int64_t r = std::int64_t{update->right} - right;
  const std::int64_t b = std::int64_t{update->bottom} - bottom;
  if (r <= l || b <= t)
    *update = MakeRect(update->left, update->top, update->left, update->top, update->tag);
  else
    *update = MakeRect(static_cast<std::int32_t>(l), static_cast<std::int32_t>(t),
                       static_cast<std::int32_t>(r), static_cast<std::int32_t>(b), update->tag);
}

template <class Shape, class Reader, class Writer>
void Paint(const DotJob& job, LayerSums& sums) {
  PaintDots<Shape, Reader, Writer>(job, sums);
}

// Runs the loop of `Reader` and `Writer` for the dot size, when the views'
// pixel steps are the ones they read and write.
template <class Reader, class Writer>
void RunDots(const DotJob& job, LayerSums& sums, DotSize size) {
  using Fn = void (*)(const DotJob&, LayerSums&);
  static constexpr Fn kShapes[] = {&Paint<SingleDot, Reader, Writer>,
                                   &Paint<SquareDot, Reader, Writer>,
                                   &Paint<RoundDot, Reader, Writer>};
  if (job.source.step < Reader::kMinBytes || job.source.step > Reader::kMaxBytes) return;
  if (job.destination.step < Writer::kMinStep || job.destination.step > Writer::kMaxStep) return;
  constexpr bool kPalette = std::is_same_v<Reader, ReadExpandedToIndex> ||
                            std::is_same_v<Reader, ReadIndexColour> ||
                            std::is_same_v<Reader, ReadIndexToIndex>;
  if (kPalette && (!job.palette.red || !job.palette.inverse)) return;
  kShapes[static_cast<int>(size)](job, sums);
}

// The walks of one dot render over `outer` (the clipped update, destination
// coordinates) and `walked` (it, pulled in). False when any view fails.
bool OpenDotJob(PixelView* destination, PixelView* source, PixelView* mask, const AreaRect& outer,
                const AreaRect& walked, ThresholdRecord* thresholds, ColourTable* colours,
                DotJob* job, RenderArea* area) {
  AreaRect inner = walked;
  if (!PrepareRenderArea(destination, source, mask, &inner, area)) return false;
  if (!OpenWalk(destination, outer, &job->destination)) return false;
  job->mask = area->mask;
  job->source = area->source;
  job->insetX = walked.left - outer.left;
  job->insetY = walked.top - outer.top;
  job->lower = std::clamp(ReadThresholds(thresholds).lower, -1, 255);
  ReadPalette(colours, &job->palette);
  return true;
}

}  // namespace

void Pointel::SetDefaults(Pointel& e) {
  e.noise.phaseStep = 1.0f;
  e.dotRadius = 3;
}

void Pointel::ApplyProperties(Pointel& e, const HostValue* list, Services* services,
                              std::int32_t*) {
  const PropertyDesc* table = e.propertyTable;
  auto read = [&](int row) { return GetIntProperty(list, table[row].keySymbol, services); };
  const std::int32_t speed = read(kSpeedRow);
  const std::int32_t intensity = read(kIntensityRow);
  const std::int32_t radius = read(kRadiusRow);
  if (speed != kAbsent) ApplySpeed(&e.noise, speed);
  if (radius != kAbsent) e.dotRadius = radius;
  ApplyIntensity(&e.noise, intensity, e.header.allocator);
  // Any property list sets the dots moving again; speed 0 only stops the
  // drift.
  e.anim.finished = 0;
  e.anim.frame = 0;
  e.anim.mode = kModeInfinite;
}

Status Pointel::Render(Pointel& e, PixelView* dst, PixelView* src, AreaRect* update,
                       PixelView* mask, const std::uint16_t*, ColourTable* colours, std::int32_t,
                       std::int32_t, std::int32_t, std::int32_t, ThresholdRecord* thresholds) {
  if (!dst || !src || !mask || !update) return kOk;
  AreaRect maskRect = CopyRect(mask->bounds);
  const std::int32_t clip = ClipToSprite(mask, dst, update, &maskRect);
  const AreaRect outer = *update;
  const DotSize size = DotSizeFor(e.dotRadius);
  PullIn(update, size);
  if (clip == 0) return kOk;
  AdvanceNoiseFrame(&e.noise, &e.anim);

  DotJob job;
  RenderArea area;
  if (!OpenDotJob(dst, src, mask, outer, *update, thresholds, colours, &job, &area)) return kOk;
  LocateLayersForRender(&e.noise, *src, area);
  LayerSums sums(e.noise, job.mask.width);
  if (sums.Empty()) return kOk;
  const bool expanded = src->bytesPerPixel >= 3;
  switch (src->depth) {
    case 8:
      if (expanded)
        RunDots<ReadExpandedToIndex, WriteIndex>(job, sums, size);
      else
        RunDots<ReadIndexToIndex, WriteIndex>(job, sums, size);
      break;
    case 16:
      if (expanded)
        RunDots<ReadExpanded555, WriteWord>(job, sums, size);
      else
        RunDots<ReadPacked555, WriteWord>(job, sums, size);
      break;
    case 24:
    case 32:
      RunDots<ReadBgr, WriteBgr>(job, sums, size);
      break;
    default:
      break;
  }
  return kOk;
}

Status Pointel::RenderWithAlpha(Pointel& e, PixelView* dstColour, PixelView* dstAlpha,
                                PixelView* srcColour, PixelView* srcMask, AreaRect* update,
                                const std::uint16_t*, ColourTable* colours, std::int32_t,
                                std::int32_t, std::int32_t, ThresholdRecord* thresholds) {
  if (!dstColour || !dstAlpha || !srcColour || !srcMask || !update) return kOk;
  AreaRect maskRect = CopyRect(srcMask->bounds);
  ClipToSprite(srcMask, dstColour, update, &maskRect);
  const AreaRect outer = *update;
  const DotSize size = DotSizeFor(e.dotRadius);
  PullIn(update, size);
  AdvanceNoiseFrame(&e.noise, &e.anim);

  // Transparent everywhere but at the dots: the whole alpha image is cleared.
  std::int32_t status = 0;
  if (!dstAlpha->ops || !dstAlpha->ops->BaseAddress) return kOk;
  if (dstAlpha->ops->BaseAddress(dstAlpha, &status) == nullptr || status != 0) return status;
  ViewWalk wholeAlpha;
  if (!OpenWalk(dstAlpha, dstAlpha->bounds, &wholeAlpha)) return kOk;
  std::fill(wholeAlpha.memBegin, wholeAlpha.memEnd, std::uint8_t{0});
  if (update->width == 0 || update->height == 0) return kOk;

  DotJob job;
  RenderArea area;
  if (!OpenDotJob(dstColour, srcColour, srcMask, outer, *update, thresholds, colours, &job,
                  &area))
    return kOk;
  AreaRect alphaRect = outer;
  Subtract(&alphaRect, dstColour->bounds.left, dstColour->bounds.top);
  if (!OpenWalk(dstAlpha, alphaRect, &job.alpha) || !SameShape(job.alpha, job.destination))
    return kOk;
  LocateLayersForRender(&e.noise, *srcColour, area);
  LayerSums sums(e.noise, job.mask.width);
  if (sums.Empty()) return kOk;
  if (srcColour->bytesPerPixel >= 3)
    RunDots<ReadBgr, WriteOpaque<WriteBgr>>(job, sums, size);
  else if (srcColour->depth == 16)
    RunDots<ReadPacked555Fields, WriteOpaque<WriteBgr>>(job, sums, size);
  else
    RunDots<ReadIndexColour, WriteOpaque<WriteBgr>>(job, sums, size);
  return kOk;
}

Status Pointel::GetAlphaAt(Pointel&, PixelView* alpha, std::int32_t vertical,
                           std::int32_t horizontal, std::int32_t* outValue,
                           SpriteDescription* sprite) {
  if (outValue == nullptr) return kOk;
  *outValue = 0;
  std::int64_t x = 0, y = 0;
  if (alpha != nullptr && PointInCentredView(*alpha, sprite, vertical, horizontal, &x, &y))
    *outValue = ViewByteAt(alpha, x, y);
  return kOk;
}

}  // namespace vx
