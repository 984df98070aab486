#include "framework/pixel_formats.h"

namespace vx {

PixelFormat PixelFormatOf(const PixelView& view) {
  const std::int32_t depth = view.depth;
  if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return PixelFormat::kNone;
  switch (view.bytesPerPixel) {
    case 1:
      return depth == 8 ? PixelFormat::kIndexed8 : PixelFormat::kNone;
    case 2:
      return depth == 16 ? PixelFormat::kRgb555 : PixelFormat::kNone;
    case 3:
      return PixelFormat::kBgr3;
    case 4:
      return PixelFormat::kBgr4;
    default:
      return view.bytesPerPixel > 4 && view.bytesPerPixel <= kMaxBytesPerPixel
                 ? PixelFormat::kBgrWide
                 : PixelFormat::kNone;
  }
}

SourceFormat SourceFormatOf(const PixelView& view) {
  SourceFormat f;
  f.storage = PixelFormatOf(view);
  if (IsExpanded(f.storage)) {
    if (view.depth == 16)
      f.channels = Channels::kFive;
    else if (view.depth == 8 && view.bytesPerPixel >= 4)
      f.channels = Channels::kEightIndexed;
  }
  return f;
}

}  // namespace vx
