#include "host/glissade/image.h"

#include <algorithm>
#include <cstdlib>

namespace vx::glissade {
namespace {

std::uint8_t* VX_CALL ViewTopRow(PixelView* self, std::int32_t* status) {
  if (!self->base) {
    *status = kViewNoMemory;
    return nullptr;
  }
  *status = kOk;
  const std::int32_t rows = self->bounds.bottom - self->bounds.top;
  return self->base + static_cast<std::ptrdiff_t>(std::max(rows - 1, 0)) * self->rowLength;
}

std::uint8_t* VX_CALL ViewBase(PixelView* self, std::int32_t* status) {
  *status = self->base ? kOk : kViewNoMemory;
  return self->base;
}

const PixelViewOps kGlissadeViewOps = {&ViewTopRow, &ViewBase};

}  // namespace

AreaRect HostRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  AreaRect a{};
  a.left = left;
  a.top = top;
  a.right = right;
  a.bottom = bottom;
  // Sizes as the edges give them (negative when they cross), kept to the low
  // 32 bits rather than overflowing.
  a.width = static_cast<std::int32_t>(std::int64_t{right} - left);
  a.height = static_cast<std::int32_t>(std::int64_t{bottom} - top);
  a.area = static_cast<std::int32_t>(std::int64_t{a.width} * a.height);
  a.originX = left;
  a.originY = top;
  return a;
}

const char* KindName(ImageKind kind) {
  switch (kind) {
    case ImageKind::kIndexed8: return "indexed8";
    case ImageKind::kRgb555: return "rgb555";
    case ImageKind::kRgb24: return "rgb24";
    case ImageKind::kRgb32: return "rgb32";
    case ImageKind::kExpanded8: return "expanded8";
    case ImageKind::kExpanded16: return "expanded16";
  }
  return "?";
}

Image::Image(ImageKind kind, std::int32_t left, std::int32_t top, std::int32_t right,
             std::int32_t bottom, std::int32_t expandedBytes)
    : kind_(kind), width_(right - left), height_(bottom - top), view_{} {
  if (width_ < 0 || height_ < 0 || (expandedBytes != 3 && expandedBytes != 4)) std::abort();
  std::int32_t depth = 8, bytes = 1;
  switch (kind) {
    case ImageKind::kIndexed8: depth = 8; bytes = 1; break;
    case ImageKind::kRgb555: depth = 16; bytes = 2; break;
    case ImageKind::kRgb24: depth = 24; bytes = 3; break;
    case ImageKind::kRgb32: depth = 32; bytes = 4; break;
    case ImageKind::kExpanded8: depth = 8; bytes = expandedBytes; break;
    case ImageKind::kExpanded16: depth = 16; bytes = expandedBytes; break;
  }
  const std::int32_t rowBytes = width_ * bytes;
  const std::int32_t rowLength = (rowBytes + 3) & ~3;
  memoryBytes_ = static_cast<std::size_t>(rowLength) * static_cast<std::size_t>(height_);
  storage_.assign(memoryBytes_ + 2 * kGuardBytes, kGuardByte);
  std::fill(storage_.begin() + kGuardBytes, storage_.end() - kGuardBytes, std::uint8_t{0});

  view_.ops = &kGlissadeViewOps;
  view_.bounds = HostRect(left, top, right, bottom);
  view_.clip = view_.bounds;
  view_.bytesPerPixel = bytes;
  view_.rowLength = rowLength;
  view_.rowPadding = rowLength - rowBytes;
  view_.rowStep = -rowLength;
  view_.rowSkip = -rowLength - rowBytes;
  view_.depth = depth;
  view_.base = Base();
}

std::uint8_t* Image::Pixel(std::int32_t x, std::int32_t y) {
  const std::int32_t row = view_.bounds.bottom - 1 - y;
  return Base() + static_cast<std::ptrdiff_t>(row) * view_.rowLength +
         static_cast<std::ptrdiff_t>(x - view_.bounds.left) * view_.bytesPerPixel;
}

const std::uint8_t* Image::Pixel(std::int32_t x, std::int32_t y) const {
  return const_cast<Image*>(this)->Pixel(x, y);
}

std::vector<std::uint8_t> Image::Memory() const {
  const auto* begin = storage_.data() + kGuardBytes;
  return std::vector<std::uint8_t>(begin, begin + memoryBytes_);
}

void Image::Assign(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() != memoryBytes_) std::abort();
  std::copy(bytes.begin(), bytes.end(), storage_.begin() + kGuardBytes);
}

void Image::FillRandom(std::mt19937& rng) {
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::size_t i = 0; i < memoryBytes_; ++i)
    storage_[kGuardBytes + i] = static_cast<std::uint8_t>(byte(rng));
}

void Image::Fill(std::uint8_t value) {
  std::fill(storage_.begin() + kGuardBytes, storage_.end() - kGuardBytes, value);
}

bool Image::GuardsIntact() const {
  for (std::size_t i = 0; i < kGuardBytes; ++i) {
    if (storage_[i] != kGuardByte) return false;
    if (storage_[storage_.size() - 1 - i] != kGuardByte) return false;
  }
  return true;
}

}  // namespace vx::glissade
