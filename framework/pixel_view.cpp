#include "framework/pixel_view.h"

#include <limits>

#include "framework/saturating.h"

namespace vx {
namespace {

const PixelViewOps kModuleViewOps = {&TopRowAddress, &BaseAddress};

// Row lengths of views the module lays out; an absurd size saturates and
// OpenWalk then refuses the view.
std::int32_t PaddedRowLength(std::int32_t width, std::int32_t bytesPerPixel) {
  const std::int64_t bytes = static_cast<std::int64_t>(width) * bytesPerPixel;
  return SaturateToInt32((bytes + 3) & ~std::int64_t{3});
}

// The layout fields of a view whose rows take `rowBytes` of `rowLength`.
void SetRowLayout(PixelView* view, std::int64_t rowBytes, std::int32_t rowLength,
                  std::int32_t rowStep) {
  view->rowLength = rowLength;
  view->rowStep = rowStep;
  view->rowPadding = SaturateToInt32(rowLength - rowBytes);
  view->rowSkip = SaturateToInt32(rowStep - rowBytes);
}

bool Ordered(const AreaRect& r) { return r.left <= r.right && r.top <= r.bottom; }

}  // namespace

const PixelViewOps* ModuleViewOps() { return &kModuleViewOps; }

std::uint8_t* VX_CALL TopRowAddress(PixelView* view, std::int32_t* status) {
  if (!view->base) {
    if (status) *status = kViewNoMemory;
    return nullptr;
  }
  if (status) *status = kOk;
  // A view without rows has no top row; its base is the only safe answer.
  if (view->bounds.height <= 0) return view->base;
  return view->base + static_cast<std::ptrdiff_t>(view->bounds.height - 1) * view->rowLength;
}

std::uint8_t* VX_CALL BaseAddress(PixelView* view, std::int32_t* status) {
  if (status) *status = view->base ? kOk : kViewNoMemory;
  return view->base;
}

void InitPixelView(PixelView* view, std::int32_t left, std::int32_t top, std::int32_t right,
                   std::int32_t bottom, std::int32_t tag) {
  *view = PixelView{};
  view->ops = &kModuleViewOps;
  view->bounds = MakeRect(left, top, right, bottom, tag);
  view->clip = view->bounds;
  view->depth = 32;
  view->bytesPerPixel = 4;
  const std::int32_t rowLength = PaddedRowLength(view->bounds.width, 4);
  SetRowLayout(view, std::int64_t{view->bounds.width} * 4, rowLength, -rowLength);
  view->base = nullptr;
}

void SetDepth(PixelView* view, std::int32_t bits) {
  const std::int32_t bpp = bits / 8;
  view->bytesPerPixel = bpp;
  const std::int32_t rowLength = PaddedRowLength(view->bounds.width, bpp);
  SetRowLayout(view, std::int64_t{view->bounds.width} * bpp, rowLength, -rowLength);
  view->depth = bits;
}

void MakeSubView(PixelView* sub, PixelView* parent, const AreaRect& rect) {
  *sub = PixelView{};
  sub->ops = &kModuleViewOps;
  sub->bounds = CopyRect(rect);
  if (!parent) return;
  // The parent's layout fields are the host's: the derived ones are worked
  // out in 64 bits and saturate.
  const std::int32_t bpp = parent->bytesPerPixel;
  sub->bytesPerPixel = bpp;
  sub->depth = parent->depth;
  SetRowLayout(sub, std::int64_t{sub->bounds.width} * bpp, parent->rowLength, parent->rowStep);
  sub->clip = parent->clip;
  // Memory only from a parent a loop could walk over the rectangle: one
  // whose layout does not hold its rows, or that the rectangle leaves,
  // would hand out memory it does not have.
  ViewWalk walk;
  if (!Ordered(rect) || !OpenWalk(parent, rect, &walk)) return;
  const std::int64_t offset =
      (std::int64_t{parent->bounds.bottom} - rect.bottom) * parent->rowLength +
      (std::int64_t{rect.left} - parent->bounds.left) * bpp;
  sub->base = walk.memBegin + offset;
}

std::int32_t ClipToSprite(const PixelView* mask, const PixelView* destination, AreaRect* update,
                          AreaRect* maskRect, Shift* maskShift) {
  if (!mask || !destination || !update || !maskRect) return 0;
  const AreaRect& d = destination->bounds;
  const Shift s{std::int64_t{d.width >> 1} - (maskRect->width >> 1) + d.left,
                std::int64_t{d.height >> 1} - (maskRect->height >> 1) + d.top};
  if (maskShift) *maskShift = s;
  const AreaRect u = *update;
  Intersect(update, u, d);
  // Cut in 64 bits: the centred mask may reach past the ends of the plane
  // where the destination does not.
  *update = ClipToPlaced(*update, *maskRect, s);
  const AreaRect unmoved = *maskRect;
  *maskRect = Moved(unmoved, s);
  if (update->area == 0) return 0;
  return Equals(Moved(*update, -s), unmoved) ? 1 : 2;
}

bool OpenWalk(PixelView* view, const AreaRect& rect, ViewWalk* out, std::int32_t minBytes,
              std::int32_t maxBytes) {
  *out = ViewWalk{};
  if (!view || !view->ops || !view->ops->BaseAddress) return false;
  const AreaRect& b = view->bounds;
  const std::int64_t boundsWidth = static_cast<std::int64_t>(b.right) - b.left;
  const std::int64_t boundsHeight = static_cast<std::int64_t>(b.bottom) - b.top;
  if (boundsWidth < 0 || boundsHeight < 0 || boundsWidth > kMaxSide || boundsHeight > kMaxSide)
    return false;
  const std::int32_t bpp = view->bytesPerPixel;
  if (bpp < 1 || bpp < minBytes || bpp > maxBytes) return false;
  const std::int64_t rowLength = view->rowLength;
  if (rowLength < boundsWidth * bpp || view->rowStep != -view->rowLength) return false;
  if (rowLength * boundsHeight > std::numeric_limits<std::int32_t>::max()) return false;
  if (!Ordered(rect) || !Contains(b, rect)) return false;

  std::int32_t status = 0;
  std::uint8_t* base = view->ops->BaseAddress(view, &status);
  if (status != 0 || !base) return false;

  out->step = bpp;
  out->rowStep = -static_cast<std::ptrdiff_t>(rowLength);
  out->width = rect.right - rect.left;
  out->height = rect.bottom - rect.top;
  out->memBegin = base;
  out->memEnd = base + rowLength * boundsHeight;
  out->top = base;
  if (out->width > 0 && out->height > 0) {
    const std::int64_t topRow = static_cast<std::int64_t>(b.bottom) - rect.top - 1;
    out->top = base + topRow * rowLength + static_cast<std::int64_t>(rect.left - b.left) * bpp;
  }
  return true;
}

bool PointInCentredView(const PixelView& view, const SpriteDescription* sprite,
                        std::int32_t vertical, std::int32_t horizontal, std::int64_t* x,
                        std::int64_t* y) {
  if (sprite == nullptr) return false;
  const auto* spriteRect = reinterpret_cast<const AreaRect*>(sprite->words[kSpriteRectWord]);
  if (spriteRect == nullptr) return false;
  AreaRect placed = CopyRect(view.bounds);
  CentreIn(&placed, CopyRect(*spriteRect));
  *x = static_cast<std::int64_t>(horizontal) - placed.left;
  *y = static_cast<std::int64_t>(vertical) - placed.top;
  return true;
}

std::int32_t ViewByteAt(PixelView* view, std::int64_t x, std::int64_t y) {
  ViewWalk walk;
  if (view == nullptr || !OpenWalk(view, view->bounds, &walk)) return 0;
  if (x < 0 || y < 0 || x >= walk.width || y >= walk.height) return 0;
  return *walk.At(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
}

}  // namespace vx

namespace vx {

bool PrepareRenderArea(PixelView* destination, PixelView* source, PixelView* mask,
                       AreaRect* update, RenderArea* out) {
  *out = RenderArea{};
  if (!destination || !source || !mask || !update) return false;
  out->maskRect = CopyRect(mask->bounds);
  Shift maskShift;
  out->clip = ClipToSprite(mask, destination, update, &out->maskRect, &maskShift);
  out->update = *update;
  if (out->clip == 0) return false;

  out->maskArea = Moved(out->update, -maskShift);
  const AreaRect maskBounds = CopyRect(mask->bounds);
  out->sourceShift = maskShift + CentringShift(CopyRect(source->bounds), maskBounds);
  out->sourceArea = Moved(out->update, -out->sourceShift);
  return OpenWalk(destination, out->update, &out->destination) &&
         OpenWalk(mask, out->maskArea, &out->mask) &&
         OpenWalk(source, out->sourceArea, &out->source);
}

}  // namespace vx
