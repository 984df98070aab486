// The speck map and the noise layers that wander over it, shared by snow and
// Pointel.
//
// A layer is a read position on the 320 x 200 map that follows the pixels
// being drawn, displaced by up to 80 columns and 40 rows by two phases that
// move at the layer's own random rates. Per render every layer is placed
// once (LocateLayer); after that its sample at pixel (x, y) of the clipped
// rectangle is map[(row + y) mod 200][(column + x) mod 320], so pixels the
// effect skips move the layers as surely as pixels it draws.
#pragma once

#include <cstdint>

#include "framework/animation.h"
#include "framework/area_rect.h"
#include "framework/pixel_formats.h"
#include "framework/pixel_view.h"
#include "vornix/abi.h"

namespace vx {

inline constexpr std::int32_t kMapColumns = 320;
inline constexpr std::int32_t kMapRows = 200;
inline constexpr std::int32_t kMapBytes = kMapColumns * kMapRows;
inline constexpr char kPlasmaMapType[] = "PLASMAMAP";
inline constexpr std::int32_t kPlasmaMapId = 110;

// The platform C runtime's generator: state x 214013 + 2531011, result bits
// 16-30. One state per thread, starting at 1 and never reseeded, shared by
// every noise effect on the thread.
std::int32_t NextNoiseRandom();

// Noise state of one effect instance. Plain data: the host's memory is the
// object.
struct NoiseLayers {
  std::int32_t cosineTable[256];
  PixelView* plasmaMap;  // owned; its memory is a host block of kMapBytes
  float phaseStep;       // speed / 7
  std::int32_t layerCount;
  // Per layer: the map row (times 320) and column under the first pixel of
  // the clipped rectangle, set by LocateLayers for each render.
  std::int32_t* layerRows;
  std::int32_t* layerColumns;
  // Horizontal phase at 2i, vertical at 2i + 1, in 1/256 of a cycle, and
  // their increase per frame at phaseStep 1.
  float* layerPhases;
  float* layerRates;
};

// entry i = trunc(cos(single(i x 6.283185308 / 256)) x 256).
void BuildCosineTable(std::int32_t* table);

// Create-time state: cosine table, speck map, phaseStep 1, no layers. The
// map is copied from the module's "PLASMAMAP" 110; a module without it (or
// with one of another size) gets an empty map. 0x80040002 when the view
// object or the host block cannot be had; everything is released then.
Status OpenNoiseLayers(NoiseLayers* n, ServiceProvider* provider, HostAllocator* allocator);
// Frees the map, its view and the layer arrays; safe after a failed open.
void CloseNoiseLayers(NoiseLayers* n, HostAllocator* allocator);

// layerCount := count, then SeedLayers and fresh walk arrays. A count the
// allocator cannot supply (or whose byte size does not fit 32 bits) leaves
// no usable layers.
void SetLayerCount(NoiseLayers* n, std::int32_t count, HostAllocator* allocator);
// The property rules both effects share: speed sets phaseStep to speed / 7
// (single precision); an intensity sets the layer count and reseeds, and
// an absent one counts as 4 while there are no layers yet.
void ApplySpeed(NoiseLayers* n, std::int32_t speed);
void ApplyIntensity(NoiseLayers* n, std::int32_t intensity, HostAllocator* allocator);
// New phases and rates for the current layerCount: 2n phase draws (rand()
// mod 256), then 2n rate draws (rand() / 16383 + 0.711).
void SeedLayers(NoiseLayers* n, HostAllocator* allocator);
// The number of layers every array is there for; 0 when any is missing.
std::int32_t UsableLayers(const NoiseLayers& n);

// One frame of phase movement: phase += rate x phaseStep.
void AdvancePhases(NoiseLayers* n);

struct LayerCell {
  std::int32_t row, column;
};
// Starting cell of layer i for the first pixel of a clipped source view
// whose bounds' top-left corner is (left, top) and whose clip rectangle is
// `clip`. Any position, however far from the map, lands on a valid cell.
LayerCell LocateLayer(const NoiseLayers& n, const AreaRect& clip, std::int64_t left,
                      std::int64_t top, std::int32_t i);
// LocateLayer for every usable layer, into the walk arrays.
void LocateLayers(NoiseLayers* n, const AreaRect& clip, std::int64_t left, std::int64_t top);
// The same for the source walk of a render: the first pixel of the update
// in the source's own coordinates, the source's clip rectangle.
void LocateLayersForRender(NoiseLayers* n, const PixelView& source, const RenderArea& area);

// A drawn frame of a running effect: the phases move once and the frame
// counts on (wrapping, never finishing); a stopped effect stays put.
void AdvanceNoiseFrame(NoiseLayers* n, AnimState* anim);

// The sums of the map bytes under all layers along the rows of a clipped
// rectangle `width` pixels wide, after LocateLayers. Pixels are asked for
// left to right within a row; they are counted a chunk at a time, all
// layers at once, eight cells to a machine word (the map holds only 0 and
// 255, so a sum is 255 times the number of specks).
class LayerSums {
 public:
  LayerSums(const NoiseLayers& n, std::int32_t width);
  void BeginRow(std::int32_t y);
  // Sum at pixel x of the current row, with 32-bit wrap-around.
  VX_PIXEL_INLINE std::int32_t At(std::int32_t x) {
    if (x < chunkBegin_ || x >= chunkEnd_) Fill(x);
    const std::int32_t i = x - chunkBegin_;
    const std::uint32_t specks = count_ <= kBatch ? counts_[i] : wide_[i];
    return static_cast<std::int32_t>(specks * 255u);
  }
  bool Empty() const { return count_ == 0; }

 private:
  static constexpr std::int32_t kChunk = 256;
  // Layers counted per pass in byte-wide counters.
  static constexpr std::int32_t kBatch = 255;
  void Fill(std::int32_t x);
  void CountBatch(std::int32_t first, std::int32_t last, std::int32_t x, std::int32_t length);

  const std::uint8_t* map_;
  const std::int32_t* rows_;
  const std::int32_t* columns_;
  std::int32_t count_;
  std::int32_t width_;
  std::int32_t rowInMap_ = 0;  // y mod 200, times 320
  std::int32_t chunkBegin_ = 0, chunkEnd_ = 0;
  alignas(8) std::uint8_t counts_[kChunk];
  std::uint32_t wide_[kChunk];  // more layers than one batch
};

// The hooks snow and Pointel share, for an effect type with a `noise`
// field: the map taken at create and everything released on destroy; four
// fresh layers after Reset.
template <class Effect>
struct NoiseEffectHooks {
  static Status AcquireResources(Effect& e) {
    return OpenNoiseLayers(&e.noise, e.header.provider, e.header.allocator);
  }
  static void FreeBuffers(Effect& e) { CloseNoiseLayers(&e.noise, e.header.allocator); }
  static void AfterReset(Effect& e) { SetLayerCount(&e.noise, 4, e.header.allocator); }
};

}  // namespace vx
