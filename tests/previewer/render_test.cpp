// Renders through the previewer compared with renders made by driving the
// module directly, and the program's answers to bad input.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "catalogue.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "host/glissade/palette.h"
#include "image.h"
#include "plist.h"
#include "render.h"
#include "scene.h"

namespace vx::preview {
namespace {

namespace fs = std::filesystem;
using glissade::ImageKind;

// Pixels of each stage depth written straight from the format rules.
void PutColour(glissade::Image& image, int x, int y, const std::uint8_t* rgb,
               const glissade::PaletteTable& palette) {
  std::uint8_t* p = image.Pixel(x, y);
  switch (image.Kind()) {
    case ImageKind::kIndexed8: p[0] = palette.InverseOf(rgb[0], rgb[1], rgb[2]); break;
    case ImageKind::kRgb555: {
      const unsigned v = (rgb[0] >> 3) << 10 | (rgb[1] >> 3) << 5 | (rgb[2] >> 3);
      p[0] = v & 0xFF, p[1] = static_cast<std::uint8_t>(v >> 8);
      break;
    }
    default: p[0] = rgb[2], p[1] = rgb[1], p[2] = rgb[0]; break;
  }
}

void GetColour(const glissade::Image& image, int x, int y, const glissade::PaletteTable& palette,
               std::uint8_t* rgb) {
  const std::uint8_t* p = image.Pixel(x, y);
  switch (image.Kind()) {
    case ImageKind::kIndexed8: {
      const glissade::Colour c = palette.ColourOf(p[0]);
      rgb[0] = c.r, rgb[1] = c.g, rgb[2] = c.b;
      break;
    }
    case ImageKind::kRgb555: {
      const unsigned v = p[0] | p[1] << 8;
      for (int c = 0; c < 3; ++c) {
        const unsigned five = (v >> (10 - 5 * c)) & 31;
        rgb[c] = static_cast<std::uint8_t>(five << 3 | five >> 2);
      }
      break;
    }
    case ImageKind::kExpanded16:
      for (int c = 0; c < 3; ++c) {
        const unsigned five = p[2 - c] & 31u;
        rgb[c] = static_cast<std::uint8_t>(five << 3 | five >> 2);
      }
      break;
    default: rgb[0] = p[2], rgb[1] = p[1], rgb[2] = p[0]; break;  // blue, green, red bytes
  }
}

ImageKind KindOf(int depth) {
  return depth == 8 ? ImageKind::kIndexed8 : depth == 16 ? ImageKind::kRgb555
                                         : depth == 24 ? ImageKind::kRgb24
                                                       : ImageKind::kRgb32;
}

using PropertyEntries = std::vector<std::pair<std::string, HostValue>>;

struct MosaicCase {
  int depth;
  int blend;
  bool runs = true;  // else the threshold path with the thresholds below
  int lower = 0;
  int upper = 255;
};
void PrintTo(const MosaicCase& c, std::ostream* os) {
  *os << c.depth << "-bit, blend " << c.blend;
  if (!c.runs) *os << ", thresholds " << c.lower << "," << c.upper;
}

// Mosaic as Glissade drives it, with nothing of the previewer: the sprite
// centred on the stage, its alpha as the mask, a fresh stage each frame.
std::vector<Image> RenderDirectly(const MosaicCase& c, const Image& sprite, const Image& stageImage,
                                  PropertyEntries (*props)(host::Values&),
                                  int frames) {
  host::Host host(VX_MODULE_PATH);
  Status status = kOk;
  auto instance = host.Create(kMosaicClassId, &status);
  EXPECT_EQ(status, kOk);
  if (!instance) return {};
  auto fx = instance->Effect();
  Services services = host.MakeServices();

  glissade::PaletteTable palette(StagePalette());
  glissade::Image source(KindOf(c.depth), 0, 0, sprite.width, sprite.height);
  glissade::Image mask(ImageKind::kIndexed8, 0, 0, sprite.width, sprite.height);
  for (int y = 0; y < sprite.height; ++y)
    for (int x = 0; x < sprite.width; ++x) {
      PutColour(source, x, y, sprite.At(x, y), palette);
      mask.Pixel(x, y)[0] = sprite.At(x, y)[3];
    }
  const std::vector<std::uint16_t> runs = glissade::MakeMaskRuns(mask);
  ThresholdRecord thresholds = glissade::MakeThresholdRecord(c.upper, c.lower);

  HostValue list = host.values().List(props(host.values()));
  std::int32_t restarted = 0, changed = 0;
  EXPECT_EQ(fx->ops->SetProperties(fx.get(), &list, 0, 0, &services, &restarted, &changed), kOk);

  std::vector<Image> out;
  for (int f = 0; f < frames; ++f) {
    glissade::Image stage(KindOf(c.depth), 0, 0, stageImage.width, stageImage.height);
    for (int y = 0; y < stageImage.height; ++y)
      for (int x = 0; x < stageImage.width; ++x) PutColour(stage, x, y, stageImage.At(x, y), palette);
    std::int32_t redraw = 0, still = 0;
    fx->ops->NeedsRedraw(fx.get(), &redraw, 0);
    fx->ops->IsStill(fx.get(), &still, 0);
    AreaRect update{};
    update.right = update.width = stageImage.width;
    update.bottom = update.height = stageImage.height;
    update.area = update.width * update.height;
    EXPECT_EQ(fx->ops->Render(fx.get(), stage.View(), source.View(), &update, mask.View(),
                              c.runs ? runs.data() : nullptr,
                              palette.Record(), c.blend, 1, 0, 0, &thresholds),
              kOk);
    EXPECT_TRUE(stage.GuardsIntact());
    Image frame(stageImage.width, stageImage.height);
    for (int y = 0; y < frame.height; ++y)
      for (int x = 0; x < frame.width; ++x) {
        GetColour(stage, x, y, palette, frame.At(x, y));
        frame.At(x, y)[3] = 255;
      }
    out.push_back(std::move(frame));
  }
  return out;
}

PropertyEntries AnimatedMosaic(host::Values& v) {
  return {{"animMode", v.SymbolValue("range")}, {"numFrames", v.Integer(6)},
           {"startXRes", v.Integer(1)},          {"endXRes", v.Integer(12)},
           {"startYRes", v.Integer(2)},          {"endYRes", v.Integer(9)}};
}
const char* const kAnimatedMosaic =
    "[#animMode: #range, #numFrames: 6, #startXRes: 1, #endXRes: 12, #startYRes: 2, #endYRes: 9]";

RenderReport RenderThroughPreviewer(const MosaicCase& c, const Image& sprite, const Image& stage,
                                    const char* props, int frames) {
  host::Host host(VX_MODULE_PATH);
  const auto effects = RegisteredEffects(host);
  const EffectInfo* info = FindEffect(effects, "mosaic");
  EXPECT_NE(info, nullptr);
  Effect effect(host, *info);
  RenderSettings settings;
  settings.props = ParseValue(props);
  settings.depth = c.depth;
  settings.blend = c.blend;
  settings.maskRuns = c.runs;
  settings.lowerThreshold = c.lower;
  settings.upperThreshold = c.upper;
  settings.frames = frames;
  return RenderEffect(host, effect, sprite, stage, settings);
}

class MosaicThroughPreviewer : public ::testing::TestWithParam<MosaicCase> {};

TEST_P(MosaicThroughPreviewer, MatchesTheModuleDrivenDirectly) {
  const Image sprite = MakeSampleSprite();
  const Image stage = MakeCheckerboard(sprite.width + 32, sprite.height + 32);
  const RenderReport report = RenderThroughPreviewer(GetParam(), sprite, stage, kAnimatedMosaic, 8);
  const std::vector<Image> direct = RenderDirectly(GetParam(), sprite, stage, &AnimatedMosaic, 8);
  ASSERT_EQ(report.frames.size(), 8u);
  ASSERT_EQ(direct.size(), 8u);
  for (std::size_t f = 0; f < direct.size(); ++f)
    EXPECT_TRUE(report.frames[f].rgba == direct[f].rgba) << "frame " << f + 1;
  // The tiles grow, so successive frames differ until the range ends at 6.
  EXPECT_FALSE(report.frames[0].rgba == report.frames[4].rgba);
  EXPECT_TRUE(report.frames[5].rgba == report.frames[7].rgba);
}

INSTANTIATE_TEST_SUITE_P(Depths, MosaicThroughPreviewer,
                         ::testing::Values(MosaicCase{8, 255}, MosaicCase{16, 255}, MosaicCase{24, 255},
                                           MosaicCase{32, 255}, MosaicCase{32, 128}, MosaicCase{16, 128},
                                           MosaicCase{8, 100}, MosaicCase{32, 255, false, 60, 200},
                                           MosaicCase{16, 200, false, 30, 255},
                                           MosaicCase{8, 255, false, 128, 129}),
                         [](const auto& info) {
                           std::string name = std::to_string(info.param.depth) + "bit_blend" +
                                              std::to_string(info.param.blend);
                           if (!info.param.runs)
                             name += "_thresholds" + std::to_string(info.param.lower) + "_" +
                                     std::to_string(info.param.upper);
                           return name;
                         });

// Rotate drawn with its own alpha, as Glissade does for a sprite with an
// alpha channel: colour into an expanded buffer of the stage's depth, the
// alpha into a plane of its own.
std::vector<Image> RenderRotateWithAlphaDirectly(int depth, const Image& sprite, int side, int frames) {
  host::Host host(VX_MODULE_PATH);
  Status status = kOk;
  auto instance = host.Create(kRotateClassId, &status);
  EXPECT_EQ(status, kOk);
  if (!instance) return {};
  auto fx = instance->Effect();
  Services services = host.MakeServices();

  glissade::PaletteTable palette(StagePalette());
  glissade::Image source(KindOf(depth), 0, 0, sprite.width, sprite.height);
  glissade::Image mask(ImageKind::kIndexed8, 0, 0, sprite.width, sprite.height);
  for (int y = 0; y < sprite.height; ++y)
    for (int x = 0; x < sprite.width; ++x) {
      PutColour(source, x, y, sprite.At(x, y), palette);
      mask.Pixel(x, y)[0] = sprite.At(x, y)[3];
    }
  AreaRect bounds{}, bounds2{};
  ThresholdRecord thresholds = glissade::MakeThresholdRecord(255, 0);
  thresholds.words[kThresholdAllocatorWord] = reinterpret_cast<Word>(host.allocator().Interface());
  thresholds.words[kThresholdOutRectWord] = reinterpret_cast<Word>(&bounds);
  thresholds.words[kThresholdOutRect2Word] = reinterpret_cast<Word>(&bounds2);

  HostValue list = host.values().List({{"animMode", host.values().SymbolValue("range")},
                                       {"numFrames", host.values().Integer(frames)},
                                       {"startDegrees", host.values().Integer(0)},
                                       {"endDegrees", host.values().Integer(200)}});
  std::int32_t restarted = 0, changed = 0;
  EXPECT_EQ(fx->ops->SetProperties(fx.get(), &list, 0, 0, &services, &restarted, &changed), kOk);

  const ImageKind colourKind = depth == 8 ? ImageKind::kExpanded8 : depth == 16 ? ImageKind::kExpanded16
                                                                                 : KindOf(depth);
  std::vector<Image> out;
  for (int f = 0; f < frames; ++f) {
    glissade::Image colour(colourKind, 0, 0, side, side);
    glissade::Image alpha(ImageKind::kIndexed8, 0, 0, side, side);
    AreaRect update{};
    update.right = update.width = side;
    update.bottom = update.height = side;
    update.area = side * side;
    EXPECT_EQ(fx->ops->RenderWithAlpha(fx.get(), colour.View(), alpha.View(), source.View(), mask.View(),
                                       &update, nullptr, palette.Record(), 255, 1, 0, &thresholds),
              kOk);
    EXPECT_TRUE(colour.GuardsIntact());
    EXPECT_TRUE(alpha.GuardsIntact());
    Image frame(side, side);
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) {
        frame.At(x, y)[3] = alpha.Pixel(x, y)[0];
        // Colour matters only where the sprite is; elsewhere it stays clear.
        if (frame.At(x, y)[3] != 0) GetColour(colour, x, y, palette, frame.At(x, y));
      }
    out.push_back(std::move(frame));
  }
  return out;
}

class RotateWithAlpha : public ::testing::TestWithParam<int> {};

TEST_P(RotateWithAlpha, MatchesTheModuleDrivenDirectly) {
  const int depth = GetParam(), side = 192, frames = 4;
  const Image sprite = MakeSampleSprite();
  host::Host host(VX_MODULE_PATH);
  const auto effects = RegisteredEffects(host);
  Effect effect(host, *FindEffect(effects, "rotate"));
  RenderSettings settings;
  settings.props = ParseValue("[#animMode: #range, #numFrames: 4, #startDegrees: 0, #endDegrees: 200]");
  settings.depth = depth;
  settings.frames = frames;
  settings.withAlpha = true;
  settings.hit = std::make_pair(side / 2, side / 2);
  RenderReport report = RenderEffect(host, effect, sprite, MakeCheckerboard(side, side), settings);
  const std::vector<Image> direct = RenderRotateWithAlphaDirectly(depth, sprite, side, frames);
  ASSERT_EQ(report.frames.size(), static_cast<std::size_t>(frames));
  ASSERT_EQ(direct.size(), static_cast<std::size_t>(frames));
  for (int f = 0; f < frames; ++f) {
    // The previewer keeps whatever colour lies under clear pixels; compare
    // colour where the sprite is.
    for (std::size_t i = 0; i < direct[f].rgba.size(); i += 4) {
      const std::uint8_t a = direct[f].rgba[i + 3];
      ASSERT_EQ(report.frames[f].rgba[i + 3], a) << "frame " << f + 1 << " pixel " << i / 4;
      if (a != 0) {
        ASSERT_TRUE(std::equal(&direct[f].rgba[i], &direct[f].rgba[i + 3], &report.frames[f].rgba[i]))
            << "frame " << f + 1 << " pixel " << i / 4;
      }
    }
  }
  // The sprite's opaque middle stays at the stage's centre whatever the angle.
  EXPECT_EQ(report.frames.back().At(side / 2, side / 2)[3], 255);
  ASSERT_TRUE(report.hitAlpha.has_value());
  EXPECT_EQ(*report.hitAlpha, 255);
}

INSTANTIATE_TEST_SUITE_P(Depths, RotateWithAlpha, ::testing::Values(8, 16, 24, 32),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

TEST(MosaicThroughPreviewer, DrawsFlatTilesAnchoredAtTheSpriteCentre) {
  const Image sprite = MakeSampleSprite();
  const Image stage = MakeSolid(sprite.width + 32, sprite.height + 32, Rgb{0, 0, 0});
  const RenderReport report =
      RenderThroughPreviewer({32, 255}, sprite, stage, "[#animMode: #static, #xResolution: 8, #yResolution: 8]", 1);
  ASSERT_EQ(report.frames.size(), 1u);
  // Tile columns start where c = 80 (mod 8) and rows where r = 60 (mod 8);
  // the tile at (80, 60) lies in the opaque middle and shows pixel (80, 60).
  // The sprite sits 16 pixels in from the stage's left and top.
  const std::uint8_t* expected = sprite.At(80, 60);
  for (int y = 60; y < 68; ++y)
    for (int x = 80; x < 88; ++x) {
      const std::uint8_t* p = report.frames[0].At(16 + x, 16 + y);
      ASSERT_EQ(p[0], expected[0]) << x << "," << y;
      ASSERT_EQ(p[1], expected[1]) << x << "," << y;
      ASSERT_EQ(p[2], expected[2]) << x << "," << y;
    }
  // Outside the sprite the stage is untouched.
  EXPECT_EQ(report.frames[0].At(2, 2)[0], 0);
}

TEST(MosaicThroughPreviewer, AnswersNeitherAlphaNorHitTests) {
  host::Host host(VX_MODULE_PATH);
  const auto effects = RegisteredEffects(host);
  Effect effect(host, *FindEffect(effects, "#Mosaic"));
  RenderSettings settings;
  settings.withAlpha = true;
  settings.frames = 2;
  settings.hit = std::make_pair(96, 76);
  const Image sprite = MakeSampleSprite();
  const RenderReport report = RenderEffect(host, effect, sprite, MakeCheckerboard(192, 152), settings);
  ASSERT_EQ(report.frames.size(), 2u);
  for (std::size_t i = 3; i < report.frames[1].rgba.size(); i += 4) ASSERT_EQ(report.frames[1].rgba[i], 0);
  EXPECT_FALSE(report.hitAlpha.has_value());
}

// One colour through every kind of stage image, bytes as the formats lay
// them out: 5-5-5 keeps the top five bits, the 8-bit stage stores the index
// of the palette's cube entry (r, g, b in sixths: index 36r + 6g + b).
TEST(StageImages, StoreAndLoadFollowEachFormat) {
  StageCodec codec;
  Image picture(2, 1);
  const std::uint8_t orange[4] = {255, 102, 0, 255};
  const std::uint8_t odd[4] = {255, 128, 8, 255};
  std::memcpy(picture.At(0, 0), orange, 4);
  std::memcpy(picture.At(1, 0), odd, 4);

  struct Expected {
    ImageKind kind;
    std::vector<std::uint8_t> pixel0, pixel1;  // stored bytes
    std::array<std::uint8_t, 3> back1;         // the second colour read back
  };
  const Expected cases[] = {
      {ImageKind::kIndexed8, {5 * 36 + 2 * 6}, {}, {}},
      {ImageKind::kRgb555, {0x80, 0x7D}, {0x01, 0x7E}, {255, 132, 8}},
      {ImageKind::kRgb24, {0, 102, 255}, {8, 128, 255}, {255, 128, 8}},
      {ImageKind::kRgb32, {0, 102, 255}, {8, 128, 255}, {255, 128, 8}},
      {ImageKind::kExpanded8, {0, 102, 255, 5 * 36 + 2 * 6}, {}, {}},
      {ImageKind::kExpanded16, {0, 12, 31}, {1, 16, 31}, {255, 132, 8}},
  };
  for (const Expected& e : cases) {
    SCOPED_TRACE(glissade::KindName(e.kind));
    glissade::Image image(e.kind, 0, 0, 2, 1);
    codec.Store(picture, image);
    EXPECT_TRUE(image.GuardsIntact());
    for (std::size_t i = 0; i < e.pixel0.size(); ++i) EXPECT_EQ(image.Pixel(0, 0)[i], e.pixel0[i]) << i;
    for (std::size_t i = 0; i < e.pixel1.size(); ++i) EXPECT_EQ(image.Pixel(1, 0)[i], e.pixel1[i]) << i;
    const Image back = codec.Load(image, nullptr);
    // Orange is a palette colour and exact in five bits per channel but green.
    EXPECT_EQ(back.At(0, 0)[0], 255);
    EXPECT_EQ(back.At(0, 0)[2], 0);
    EXPECT_EQ(back.At(0, 0)[3], 255);
    if (!e.pixel1.empty()) {
      for (int c = 0; c < 3; ++c) EXPECT_EQ(back.At(1, 0)[c], e.back1[c]) << c;
    }
  }
}

TEST(StageImages, AlphaComesFromItsOwnPlane) {
  StageCodec codec;
  glissade::Image colour(ImageKind::kExpanded16, 0, 0, 3, 2);
  glissade::Image alpha(ImageKind::kIndexed8, 0, 0, 3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      alpha.Pixel(x, y)[0] = static_cast<std::uint8_t>(10 * x + 100 * y);
      colour.Pixel(x, y)[2] = 31;  // red
    }
  const Image back = codec.Load(colour, &alpha);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(back.At(x, y)[0], 255);
      EXPECT_EQ(back.At(x, y)[1], 0);
      EXPECT_EQ(back.At(x, y)[3], 10 * x + 100 * y);
    }
}

TEST(EffectCatalogue, FindsEffectsByEitherSymbol) {
  host::Host host(VX_MODULE_PATH);
  const auto effects = RegisteredEffects(host);
  ASSERT_EQ(effects.size(), 9u);
  const EffectInfo* skip = FindEffect(effects, "lineskip");
  ASSERT_NE(skip, nullptr);
  EXPECT_EQ(skip->symbol, "lineSkip");
  EXPECT_TRUE(skip->changesAlpha);
  EXPECT_EQ(FindEffect(effects, "#rotate")->displayName, "Rotate");
  EXPECT_FALSE(FindEffect(effects, "mosaic")->changesAlpha);
  EXPECT_EQ(FindEffect(effects, "blur"), nullptr);
}

TEST(EffectCatalogue, DescriptionsArriveAsUtf8Lines) {
  host::Host host(VX_MODULE_PATH);
  const auto effects = RegisteredEffects(host);
  Effect mosaic(host, *FindEffect(effects, "mosaic"));
  const std::size_t blocks = host.allocator().LiveBlocks();
  const std::string text = mosaic.Description();
  EXPECT_EQ(host.allocator().LiveBlocks(), blocks);  // the text block went back
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_NE(text.find("Effect Symbol:"), std::string::npos);
  EXPECT_NE(text.find("#mosaic"), std::string::npos);
  EXPECT_NE(text.find("#changeColorFlag"), std::string::npos);
}

TEST(ShiftJis, ConvertsTextAndLineEnds) {
  // "\x83\x82\x83\x55\x83\x43\x83\x4E" is katakana MO-ZA-I-KU.
  EXPECT_EQ(ShiftJisToUtf8("\x83\x82\x83\x55\x83\x43\x83\x4E\rnext\r"),
            "\xE3\x83\xA2\xE3\x82\xB6\xE3\x82\xA4\xE3\x82\xAF\nnext\n");
  // A lead byte with no trail byte is marked, not dropped silently.
  EXPECT_EQ(ShiftJisToUtf8("a\x83"), "a\xEF\xBF\xBD");
}

}  // namespace
}  // namespace vx::preview
