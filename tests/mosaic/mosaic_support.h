// Mosaic driven as Glissade drives it (through the effect interface of a
// module loaded by path), and the expected picture worked out from the tile
// rules one pixel at a time.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/core/host.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "host/glissade/palette.h"
#include "host/glissade/reference.h"

namespace vx::mosaic_test {

using glissade::Image;
using glissade::ImageKind;
using Entries = std::vector<std::pair<std::string, HostValue>>;

inline AreaRect Rect(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  AreaRect a{};
  a.left = l;
  a.top = t;
  a.right = r;
  a.bottom = b;
  a.width = r > l ? r - l : l - r;
  a.height = b > t ? b - t : t - b;
  a.area = a.width * a.height;
  a.originX = l;
  a.originY = t;
  return a;
}

inline bool IsExpandedKind(ImageKind k) {
  return k != ImageKind::kIndexed8 && k != ImageKind::kRgb555;
}

// A fresh image of the same kind, bounds and pixel size holding the same bytes.
inline std::unique_ptr<Image> CopyOf(const Image& image) {
  const AreaRect& b = image.view().bounds;
  auto copy = std::make_unique<Image>(image.Kind(), b.left, b.top, b.right, b.bottom,
                                      IsExpandedKind(image.Kind()) && image.BytesPerPixel() == 3
                                          ? 3
                                          : 4);
  copy->Assign(image.Memory());
  return copy;
}

// Random pixels that are valid for the kind (five-bit components in expanded
// 16-bit images).
inline void FillValid(Image& image, std::mt19937& rng) {
  image.FillRandom(rng);
  if (image.Kind() != ImageKind::kExpanded16) return;
  const AreaRect& b = image.view().bounds;
  for (std::int32_t y = b.top; y < b.bottom; ++y)
    for (std::int32_t x = b.left; x < b.right; ++x)
      for (int c = 0; c < 3; ++c) image.Pixel(x, y)[c] &= 31;
}

// What the tile of a sample pixel looks like in the destination's units,
// worked out from the sample's own format.
glissade::ReferenceColour TileColourOf(const Image& source, std::int32_t column, std::int32_t row,
                                       ImageKind destination, const glissade::PaletteTable* palette);

// One call of Render with everything it takes.
struct RenderCall {
  Image* destination = nullptr;
  Image* source = nullptr;
  Image* mask = nullptr;
  AreaRect update{};
  const std::vector<std::uint16_t>* runs = nullptr;
  glissade::PaletteTable* palette = nullptr;
  std::int32_t blend = 255;
  std::int32_t align = 0;
  std::int32_t hardMask = 0;
  std::int32_t upper = 255, lower = 0;
};

// The tile size and sample offsets a frame draws with.
struct TileSetting {
  std::int32_t width = 1, height = 1;
  std::int32_t column = 0, row = 0;  // sample offsets inside a tile
};

// The destination as it must look after `call`, drawn by the rules into a
// copy of the destination; `update` receives the rectangle drawn (empty when
// nothing is drawn).
std::unique_ptr<Image> ExpectedPicture(const RenderCall& call, const TileSetting& tiles,
                                       AreaRect* update);

class MosaicEffect : public ::testing::Test {
 protected:
  void SetUp() override {
    instance_ = host_.Create(kMosaicClassId);
    ASSERT_TRUE(instance_);
    fx_ = instance_->Effect();
    ASSERT_TRUE(fx_);
  }

  host::Values& values() { return host_.values(); }
  HostValue Int(std::int32_t v) { return values().Integer(v); }
  HostValue Sym(const char* s) { return values().SymbolValue(s); }

  Status Set(const Entries& entries, std::int32_t* restarted = nullptr,
             std::int32_t* changed = nullptr) {
    HostValue list = values().List(entries);
    return SetValue(list, restarted, changed);
  }
  Status SetValue(HostValue list, std::int32_t* restarted = nullptr,
                  std::int32_t* changed = nullptr) {
    std::int32_t r = 0, c = 0;
    const Status s = fx_->ops->SetProperties(fx_.get(), &list, 0, 0, &services_, &r, &c);
    if (restarted) *restarted = r;
    if (changed) *changed = c;
    return s;
  }

  Status Render(RenderCall& call) {
    ThresholdRecord thresholds = glissade::MakeThresholdRecord(call.upper, call.lower);
    return fx_->ops->Render(fx_.get(), call.destination ? call.destination->View() : nullptr,
                            call.source ? call.source->View() : nullptr, &call.update,
                            call.mask ? call.mask->View() : nullptr,
                            call.runs ? call.runs->data() : nullptr,
                            call.palette ? call.palette->Record() : nullptr, call.blend, 1,
                            call.align, call.hardMask, &thresholds);
  }

  std::int32_t NeedsRedraw(std::int32_t reason = 0) {
    std::int32_t out = -1;
    EXPECT_EQ(fx_->ops->NeedsRedraw(fx_.get(), &out, reason), kOk);
    return out;
  }

  host::Host host_{VX_MODULE_PATH};
  Services services_ = host_.MakeServices();
  std::unique_ptr<host::Instance> instance_;
  host::InterfaceRef<EffectInterface> fx_;
};

// A 32-bit source whose pixel (x, y) holds blue x, green y and red 200, so a
// drawn pixel tells which source pixel its tile sampled.
std::unique_ptr<Image> PositionSource(std::int32_t width, std::int32_t height);

// An opaque mask of the size.
std::unique_ptr<Image> OpaqueMask(std::int32_t width, std::int32_t height);

}  // namespace vx::mosaic_test
