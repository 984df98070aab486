// Rotate's two render operations up to the pixel loop, the private copy of
// the source and the hit test. Source clipping and the private copy are
// shared with the other geometric effects.
#pragma once

#include <cstdint>

#include "framework/pixel_view.h"
#include "vornix/abi.h"

namespace vx {

// With a non-zero align flag the source region `s` (a copy of the mask's
// rectangle) is centred in the destination, cut to the colour view's clip
// rectangle and brought back to the mask's own coordinates. Flag 0 leaves
// it alone.
void ClipSourceRect(const PixelView& colour, const PixelView& destination, AreaRect* s,
                    std::int32_t align);

// A private copy of a source, kept by an effect between renders.
struct SourceCopySlot {
  PixelView** copy;              // the effect's copy, null until needed
  HostAllocator** madeBy;        // the allocator that owns the copy's blocks
};

// Refreshes `region` of the private copy from `source`, (re)making the copy
// when it is missing or `source`'s rectangle moved. 0x80040002 when the
// allocator fails (a view whose pixels failed stays, without pixels).
Status CopySourcePixels(SourceCopySlot slot, PixelView* source, const AreaRect& region,
                        HostAllocator* allocator);

// Frees the copy's pixels and view through the allocator that made them.
void FreeSourceCopy(SourceCopySlot slot, HostAllocator* fallback);

}  // namespace vx
