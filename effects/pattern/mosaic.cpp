#include "effects/pattern/mosaic.h"

#include <algorithm>
#include <limits>

#include "effects/pattern/mosaic_tiles.h"
#include "framework/properties.h"
#include "framework/saturating.h"

namespace vx {
namespace {

enum PropertyIndex {
  kAnimModeRow,
  kInterpolationRow,
  kNumFramesRow,
  kXResolutionRow,
  kYResolutionRow,
  kStartXResRow,
  kStartYResRow,
  kEndXResRow,
  kEndYResRow,
  kChangeColorRow,
};

std::int32_t AtLeastOne(std::int64_t v) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(v, 1, std::numeric_limits<std::int32_t>::max()));
}

// The animation engine's view of one tile side: no easing, every frame of
// the pass linear.
AnimatedValue Side(std::int32_t start, float speed) { return AnimatedValue{start, speed, 0, 0}; }
EaseFrames Linear(const AnimState& s) { return EaseFrames{0, 0, s.frameCount}; }

// The value shown at `frame`, kept within 32 bits.
std::int64_t Shown(std::int32_t start, float speed, const AnimState& s) {
  return static_cast<std::int64_t>(start) + OffsetAt(Side(start, speed), Linear(s), s.frame);
}

HostAllocator* AllocatorOf(Mosaic& m) { return m.header.allocator; }

// The tile-colour row holds at least `count` entries afterwards, or none
// (false) when the host allocator fails.
bool EnsureTileRow(Mosaic& m, std::int32_t count) {
  if (count <= 0 || (count <= m.tileCapacity && m.tileColours != nullptr)) return true;
  HostAllocator* allocator = AllocatorOf(m);
  if (m.tileColours != nullptr) allocator->ops->Free(allocator, m.tileColours);
  m.tileColours = nullptr;
  m.tileCapacity = 0;
  const auto bytes = static_cast<std::uint64_t>(count) * sizeof(Bgrx);
  if (bytes > std::numeric_limits<std::uint32_t>::max()) return false;
  void* block = allocator->ops->Alloc(allocator, static_cast<std::uint32_t>(bytes));
  if (block == nullptr) return false;
  m.tileColours = static_cast<Bgrx*>(block);
  m.tileCapacity = count;
  return true;
}

template <class Fmt>
using TileSource = mosaic::TileColours<Fmt>;

}  // namespace

void Mosaic::SetDefaults(Mosaic& m) {
  m.widthSpeed = 0;
  m.heightSpeed = 0;
  m.tileWidth = 1;
  m.tileHeight = 1;
  m.changeColour = 0;
  m.sampleIndex = 0;
  m.sampleColumn = 0;
  m.sampleRow = 0;
  m.startWidth = 1;
  m.startHeight = 1;
  m.tileColours = nullptr;
  m.tileCapacity = 0;
}

void Mosaic::FreeBuffers(Mosaic& m) {
  if (m.tileColours != nullptr) {
    HostAllocator* allocator = AllocatorOf(m);
    allocator->ops->Free(allocator, m.tileColours);
  }
  m.tileColours = nullptr;
  m.tileCapacity = 0;
}

Status Mosaic::Reset(Mosaic& m, Services*, std::int32_t* outA, std::int32_t* outB) {
  // The work buffer outlives a reset; only the values go back.
  Bgrx* row = m.tileColours;
  const std::int32_t capacity = m.tileCapacity;
  RestoreCreateState(m);
  m.tileColours = row;
  m.tileCapacity = capacity;
  *outA = 1;
  *outB = 1;
  return kOk;
}

void Mosaic::ApplyProperties(Mosaic& m, const HostValue* list, Services* services,
                             std::int32_t* restarted) {
  const PropertyDesc* table = m.propertyTable;
  auto read = [&](int row) { return GetIntProperty(list, table[row].keySymbol, services); };
  const std::int32_t mode = GetAnimMode(list, table, services);
  const std::int32_t frames = read(kNumFramesRow);
  std::int32_t endWidth = read(kXResolutionRow);
  if (endWidth == kAbsent) endWidth = read(kEndXResRow);
  std::int32_t endHeight = read(kYResolutionRow);
  if (endHeight == kAbsent) endHeight = read(kEndYResRow);
  const std::int32_t startWidth = read(kStartXResRow);
  const std::int32_t startHeight = read(kStartYResRow);
  const std::int32_t flag = read(kChangeColorRow);

  if (flag != kAbsent) m.changeColour = flag;
  if (mode == kAbsent && frames == kAbsent && endWidth == kAbsent && endHeight == kAbsent &&
      startWidth == kAbsent && startHeight == kAbsent)
    return;
  const std::int32_t newMode = mode == kAbsent ? m.anim.mode : mode;

  if (newMode == kModeStatic) {
    // What is on screen now stays unless the list names a size.
    m.startWidth = endWidth != kAbsent ? endWidth : m.tileWidth;
    m.startHeight = endHeight != kAbsent ? endHeight : m.tileHeight;
    m.widthSpeed = m.heightSpeed = 0;
    m.tileWidth = AtLeastOne(m.startWidth);
    m.tileHeight = AtLeastOne(m.startHeight);
    EnterStatic(&m.anim, restarted);
    return;
  }
  if (!IsAnimatedMode(newMode)) return;

  AnimatedValue width = Side(m.startWidth, m.widthSpeed);
  AnimatedValue height = Side(m.startHeight, m.heightSpeed);
  EaseFrames ease = Linear(m.anim);
  if (m.anim.finished) *restarted = 1;
  std::int32_t toWidth = DefaultEnd(&width, ease, m.anim);
  std::int32_t toHeight = DefaultEnd(&height, ease, m.anim);
  if (frames != kAbsent) m.anim.frameCount = frames;
  if (startWidth != kAbsent) width.start = startWidth;
  if (startHeight != kAbsent) height.start = startHeight;
  if (endWidth != kAbsent) toWidth = endWidth;
  if (endHeight != kAbsent) toHeight = endHeight;
  // No frame count below one: a count left at the pending mark (-1) or a
  // negative one would run the animation backwards in a single frame.
  m.anim.frameCount = std::max(m.anim.frameCount, 1);
  ease = EaseFrames{};
  PlanTo(&width, &ease, m.anim.frameCount, toWidth);
  ease = EaseFrames{};
  PlanTo(&height, &ease, m.anim.frameCount, toHeight);
  m.startWidth = width.start;
  m.startHeight = height.start;
  m.widthSpeed = width.speed;
  m.heightSpeed = height.speed;
  EnterRunning(&m.anim, newMode);
}

void ComputeMosaicFrame(Mosaic& m) {
  m.tileWidth = AtLeastOne(Shown(m.startWidth, m.widthSpeed, m.anim));
  m.tileHeight = AtLeastOne(Shown(m.startHeight, m.heightSpeed, m.anim));
  const std::int64_t area = static_cast<std::int64_t>(m.tileWidth) * m.tileHeight;
  std::int64_t index = m.sampleIndex < 0 ? 0 : m.sampleIndex;
  if (m.anim.finished == 0 && m.changeColour != 0) ++index;
  index %= area;
  // The offsets always stay inside the tile, also when the size changed
  // while the animation was held.
  m.sampleIndex = static_cast<std::int32_t>(index);
  m.sampleRow = static_cast<std::int32_t>(index / m.tileWidth);
  m.sampleColumn = static_cast<std::int32_t>(index % m.tileWidth);
}

void AlignToTiles(const Mosaic& m, const PixelView& destination, const PixelView& mask,
                  AreaRect* update) {
  const AreaRect maskBounds = CopyRect(mask.bounds);
  AreaRect maskRect = maskBounds, ignored = *update;
  Shift placed;
  ClipToSprite(&mask, &destination, &ignored, &maskRect, &placed);
  const std::int64_t cx = maskBounds.left + placed.x + (maskBounds.width >> 1);
  const std::int64_t cy = maskBounds.top + placed.y + (maskBounds.height >> 1);
  const AreaRect& clip = destination.clip;
  const std::int64_t tw = m.tileWidth, th = m.tileHeight;
  auto up = [](std::int64_t edge, std::int64_t centre, std::int64_t size) {
    return edge + mosaic::FloorMod(centre - edge, size);
  };
  auto down = [](std::int64_t edge, std::int64_t centre, std::int64_t size) {
    return edge - mosaic::FloorMod(edge - centre, size);
  };
  std::int64_t left = up(clip.left, cx, tw), top = up(clip.top, cy, th);
  std::int64_t right = down(clip.right, cx, tw), bottom = down(clip.bottom, cy, th);
  // Fewer than one whole tile: nothing is left.
  if (right < left) right = left;
  if (bottom < top) bottom = top;
  const AreaRect whole = MakeRect(SaturateToInt32(left), SaturateToInt32(top), SaturateToInt32(right), SaturateToInt32(bottom));
  const AreaRect given = *update;
  Intersect(update, given, whole);
}

Status Mosaic::Render(Mosaic& m, PixelView* dst, PixelView* src, AreaRect* update,
                      PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                      std::int32_t blend, std::int32_t, std::int32_t align, std::int32_t hardMask,
                      ThresholdRecord* thresholds) {
  StepFrame(&m.anim);
  ComputeMosaicFrame(m);
  if (!dst || !src || !mask || !update) return kOk;
  if (align != 0) AlignToTiles(m, *dst, *mask, update);

  RenderArea area;
  if (!PrepareRenderArea(dst, src, mask, update, &area)) return kOk;
  mosaic::TileFill fill;
  if (!OpenWalk(src, src->bounds, &fill.image)) return kOk;

  const PixelFormat format = DestinationFormat(*dst);
  const mosaic::FillChoice fillRow = mosaic::SelectFill(*src, *dst);
  if (format == PixelFormat::kNone || fillRow.fill == nullptr) return kOk;
  const bool havePalette = ReadPalette(colours, &fill.palette);
  if (fillRow.usesPalette && !havePalette) return kOk;

  fill.layout = mosaic::MakeTileLayout(
      m.tileWidth, m.tileHeight, m.sampleColumn, m.sampleRow, fill.image.width,
      fill.image.height, area.sourceArea.left - src->bounds.left,
      area.sourceArea.top - src->bounds.top, area.destination.width);
  if (!EnsureTileRow(m, fill.layout.tileCount)) return kOk;

  CompositeJob job;
  job.destination = area.destination;
  job.mask = area.mask;
  job.path = ChoosePath(area.clip, maskRuns, hardMask);
  job.blend = blend;
  job.thresholds = ReadThresholds(thresholds);
  job.runs = maskRuns;
  job.palette = fill.palette;
  CompositeInFormat<TileSource>(format, job, fill, fillRow.fill, m.tileColours);
  return kOk;
}

}  // namespace vx
