#include "effects/colour/colour_pass.h"

#include <algorithm>

namespace vx {
namespace {

// The destination format a source calls for on the threshold and run paths.
bool DestinationMatches(ColourSource source, PixelFormat destination) {
  switch (source) {
    case ColourSource::kBytes:
      return IsExpanded(destination);
    case ColourSource::kFiveBytes:
    case ColourSource::kPixel555:
      return destination == PixelFormat::kRgb555;
    case ColourSource::kIndexBytes:
    case ColourSource::kIndex:
      return destination == PixelFormat::kIndexed8;
    case ColourSource::kNone:
      break;
  }
  return false;
}

// The reader of a source the pass accepted: expanded storage by pixel size
// whatever the depth, 5-bit channels for an expanded 16-bit stage.
SourceFormat ReaderOf(ColourSource source, std::int32_t bytesPerPixel) {
  SourceFormat f;
  switch (source) {
    case ColourSource::kPixel555:
      f.storage = PixelFormat::kRgb555;
      break;
    case ColourSource::kIndex:
      f.storage = PixelFormat::kIndexed8;
      break;
    case ColourSource::kNone:
      break;
    default:
      f.storage = bytesPerPixel == 3   ? PixelFormat::kBgr3
                  : bytesPerPixel == 4 ? PixelFormat::kBgr4
                                       : PixelFormat::kBgrWide;
      f.channels = source == ColourSource::kFiveBytes ? Channels::kFive : Channels::kEight;
      break;
  }
  return f;
}

}  // namespace

ColourSource ColourSourceOf(const PixelView& source, CompositePath path) {
  const std::int32_t bpp = source.bytesPerPixel;
  const bool expanded = bpp >= 3;
  if (path == CompositePath::kHardMask) {
    // Expanded bytes are taken as 8-bit values whatever the depth.
    if (expanded) return ColourSource::kBytes;
    if (source.depth == 16) return bpp == 2 ? ColourSource::kPixel555 : ColourSource::kNone;
    return bpp == 1 ? ColourSource::kIndex : ColourSource::kNone;
  }
  switch (source.depth) {
    case 24:
    case 32:
      return expanded ? ColourSource::kBytes : ColourSource::kNone;
    case 16:
      if (expanded) return ColourSource::kFiveBytes;
      return bpp == 2 ? ColourSource::kPixel555 : ColourSource::kNone;
    case 8:
      if (expanded) return ColourSource::kIndexBytes;
      return bpp == 1 ? ColourSource::kIndex : ColourSource::kNone;
    default:
      return ColourSource::kNone;
  }
}

ColourPassReady PlanColourPass(const ColourPassCall& call, ColourPassPlan* plan) {
  *plan = ColourPassPlan{};
  RenderArea& area = plan->area;
  if (!PrepareRenderArea(call.destination, call.source, call.mask, call.update, &area))
    return area.clip == 0 ? ColourPassReady::kNothingVisible : ColourPassReady::kNotDrawable;

  CompositeJob& job = plan->job;
  job.path = ChoosePath(area.clip, call.runs, call.hardMask);
  plan->source = ColourSourceOf(*call.source, job.path);
  plan->sourceFormat = ReaderOf(plan->source, call.source->bytesPerPixel);
  plan->destination = PixelFormatOf(*call.destination);
  if (plan->source == ColourSource::kNone) return ColourPassReady::kNotDrawable;
  const bool destinationFits = job.path == CompositePath::kHardMask
                                   ? IsExpanded(plan->destination)
                                   : DestinationMatches(plan->source, plan->destination);
  if (!destinationFits || !SameShape(area.source, area.destination))
    return ColourPassReady::kNotDrawable;

  const bool havePalette = ReadPalette(call.colours, &job.palette);
  const bool needsPalette = plan->source == ColourSource::kIndex ||
                            plan->destination == PixelFormat::kIndexed8;
  if (needsPalette && !havePalette) return ColourPassReady::kNotDrawable;

  job.destination = area.destination;
  job.mask = area.mask;
  job.blend = call.blend;
  job.thresholds = ReadThresholds(call.thresholds);
  job.runs = call.runs;
  return ColourPassReady::kReady;
}

ViewWalk WalkRows(const ViewWalk& walk, std::int32_t first, std::int32_t count) {
  ViewWalk rows = walk;
  rows.top = walk.Row(first);
  rows.height = count;
  return rows;
}

ColourPassPlan PlanRows(const ColourPassPlan& plan, std::int32_t first, std::int32_t count) {
  ColourPassPlan rows = plan;
  const std::int32_t height = plan.job.destination.height;
  first = std::clamp(first, 0, height);
  count = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(count, 0, static_cast<std::int64_t>(height) - first));
  rows.area.destination = WalkRows(plan.area.destination, first, count);
  rows.area.mask = WalkRows(plan.area.mask, first, count);
  rows.area.source = WalkRows(plan.area.source, first, count);
  rows.job.destination = rows.area.destination;
  rows.job.mask = rows.area.mask;
  // The runs cover the whole mask, whose rows are the update's.
  if (rows.job.runs)
    for (std::int32_t y = 0; y < first; ++y) rows.job.runs = SkipRunRow(rows.job.runs);
  return rows;
}

}  // namespace vx
