#include "effects/noise/noise_layers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "framework/animation.h"
#include "framework/descriptions.h"
#include "framework/pixel_view.h"

namespace vx {
namespace {

thread_local std::uint32_t gRandomState = 1;

void FreeBlock(HostAllocator* allocator, void* block) {
  if (block != nullptr) allocator->ops->Free(allocator, block);
}

// A block of count x unit bytes, or null when the size does not fit 32 bits,
// the count is not positive or the allocator fails.
void* AllocArray(HostAllocator* allocator, std::int64_t count, std::int64_t unit) {
  if (count <= 0) return nullptr;
  const std::int64_t bytes = count * unit;
  if (bytes > std::numeric_limits<std::uint32_t>::max()) return nullptr;
  return allocator->ops->Alloc(allocator, static_cast<std::uint32_t>(bytes));
}

std::int64_t FloorMod(std::int64_t v, std::int64_t n) {
  const std::int64_t r = v % n;
  return r < 0 ? r + n : r;
}

// trunc(phase) mod 256 in 0..255. Phases grow without bound, far past what
// a 32-bit integer holds: the remainder is taken on the float, which is
// exact.
std::int32_t PhaseIndex(float phase) {
  if (!std::isfinite(phase)) return 0;
  const auto r = static_cast<std::int32_t>(std::fmod(phase, 256.0f));
  return r < 0 ? r + 256 : r;
}

}  // namespace

std::int32_t NextNoiseRandom() {
  gRandomState = gRandomState * 214013u + 2531011u;
  return static_cast<std::int32_t>((gRandomState >> 16) & 0x7FFF);
}

void BuildCosineTable(std::int32_t* table) {
  for (int i = 0; i < 256; ++i) {
    const auto theta = static_cast<float>(i * 6.283185308 / 256.0);
    table[i] = static_cast<std::int32_t>(std::cos(static_cast<double>(theta)) * 256.0);
  }
}

Status OpenNoiseLayers(NoiseLayers* n, ServiceProvider* provider, HostAllocator* allocator) {
  BuildCosineTable(n->cosineTable);
  n->plasmaMap = nullptr;
  n->phaseStep = 1.0f;
  n->layerCount = 0;
  n->layerRows = n->layerColumns = nullptr;
  n->layerPhases = n->layerRates = nullptr;

  auto* view = new (std::nothrow) PixelView;
  if (view == nullptr) return kOutOfMemory;
  InitPixelView(view, 0, 0, kMapColumns, kMapRows);
  SetDepth(view, 8);
  n->plasmaMap = view;

  std::uint8_t* bytes = nullptr;
  std::uint32_t size = 0;
  if (LoadResourceCopy(provider, allocator, kPlasmaMapId, kPlasmaMapType, 0, &bytes, &size) !=
      kOk) {
    CloseNoiseLayers(n, allocator);
    return kOutOfMemory;
  }
  // The loops read 64000 bytes whatever they were given: a missing map, or
  // one of another size, is replaced by an empty one.
  if (bytes != nullptr && size != static_cast<std::uint32_t>(kMapBytes)) {
    FreeBlock(allocator, bytes);
    bytes = nullptr;
  }
  if (bytes == nullptr) {
    bytes = static_cast<std::uint8_t*>(AllocArray(allocator, kMapBytes, 1));
    if (bytes == nullptr) {
      CloseNoiseLayers(n, allocator);
      return kOutOfMemory;
    }
    std::memset(bytes, 0, kMapBytes);
  }
  // The sums count specks: every cell is either empty or a whole speck.
  // Eight cells a word: bit 7 of ((b & 0x7F) + 0x7F) | b is set for any
  // non-zero b, and 1 * 0xFF fills its cell without a carry.
  static_assert(kMapBytes % 8 == 0);
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kHigh = 0x8080808080808080ull;
  for (std::int32_t i = 0; i < kMapBytes; i += 8) {
    std::uint64_t cells;
    std::memcpy(&cells, bytes + i, sizeof cells);
    cells = (((((cells & kLow7) + kLow7) | cells) & kHigh) >> 7) * 0xFF;
    std::memcpy(bytes + i, &cells, sizeof cells);
  }
  SetBase(view, bytes);
  return kOk;
}

void CloseNoiseLayers(NoiseLayers* n, HostAllocator* allocator) {
  if (n->plasmaMap != nullptr) {
    FreeBlock(allocator, n->plasmaMap->base);
    DestroyView(n->plasmaMap);
    delete n->plasmaMap;
    n->plasmaMap = nullptr;
  }
  for (void** block : {reinterpret_cast<void**>(&n->layerRows),
                       reinterpret_cast<void**>(&n->layerColumns),
                       reinterpret_cast<void**>(&n->layerPhases),
                       reinterpret_cast<void**>(&n->layerRates)}) {
    FreeBlock(allocator, *block);
    *block = nullptr;
  }
}

void SeedLayers(NoiseLayers* n, HostAllocator* allocator) {
  FreeBlock(allocator, n->layerPhases);
  FreeBlock(allocator, n->layerRates);
  // Room for 4n floats each, of which 2n are used.
  const std::int64_t count = n->layerCount;
  n->layerPhases = static_cast<float*>(AllocArray(allocator, count, 16));
  n->layerRates = static_cast<float*>(AllocArray(allocator, count, 16));
  if (n->layerPhases != nullptr)
    for (std::int64_t j = 0; j < 2 * count; ++j)
      n->layerPhases[j] = static_cast<float>(NextNoiseRandom() % 256);
  if (n->layerRates != nullptr)
    for (std::int64_t j = 0; j < 2 * count; ++j)
      n->layerRates[j] = static_cast<float>(NextNoiseRandom() / 16383 + 0.711);
}

void SetLayerCount(NoiseLayers* n, std::int32_t count, HostAllocator* allocator) {
  n->layerCount = count;
  SeedLayers(n, allocator);
  FreeBlock(allocator, n->layerRows);
  FreeBlock(allocator, n->layerColumns);
  n->layerRows = static_cast<std::int32_t*>(AllocArray(allocator, count, 4));
  n->layerColumns = static_cast<std::int32_t*>(AllocArray(allocator, count, 4));
}

void ApplySpeed(NoiseLayers* n, std::int32_t speed) {
  n->phaseStep = static_cast<float>(static_cast<float>(speed) / 7.0);
}

void ApplyIntensity(NoiseLayers* n, std::int32_t intensity, HostAllocator* allocator) {
  if (intensity == kAbsent && n->layerCount == 0) intensity = 4;
  if (intensity != kAbsent) SetLayerCount(n, intensity, allocator);
}

std::int32_t UsableLayers(const NoiseLayers& n) {
  if (n.layerCount <= 0 || !n.layerRows || !n.layerColumns || !n.layerPhases || !n.layerRates)
    return 0;
  return n.layerCount;
}

void AdvancePhases(NoiseLayers* n) {
  if (n->layerPhases == nullptr || n->layerRates == nullptr) return;
  const std::int64_t count = 2 * static_cast<std::int64_t>(n->layerCount);
  for (std::int64_t j = 0; j < count; ++j)
    n->layerPhases[j] = n->layerPhases[j] + n->layerRates[j] * n->phaseStep;
}

LayerCell LocateLayer(const NoiseLayers& n, const AreaRect& clip, std::int64_t left,
                      std::int64_t top, std::int32_t i) {
  // The map's centre cell lies on the centre of the clip rectangle.
  const std::int64_t mapLeft = static_cast<std::int64_t>(clip.left) + (clip.width >> 1) - 160;
  const std::int64_t mapTop = static_cast<std::int64_t>(clip.top) + (clip.height >> 1) - 100;
  const std::int32_t a = PhaseIndex(n.layerPhases[2 * static_cast<std::int64_t>(i)]);
  const std::int32_t b = PhaseIndex(n.layerPhases[2 * static_cast<std::int64_t>(i) + 1]);
  const std::int64_t x = left - mapLeft + ((n.cosineTable[a] * 80) >> 8);
  const std::int64_t y = top - mapTop + ((n.cosineTable[b] * 40) >> 8);
  return LayerCell{static_cast<std::int32_t>(FloorMod(y, kMapRows)),
                   static_cast<std::int32_t>(FloorMod(x, kMapColumns))};
}

void LocateLayers(NoiseLayers* n, const AreaRect& clip, std::int64_t left, std::int64_t top) {
  const std::int32_t count = UsableLayers(*n);
  for (std::int32_t i = 0; i < count; ++i) {
    const LayerCell cell = LocateLayer(*n, clip, left, top, i);
    n->layerRows[i] = cell.row * kMapColumns;
    n->layerColumns[i] = cell.column;
  }
}

void LocateLayersForRender(NoiseLayers* n, const PixelView& source, const RenderArea& area) {
  LocateLayers(n, source.clip,
               std::int64_t{area.update.left} - source.bounds.left - area.sourceShift.x,
               std::int64_t{area.update.top} - source.bounds.top - area.sourceShift.y);
}

void AdvanceNoiseFrame(NoiseLayers* n, AnimState* anim) {
  if (anim->finished != 0) return;
  AdvancePhases(n);
  anim->frame = static_cast<std::int32_t>(static_cast<std::uint32_t>(anim->frame) + 1u);
}

LayerSums::LayerSums(const NoiseLayers& n, std::int32_t width)
    : map_(n.plasmaMap != nullptr ? n.plasmaMap->base : nullptr),
      rows_(n.layerRows),
      columns_(n.layerColumns),
      count_(map_ != nullptr ? UsableLayers(n) : 0),
      width_(width) {}

void LayerSums::BeginRow(std::int32_t y) {
  rowInMap_ = (y % kMapRows) * kMapColumns;
  chunkBegin_ = chunkEnd_ = 0;
}

void LayerSums::Fill(std::int32_t x) {
  // Never more than the row needs: narrow sprites count only their width.
  const std::int32_t length = std::max(1, std::min(kChunk, width_ - x));
  chunkBegin_ = x;
  chunkEnd_ = x + length;
  if (count_ <= kBatch) {
    CountBatch(0, count_, x, length);
    return;
  }
  std::memset(wide_, 0, sizeof wide_);
  for (std::int32_t first = 0; first < count_; first += kBatch) {
    CountBatch(first, std::min(count_, first + kBatch), x, length);
    for (std::int32_t k = 0; k < length; ++k) wide_[k] += counts_[k];
  }
}

void LayerSums::CountBatch(std::int32_t first, std::int32_t last, std::int32_t x,
                           std::int32_t length) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  std::memset(counts_, 0, sizeof counts_);
  const std::int32_t shift = x % kMapColumns;
  for (std::int32_t i = first; i < last; ++i) {
    std::int32_t row = rows_[i] + rowInMap_;
    if (row >= kMapBytes) row -= kMapBytes;
    std::int32_t column = columns_[i] + shift;
    if (column >= kMapColumns) column -= kMapColumns;
    const std::uint8_t* cells = map_ + row;
    // Along the map row, wrapping from column 319 to column 0; a speck adds
    // 1 to its pixel's byte, eight pixels at a time.
    for (std::int32_t done = 0; done < length;) {
      const std::int32_t span = std::min(length - done, kMapColumns - column);
      std::uint8_t* out = counts_ + done;
      const std::uint8_t* in = cells + column;
      std::int32_t k = 0;
      for (; k + 8 <= span; k += 8) {
        std::uint64_t specks, sums;
        std::memcpy(&specks, in + k, 8);
        std::memcpy(&sums, out + k, 8);
        sums += specks & kOnes;
        std::memcpy(out + k, &sums, 8);
      }
      for (; k < span; ++k) out[k] = static_cast<std::uint8_t>(out[k] + (in[k] & 1));
      done += span;
      column = 0;
    }
  }
}

}  // namespace vx
