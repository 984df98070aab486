// Shared helpers of the rotate tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "effects/geometric/rotate_angles.h"
#include "framework/pixel_view.h"
#include "vornix/abi.h"

namespace vx::testing_support {

// A host rectangle from edges in (left, top, right, bottom) order.
inline RectRecord Rect(std::int32_t left, std::int32_t top, std::int32_t right,
                       std::int32_t bottom) {
  RectRecord r;
  r.top = top;
  r.left = left;
  r.bottom = bottom;
  r.right = right;
  return r;
}

// Angle tables as an instance holds them.
struct Tables {
  Tables() { BuildAngleTables(sine, cosine); }
  AngleTablesRef Ref() const { return {sine, cosine}; }
  AngleTable sine{};
  AngleTable cosine{};
};

// An image in Glissade's layout (bottom row first, rows padded to 4 bytes)
// with guard bytes on both sides of its memory. `bytesPerPixel` above the
// depth's own makes an expanded view that keeps the depth code.
class TestImage {
 public:
  static constexpr std::size_t kGuard = 64;
  static constexpr std::uint8_t kGuardByte = 0xA5;

  TestImage(std::int32_t width, std::int32_t height, std::int32_t depth,
            std::int32_t bytesPerPixel = 0, std::uint8_t fill = 0) {
    InitPixelView(&view, 0, 0, width, height);
    SetDepth(&view, bytesPerPixel > 0 ? bytesPerPixel * 8 : depth);
    view.depth = depth;
    memory_.assign(kGuard * 2 + static_cast<std::size_t>(view.rowLength) * height, kGuardByte);
    std::fill(memory_.begin() + kGuard, memory_.end() - kGuard, fill);
    SetBase(&view, memory_.data() + kGuard);
  }
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;

  // Pixel (x, y), y counted from the top.
  std::uint8_t* At(std::int32_t x, std::int32_t y) {
    return view.base + static_cast<std::ptrdiff_t>(view.bounds.height - 1 - y) * view.rowLength +
           static_cast<std::ptrdiff_t>(x) * view.bytesPerPixel;
  }
  bool GuardsIntact() const {
    const auto guard = [](std::uint8_t b) { return b == kGuardByte; };
    return std::all_of(memory_.begin(), memory_.begin() + kGuard, guard) &&
           std::all_of(memory_.end() - kGuard, memory_.end(), guard);
  }

  PixelView view{};

 private:
  std::vector<std::uint8_t> memory_;
};

}  // namespace vx::testing_support
