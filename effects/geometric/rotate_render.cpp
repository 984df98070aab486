#include "effects/geometric/rotate_render.h"

#include <cstring>
#include <limits>

#include "effects/geometric/rotate.h"
#include "effects/geometric/rotate_geometry.h"
#include "effects/geometric/rotate_loops.h"
#include "framework/area_rect.h"
#include "framework/sprite_records.h"

namespace vx {
namespace {

HostAllocator* CopyAllocator(const ThresholdRecord* thresholds, HostAllocator* fallback) {
  if (thresholds != nullptr && thresholds->words[kThresholdAllocatorWord] != 0)
    return reinterpret_cast<HostAllocator*>(thresholds->words[kThresholdAllocatorWord]);
  return fallback;
}

AreaRect* OutputRect(const ThresholdRecord* thresholds, int word) {
  if (thresholds == nullptr) return nullptr;
  return reinterpret_cast<AreaRect*>(thresholds->words[word]);
}

// A view made for one render and given back at its end.
class TemporaryView {
 public:
  explicit TemporaryView(HostAllocator* allocator) : allocator_(allocator) {}
  TemporaryView(const TemporaryView&) = delete;
  TemporaryView& operator=(const TemporaryView&) = delete;
  ~TemporaryView() {
    if (view_ != nullptr) allocator_->ops->Free(allocator_, view_);
  }
  PixelView* Make() {
    view_ = static_cast<PixelView*>(allocator_->ops->Alloc(allocator_, sizeof(PixelView)));
    return view_;
  }

 private:
  HostAllocator* allocator_;
  PixelView* view_ = nullptr;
};

// The colour (source) and mask views of one render, brought to the same
// size, and the source region both are sampled over.
struct AlignedViews {
  PixelView* colour = nullptr;
  PixelView* mask = nullptr;
  PixelView colourSub{};
  PixelView maskSub{};
  AreaRect region{};  // in the mask view's coordinates
};

// Colour and mask alignment: equal rectangles stay; a larger colour view is
// cut to the mask's size about its centre; otherwise the mask is moved to
// the origin.
Status AlignColourAndMask(PixelView* colour, PixelView* mask, TemporaryView& colourTemp,
                          TemporaryView& maskTemp, AlignedViews* out) {
  out->colour = colour;
  out->mask = mask;
  const AreaRect colourRect = CopyRect(colour->bounds);
  const AreaRect maskRect = CopyRect(mask->bounds);
  if (Equals(colourRect, maskRect)) return kOk;
  if (Contains(colourRect, maskRect)) {
    PixelView* v = colourTemp.Make();
    if (v == nullptr) return kOutOfMemory;
    AreaRect centred = maskRect;
    CentreIn(&centred, colourRect);
    MakeSubView(v, colour, centred);
    MoveToOrigin(&v->bounds);
    out->colour = v;
  } else {
    PixelView* v = maskTemp.Make();
    if (v == nullptr) return kOutOfMemory;
    MakeSubView(v, mask, maskRect);
    MoveToOrigin(&v->bounds);
    out->mask = v;
  }
  return kOk;
}

// Sub-views of the mask and the colour over the region. The colour view is
// centred on the mask so that their pixels pair up, then left at the origin
// as callers have always found it. The region is cut to both views so that
// no tap address ever leaves their memory. False when nothing is left.
bool MakeSampleViews(AlignedViews* v) {
  const AreaRect maskRect = CopyRect(v->mask->bounds);
  AreaRect colourRect = CopyRect(v->colour->bounds);
  CentreIn(&colourRect, maskRect);
  AreaRect region;
  Intersect(&region, v->region, maskRect);
  const AreaRect inMask = region;
  Intersect(&region, inMask, colourRect);
  if (region.area == 0) return false;
  v->region = CopyRect(region);

  MakeSubView(&v->maskSub, v->mask, v->region);
  v->maskSub.clip = v->mask->bounds;
  v->colour->bounds = colourRect;
  MakeSubView(&v->colourSub, v->colour, v->region);
  MoveToOrigin(&v->colour->bounds);
  return true;
}

// The walk over `area` (its first pixel) of the sprite placed at `placed`.
WalkFrame FrameOf(const AreaRect& placed, const AreaRect& area, const AlignedViews& v) {
  const AreaRect mask = CopyRect(v.mask->bounds);
  return {mask.width,      mask.height,    v.region.left - mask.left, v.region.top - mask.top,
          area.left - placed.left, area.top - placed.top};
}

void StoreMappingVectors(Rotate& r, const MappingVectors& m) {
  r.colStepX = m.colStepX;
  r.colStepY = m.colStepY;
  r.rowStepX = m.rowStepX;
  r.rowStepY = m.rowStepY;
}

// This frame's turn: steps the animation, then the angle, the mapping
// vectors (kept for script functions), the mask centred in the destination
// and the box the turn can draw into. The sprite and the box are placed in
// the destination's own coordinates (its corner at 0, 0), where a sprite
// near the ends of the plane still has room; `origin` moves them back.
struct FrameTurn {
  MappingVectors steps;
  AreaRect placed;
  AreaRect box;
  Shift origin;
};

FrameTurn TurnForFrame(Rotate& r, const AreaRect& destination, const AreaRect& maskBounds) {
  RotateStepFrame(r, destination);
  const std::int32_t u = InverseAngleIndex(CurrentAngle(r));
  const MappingVectors steps = ComputeMappingVectors(u, r.flip != 0, TablesOf(r));
  StoreMappingVectors(r, steps);
  AreaRect placed = CopyRect(maskBounds);
  CentreIn(&placed, MakeRect(0, 0, destination.width, destination.height));
  const AreaRect box = FromRecord(RotatedBounds(u, ToRecord(placed), TablesOf(r)));
  return {steps, placed, box, Shift{destination.left, destination.top}};
}

// Whether a host view's layout holds its bounds and its memory can be had.
// Sub-views trust their parent's layout, so the parents are checked first.
bool Walkable(PixelView* view) {
  ViewWalk w;
  return OpenWalk(view, view->bounds, &w);
}

// Loop inputs over the views; false when a view cannot be walked.
bool PrepareJob(PixelView* destination, const AreaRect& area, AlignedViews& v,
                ColourTable* colours, ThresholdRecord* thresholds, RotateLoopJob* job) {
  ViewWalk w;
  if (!OpenWalk(destination, area, &job->destination)) return false;
  if (!OpenWalk(&v.maskSub, v.maskSub.bounds, &w)) return false;
  job->mask = WindowOf(w);
  job->maskWidth = w.width;
  job->maskRows = w.height;
  if (!OpenWalk(&v.colourSub, v.colourSub.bounds, &w)) return false;
  job->colour = WindowOf(w);
  ReadPalette(colours, &job->palette);
  job->thresholds = ReadThresholds(thresholds);
  return true;
}

}  // namespace

void ClipSourceRect(const PixelView& colour, const PixelView& destination, AreaRect* s,
                    std::int32_t align) {
  if (align == 0) return;
  *s = CopyRect(*s);
  CentreIn(s, CopyRect(destination.bounds));
  const AreaRect s0 = *s;
  Intersect(s, s0, colour.clip);
  Subtract(s, s0.left, s0.top);
}

void FreeSourceCopy(SourceCopySlot slot, HostAllocator* fallback) {
  PixelView* copy = *slot.copy;
  if (copy == nullptr) return;
  HostAllocator* allocator = *slot.madeBy != nullptr ? *slot.madeBy : fallback;
  if (copy->base != nullptr) allocator->ops->Free(allocator, copy->base);
  allocator->ops->Free(allocator, copy);
  *slot.copy = nullptr;
  *slot.madeBy = nullptr;
}

Status CopySourcePixels(SourceCopySlot slot, PixelView* source, const AreaRect& region,
                        HostAllocator* allocator) {
  // A copy holds one layout: a source of other bounds or another pixel size
  // gets a new one (rows of the old would not hold its pixels).
  if (*slot.copy != nullptr && (!Equals((*slot.copy)->bounds, source->bounds) ||
                                (*slot.copy)->bytesPerPixel != source->bytesPerPixel))
    FreeSourceCopy(slot, allocator);
  if (*slot.copy == nullptr) {
    auto* view = static_cast<PixelView*>(allocator->ops->Alloc(allocator, sizeof(PixelView)));
    if (view == nullptr) return kOutOfMemory;
    const AreaRect& b = source->bounds;
    InitPixelView(view, b.left, b.top, b.right, b.bottom, b.tag);
    SetDepth(view, source->bytesPerPixel * 8);
    view->clip = source->clip;
    *slot.copy = view;
    *slot.madeBy = allocator;
  }
  PixelView* copy = *slot.copy;
  if (copy->base == nullptr) {
    // Also retried when an earlier render got the view but not its pixels.
    const std::int64_t bytes =
        static_cast<std::int64_t>(copy->bounds.height) * static_cast<std::int64_t>(copy->rowLength);
    // An empty source has nothing to copy: the copy keeps no pixels and
    // draws nothing. One larger than any block is as good as refused.
    if (bytes <= 0) return kOk;
    if (bytes > std::numeric_limits<std::uint32_t>::max()) return kOutOfMemory;
    void* pixels = (*slot.madeBy)->ops->Alloc(*slot.madeBy, static_cast<std::uint32_t>(bytes));
    if (pixels == nullptr) return kOutOfMemory;
    // Pixels outside the copied region are never sampled; zero keeps them defined.
    std::memset(pixels, 0, static_cast<std::size_t>(bytes));
    SetBase(copy, static_cast<std::uint8_t*>(pixels));
  }
  ViewWalk from, to;
  AreaRect inside;
  Intersect(&inside, region, CopyRect(source->bounds));
  if (inside.area == 0 || !OpenWalk(source, inside, &from) || !OpenWalk(copy, inside, &to))
    return kOk;
  const std::size_t rowBytes = static_cast<std::size_t>(from.width) * from.step;
  for (std::int32_t y = 0; y < from.height; ++y) std::memcpy(to.Row(y), from.Row(y), rowBytes);
  return kOk;
}

Status Rotate::Render(Rotate& r, PixelView* dst, PixelView* src, AreaRect* update,
                      PixelView* mask, const std::uint16_t*, ColourTable* colours,
                      std::int32_t blend, std::int32_t draw, std::int32_t align, std::int32_t,
                      ThresholdRecord* thresholds) {
  if (dst == nullptr || src == nullptr || mask == nullptr || update == nullptr) return kOk;
  r.maskRect = ToRecord(mask->bounds);
  r.destRect = ToRecord(dst->bounds);
  const bool sourceUsable = Walkable(src) && Walkable(mask);

  TemporaryView colourTemp(r.header.allocator), maskTemp(r.header.allocator);
  AlignedViews v;
  if (Status s = AlignColourAndMask(src, mask, colourTemp, maskTemp, &v); s != kOk) return s;

  v.region = CopyRect(v.mask->bounds);
  ClipSourceRect(*v.colour, *dst, &v.region, align);
  if (v.region.area == 0) return kOk;
  if (align == 2 && sourceUsable) {
    const SourceCopySlot slot{&r.sourceCopy, &r.sourceCopyAllocator};
    const Status s =
        CopySourcePixels(slot, v.colour, v.region, CopyAllocator(thresholds, r.header.allocator));
    if (s != kOk) return s;
    v.colour = r.sourceCopy;
  }
  if (!MakeSampleViews(&v)) return kOk;

  const AreaRect destination = CopyRect(dst->bounds);
  const FrameTurn turn = TurnForFrame(r, destination, v.mask->bounds);
  const AreaRect& box = turn.box;

  bool drawing = draw != 0;
  if (Contains(MakeRect(0, 0, destination.width, destination.height), box)) {
    const AreaRect given = *update;
    Intersect(update, given, Moved(box, turn.origin));
    if (update->area == 0) drawing = false;
  }
  if (AreaRect* out = OutputRect(thresholds, kThresholdOutRectWord)) {
    out->left = 0;
    out->top = 0;
    out->right = box.width;
    out->bottom = box.height;
  }
  if (!drawing) return kOk;

  // The update is drawn only where it lies on the destination.
  AreaRect area;
  Intersect(&area, *update, destination);
  if (area.area == 0) return kOk;
  area = CopyRect(area);

  RotateLoopJob job;
  job.steps = turn.steps;
  job.blend = blend;
  const bool interpolate = ShouldRedraw(r.anim.finished, r.interpolation, r.interpolateNowPending);
  job.start = SampleStart(FrameOf(turn.placed, Moved(area, -turn.origin), v), turn.steps,
                          interpolate);
  if (!sourceUsable || !PrepareJob(dst, area, v, colours, thresholds, &job)) return kOk;
  RunRotateLoop(v.colourSub, *dst, interpolate, job);
  return kOk;
}

Status Rotate::RenderWithAlpha(Rotate& r, PixelView* dstColour, PixelView* dstAlpha,
                               PixelView* srcColour, PixelView* srcMask, AreaRect* update,
                               const std::uint16_t*, ColourTable* colours, std::int32_t,
                               std::int32_t draw, std::int32_t align,
                               ThresholdRecord* thresholds) {
  if (dstColour == nullptr || dstAlpha == nullptr || srcColour == nullptr ||
      srcMask == nullptr || update == nullptr)
    return kOk;
  const bool sourceUsable = Walkable(srcColour) && Walkable(srcMask);
  TemporaryView colourTemp(r.header.allocator), maskTemp(r.header.allocator);
  AlignedViews v;
  if (Status s = AlignColourAndMask(srcColour, srcMask, colourTemp, maskTemp, &v); s != kOk)
    return s;
  // No private copy here: flag 2 clips like flag 1.
  v.region = CopyRect(v.mask->bounds);
  ClipSourceRect(*v.colour, *dstColour, &v.region, align);
  if (v.region.area == 0) return kOk;
  if (!MakeSampleViews(&v)) return kOk;

  const AreaRect destination = CopyRect(dstColour->bounds);
  const FrameTurn turn = TurnForFrame(r, destination, v.mask->bounds);
  const AreaRect box = Moved(turn.box, turn.origin);
  const auto report = [&box](AreaRect* out) {
    if (out == nullptr) return;
    out->left = box.left;
    out->top = box.top;
    out->right = box.right;
    SetBottom(out, box.bottom);
  };
  report(OutputRect(thresholds, kThresholdOutRectWord));

  if (draw != 0) {
    // The alpha view is centred on the colour view; the update reaches it
    // shifted by that placement, and is drawn only where both views are.
    const AreaRect alphaBounds = CopyRect(dstAlpha->bounds);
    const Shift alphaShift = CentringShift(alphaBounds, destination);
    AreaRect onColour;
    Intersect(&onColour, *update, destination);
    AreaRect area = ClipToPlaced(onColour, alphaBounds, alphaShift);
    Subtract(update, destination.left, destination.top);
    if (area.area != 0) {
      area = CopyRect(area);
      const AreaRect alphaArea = CopyRect(Moved(area, -alphaShift));

      RotateLoopJob job;
      job.steps = turn.steps;
      const bool interpolate =
          ShouldRedraw(r.anim.finished, r.interpolation, r.interpolateNowPending);
      job.start = SampleStart(FrameOf(turn.placed, Moved(area, -turn.origin), v), turn.steps,
                              interpolate);
      if (sourceUsable && PrepareJob(dstColour, area, v, colours, thresholds, &job) &&
          OpenWalk(dstAlpha, alphaArea, &job.alpha))
        RunRotateAlphaLoop(v.colourSub, *dstColour, interpolate, job);
    }
  }
  report(OutputRect(thresholds, kThresholdOutRect2Word));
  return kOk;
}

Status Rotate::GetAlphaAt(Rotate& r, PixelView* alpha, std::int32_t vertical,
                          std::int32_t horizontal, std::int32_t* outValue,
                          SpriteDescription* sprite) {
  AreaRect placed;
  if (!PlaceHitTest(alpha, sprite, outValue, &placed)) return kOk;
  const std::int32_t u = InverseAngleIndex(CurrentAngle(r));
  const MaskPosition at = MapHitToMask(horizontal, vertical, ToRecord(placed),
                                       ComputeMappingVectors(u, r.flip != 0, TablesOf(r)));
  *outValue = MaskByteAt(alpha, at);
  return kOk;
}

}  // namespace vx
