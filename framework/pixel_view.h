// Pixel views: rectangles of pixels in memory, bottom row first, rows padded
// to 4 bytes. Glissade's image objects share this layout; views the module
// builds itself (sub-views, views of its own buffers) carry the module's
// address operations. A view never owns its pixel memory.
//
// What a pixel loop trusts: nothing but the checks of OpenWalk. A host view
// is taken to own `bounds height x rowLength` bytes from its base, bottom row
// first; OpenWalk rejects views whose sizes are negative or absurd, whose
// row length cannot hold a row, or whose base cannot be obtained, and
// rectangles that leave the view. Loops walk only what OpenWalk returns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/area_rect.h"
#include "vornix/abi.h"

namespace vx {

// Glissade's image objects have this layout: a table pointer, then 32-bit
// fields with the two rectangles in between, then the memory pointer.
static_assert(offsetof(PixelView, bounds) == sizeof(void*));
static_assert(offsetof(PixelView, bytesPerPixel) == sizeof(void*) + 40);
static_assert(offsetof(PixelView, rowStep) == sizeof(void*) + 56);
static_assert(offsetof(PixelView, clip) == sizeof(void*) + 60);
static_assert(offsetof(PixelView, depth) == sizeof(void*) + 100);
static_assert(offsetof(PixelView, base) == sizeof(void*) + 104);

// The module's own address operations.
const PixelViewOps* ModuleViewOps();
std::uint8_t* VX_CALL TopRowAddress(PixelView* view, std::int32_t* status);
std::uint8_t* VX_CALL BaseAddress(PixelView* view, std::int32_t* status);

// A 32-bit view over (left, top, right, bottom) with no memory yet.
void InitPixelView(PixelView* view, std::int32_t left, std::int32_t top, std::int32_t right,
                   std::int32_t bottom, std::int32_t tag = 0);
// Bytes per pixel = bits / 8; rows padded to 4 bytes.
void SetDepth(PixelView* view, std::int32_t bits);
inline void SetBase(PixelView* view, std::uint8_t* base) { view->base = base; }
// The view lets go of its memory (it never owned it).
inline void DestroyView(PixelView* view) { view->base = nullptr; }

// A view over `rect` (in the parent's coordinates) sharing the parent's
// memory; its base is null when the parent's base cannot be obtained.
void MakeSubView(PixelView* sub, PixelView* parent, const AreaRect& rect);

// Clips `update` to the destination and to the mask rectangle centred on
// it; `maskRect` (a copy of the mask's bounds) is moved to that centre, and
// `maskShift`, when given, is the move (empty when the moved rectangle
// leaves the plane; the clip is still made in 64 bits).
// 0: nothing to draw; 1: the update covers the whole mask rectangle; 2: part.
std::int32_t ClipToSprite(const PixelView* mask, const PixelView* destination, AreaRect* update,
                          AreaRect* maskRect, Shift* maskShift = nullptr);

// ---------------------------------------------------------------------------
// Walking a view.

// Largest bytes per pixel a loop accepts, and the largest side of a view.
inline constexpr std::int32_t kMaxBytesPerPixel = 16;
inline constexpr std::int32_t kMaxSide = 1 << 20;

// Checked access to the pixels of a rectangle of a view.
struct ViewWalk {
  std::uint8_t* top = nullptr;  // first pixel of the rectangle's top row
  std::int32_t step = 0;        // bytes per pixel
  std::ptrdiff_t rowStep = 0;   // from a row to the row below it (negative)
  std::int32_t width = 0, height = 0;
  // The whole view's memory, [memBegin, memEnd), for loops that address
  // pixels outside the rectangle (samplers) and test the address first.
  std::uint8_t* memBegin = nullptr;
  std::uint8_t* memEnd = nullptr;

  std::uint8_t* Row(std::int32_t y) const { return top + rowStep * y; }
  std::uint8_t* At(std::int32_t x, std::int32_t y) const {
    return top + rowStep * y + static_cast<std::ptrdiff_t>(step) * x;
  }
};

// Describes `rect` (in the view's coordinates) of `view` for a loop that
// handles `minBytes`..`maxBytes` bytes per pixel. False, with `out` empty,
// when the view is unusable or the rectangle is not inside its bounds.
bool OpenWalk(PixelView* view, const AreaRect& rect, ViewWalk* out, std::int32_t minBytes = 1,
              std::int32_t maxBytes = kMaxBytesPerPixel);

inline bool SameShape(const ViewWalk& a, const ViewWalk& b) {
  return a.width == b.width && a.height == b.height;
}

// Hit tests: the stage point (horizontal, vertical) counted from the
// top-left corner of `view`'s bounds centred in the sprite's rectangle
// (the sprite description's word 14). False without a sprite rectangle.
bool PointInCentredView(const PixelView& view, const SpriteDescription* sprite,
                        std::int32_t vertical, std::int32_t horizontal, std::int64_t* x,
                        std::int64_t* y);
// The first byte of pixel (x, y), counted from the view's top-left pixel;
// 0 outside the view or when its memory cannot be walked.
std::int32_t ViewByteAt(PixelView* view, std::int64_t x, std::int64_t y);

}  // namespace vx

namespace vx {

// The views of one render over its clipped update rectangle.
struct RenderArea {
  std::int32_t clip = 0;   // ClipToSprite's result
  AreaRect update{};       // clipped, in destination coordinates
  AreaRect maskRect{};     // the mask's bounds centred on the destination
  AreaRect maskArea{};     // the update in the mask view's coordinates
  Shift sourceShift{};     // moves the source's bounds to where it lies on the destination
  AreaRect sourceArea{};   // the update in the source view's coordinates
  ViewWalk destination, mask, source;
};

// Clips `update` in place as a render does (ClipToSprite) and opens walks
// over it in the destination, the mask and the source (the source centred
// on the mask). False when nothing is to be drawn: clip result 0, a view
// that fails OpenWalk (destination 1-16 bytes per pixel, mask and source as
// given), or a source too small to cover the update.
bool PrepareRenderArea(PixelView* destination, PixelView* source, PixelView* mask,
                       AreaRect* update, RenderArea* out);

}  // namespace vx
