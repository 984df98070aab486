// Glissade's images as the module sees them: pixel views over buffers the
// test owns, bottom row first, rows padded to 4 bytes, with guard bytes on
// both sides of the pixel memory so that any stray write shows.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "vornix/abi.h"

namespace vx::glissade {

// A rectangle as Glissade builds one for its images and update areas:
// the edges, their sizes and area, the origin at the top-left, tag 0.
AreaRect HostRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

enum class ImageKind {
  kIndexed8,    // depth 8, 1 byte: palette index (also used for masks)
  kRgb555,      // depth 16, 2 bytes
  kRgb24,       // depth 24, 3 bytes
  kRgb32,       // depth 32, 4 bytes
  kExpanded8,   // depth 8, 3 or 4 bytes: blue, green, red, index
  kExpanded16,  // depth 16, 3 or 4 bytes: 5-bit blue, green, red
};

const char* KindName(ImageKind kind);

class Image {
 public:
  // Bounds (left, top, right, bottom); `expandedBytes` (3 or 4) is the pixel
  // size of the expanded kinds.
  Image(ImageKind kind, std::int32_t left, std::int32_t top, std::int32_t right,
        std::int32_t bottom, std::int32_t expandedBytes = 4);
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  PixelView* View() { return &view_; }
  const PixelView& view() const { return view_; }
  ImageKind Kind() const { return kind_; }
  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  std::int32_t BytesPerPixel() const { return view_.bytesPerPixel; }
  std::int32_t RowLength() const { return view_.rowLength; }

  // The pixel at (x, y) in the view's coordinates.
  std::uint8_t* Pixel(std::int32_t x, std::int32_t y);
  const std::uint8_t* Pixel(std::int32_t x, std::int32_t y) const;
  std::uint8_t* Base() { return storage_.data() + kGuardBytes; }
  std::size_t MemoryBytes() const { return memoryBytes_; }
  // A copy of the pixel memory (padding included).
  std::vector<std::uint8_t> Memory() const;
  // Overwrites the pixel memory with `bytes` (as Memory() returned them).
  void Assign(const std::vector<std::uint8_t>& bytes);

  // Random bytes over the whole pixel memory, padding included.
  void FillRandom(std::mt19937& rng);
  void Fill(std::uint8_t byte);
  // True while no byte around the pixel memory has changed.
  bool GuardsIntact() const;
  // The view then reports no memory (status -306, null address).
  void DropMemory() { view_.base = nullptr; }

  static constexpr std::size_t kGuardBytes = 64;
  static constexpr std::uint8_t kGuardByte = 0xA5;

 private:
  ImageKind kind_;
  std::int32_t width_, height_;
  std::size_t memoryBytes_;
  std::vector<std::uint8_t> storage_;
  PixelView view_;
};

}  // namespace vx::glissade
