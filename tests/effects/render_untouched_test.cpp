// When an effect's drawing operations must leave every pixel alone: an
// update that misses the sprite, views without memory, and the
// colour-plus-alpha form on effects that keep the sprite's alpha. Every
// buffer carries guard bytes, and the bytes inside are compared whole,
// padding included.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "effect_table.h"
#include "host/core/host.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "host/glissade/palette.h"

namespace vx::host {
namespace {

using glissade::Image;
using glissade::ImageKind;

struct Named {
  const Guid* classId;
  const char* name;
};

const Named kAllEffects[] = {
    {&kRotateClassId, "rotate"}, {&kRgbClassId, "rgb"},         {&kMosaicClassId, "mosaic"},
    {&kSwirlClassId, "swirl"},   {&kMagnifyClassId, "magnify"}, {&kLineSkipClassId, "lineskip"},
    {&kHsbClassId, "hsb"},       {&kPointelClassId, "pointel"}, {&kSnowClassId, "snow"},
};

// The effects that keep the sprite's alpha: their RenderWithAlpha does
// nothing at all.
const Named kKeepAlpha[] = {
    {&kRgbClassId, "rgb"}, {&kMosaicClassId, "mosaic"}, {&kMagnifyClassId, "magnify"},
    {&kSnowClassId, "snow"}, {&kHsbClassId, "hsb"},
};

const ImageKind kStageKinds[] = {ImageKind::kIndexed8, ImageKind::kRgb555,
                                 ImageKind::kRgb24,    ImageKind::kRgb32,
                                 ImageKind::kExpanded8, ImageKind::kExpanded16};

// A 23 x 17 stage with an 11 x 9 sprite (mask and source) centred on it;
// random bytes everywhere so that any write shows.
class Scene {
 public:
  Scene(ImageKind kind, std::mt19937& rng, HostAllocator* allocator,
        glissade::PaletteTable& palette)
      : destination_(kind, 0, 0, 23, 17),
        source_(kind, 0, 0, 11, 9),
        mask_(ImageKind::kIndexed8, 0, 0, 11, 9),
        alpha_(ImageKind::kIndexed8, 0, 0, 23, 17),
        palette_(palette),
        thresholds_(glissade::MakeThresholdRecord(200, 10)) {
    destination_.FillRandom(rng);
    source_.FillRandom(rng);
    alpha_.FillRandom(rng);
    mask_.FillRandom(rng);
    // Opaque, partial and transparent stretches, so every path has work.
    for (int x = 0; x < 11; ++x) {
      *mask_.Pixel(x, 0) = 255;
      *mask_.Pixel(x, 8) = 0;
    }
    runs_ = glissade::MakeMaskRuns(mask_);
    thresholds_.words[kThresholdAllocatorWord] = reinterpret_cast<Word>(allocator);
    before_ = Snapshot();
  }

  Image& destination() { return destination_; }
  Image& source() { return source_; }
  Image& mask() { return mask_; }
  Image& alpha() { return alpha_; }

  Status Render(EffectInterface* e, AreaRect update, std::int32_t blend, std::int32_t align,
                std::int32_t hardMask) {
    return e->ops->Render(e, destination_.View(), source_.View(), &update, mask_.View(),
                          runs_.data(), palette_.Record(), blend, 1, align, hardMask,
                          &thresholds_);
  }

  Status RenderWithAlpha(EffectInterface* e, AreaRect update, std::int32_t blend,
                         std::int32_t align) {
    return e->ops->RenderWithAlpha(e, destination_.View(), alpha_.View(), source_.View(),
                                   mask_.View(), &update, runs_.data(), palette_.Record(), blend,
                                   1, align, &thresholds_);
  }

  // Every buffer as it was when the scene was made, guards intact.
  void ExpectUntouched() const {
    EXPECT_TRUE(Snapshot() == before_) << "pixels changed";
    for (const Image* image : {&destination_, &source_, &mask_, &alpha_})
      EXPECT_TRUE(image->GuardsIntact()) << "write outside a view";
  }

 private:
  std::vector<std::vector<std::uint8_t>> Snapshot() const {
    return {destination_.Memory(), source_.Memory(), mask_.Memory(), alpha_.Memory()};
  }

  Image destination_, source_, mask_, alpha_;
  glissade::PaletteTable& palette_;
  ThresholdRecord thresholds_;
  std::vector<std::uint16_t> runs_;
  std::vector<std::vector<std::uint8_t>> before_;
};

AreaRect Rect(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  AreaRect a{};
  a.left = l, a.top = t, a.right = r, a.bottom = b;
  a.width = r - l, a.height = b - t, a.area = a.width * a.height;
  a.originX = l, a.originY = t;
  return a;
}

class RenderUntouched : public ::testing::Test {
 protected:
  using Live = LiveEffect;
  Live Open(const Guid& classId) { return OpenEffect(host_, classId); }

  // One palette for every scene: its inverse table is costly to build.
  static void SetUpTestSuite() {
    std::mt19937 rng(7);
    palette_ = std::make_unique<glissade::PaletteTable>(glissade::PaletteTable::Random(rng));
  }
  static void TearDownTestSuite() { palette_.reset(); }

  static inline std::unique_ptr<glissade::PaletteTable> palette_;
  Host host_{VX_MODULE_PATH};
  std::mt19937 rng_{20261207};
};

// The sprite covers (6, 4)-(17, 13) of the stage; these updates miss it or
// have no area at all.
const AreaRect kMisses[] = {Rect(0, 0, 6, 17), Rect(17, 0, 23, 17), Rect(0, 13, 23, 17),
                            Rect(8, 6, 8, 12), Rect(30, 30, 40, 40), Rect(12, 9, 4, 2)};

TEST_F(RenderUntouched, UpdateMissingTheSpriteDrawsNothing) {
  for (const Named& effect : kAllEffects) {
    for (ImageKind kind : kStageKinds) {
      for (const AreaRect& update : kMisses) {
        SCOPED_TRACE(::testing::Message()
                     << effect.name << " " << glissade::KindName(kind) << " update "
                     << update.left << "," << update.top << "," << update.right << ","
                     << update.bottom);
        Live live = Open(*effect.classId);
        ASSERT_TRUE(live.effect);
        Scene scene(kind, rng_, host_.allocator().Interface(), *palette_);
        for (std::int32_t align : {0, 1}) {
          EXPECT_EQ(scene.Render(live.effect.get(), update, 255, align, 0), kOk);
          EXPECT_EQ(scene.Render(live.effect.get(), update, 128, align, 0), kOk);
        }
        scene.ExpectUntouched();
      }
    }
  }
}

TEST_F(RenderUntouched, ViewsWithoutMemoryDrawNothing) {
  const AreaRect whole = Rect(0, 0, 23, 17);
  for (const Named& effect : kAllEffects) {
    for (ImageKind kind : kStageKinds) {
      for (int dropped = 0; dropped < 2; ++dropped) {
        SCOPED_TRACE(::testing::Message() << effect.name << " " << glissade::KindName(kind)
                                          << (dropped == 0 ? " source" : " mask")
                                          << " without memory");
        Live live = Open(*effect.classId);
        ASSERT_TRUE(live.effect);
        Scene scene(kind, rng_, host_.allocator().Interface(), *palette_);
        (dropped == 0 ? scene.source() : scene.mask()).DropMemory();
        EXPECT_EQ(scene.Render(live.effect.get(), whole, 255, 0, 0), kOk);
        EXPECT_EQ(scene.Render(live.effect.get(), whole, 100, 1, 0), kOk);
        scene.ExpectUntouched();
      }
    }
  }
}

TEST_F(RenderUntouched, EffectsThatKeepTheAlphaIgnoreTheAlphaForm) {
  const AreaRect whole = Rect(0, 0, 23, 17);
  for (const Named& effect : kKeepAlpha) {
    for (ImageKind kind : {ImageKind::kRgb24, ImageKind::kRgb32, ImageKind::kExpanded8}) {
      SCOPED_TRACE(::testing::Message() << effect.name << " " << glissade::KindName(kind));
      Live live = Open(*effect.classId);
      ASSERT_TRUE(live.effect);
      Scene scene(kind, rng_, host_.allocator().Interface(), *palette_);
      EXPECT_EQ(scene.RenderWithAlpha(live.effect.get(), whole, 255, 0), kOk);
      EXPECT_EQ(scene.RenderWithAlpha(live.effect.get(), whole, 64, 2), kOk);
      scene.ExpectUntouched();
    }
  }
}

}  // namespace
}  // namespace vx::host
