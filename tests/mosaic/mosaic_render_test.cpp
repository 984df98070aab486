// Mosaic's drawing: the tile grid and sample pixels, compositing at every
// destination depth and on every path, the align step, and what happens
// with views, rectangles and memory that cannot be used.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

#include "mosaic_support.h"

namespace vx::mosaic_test {
namespace {

constexpr ImageKind kKinds[] = {ImageKind::kIndexed8, ImageKind::kRgb555,   ImageKind::kRgb24,
                                ImageKind::kRgb32,    ImageKind::kExpanded8, ImageKind::kExpanded16};

std::string Describe(const Image& image) {
  return std::string(glissade::KindName(image.Kind())) + "/" +
         std::to_string(image.BytesPerPixel());
}

class MosaicRender : public MosaicEffect {
 protected:
  Status SetStaticTiles(std::int32_t width, std::int32_t height) {
    return Set({{"animMode", Sym("static")},
                {"xResolution", Int(width)},
                {"yResolution", Int(height)}});
  }

  // Renders `call` and compares every byte of the destination (padding
  // included) with the picture the rules give; the source, the mask and
  // every guard stay as they were.
  void RenderAndCompare(RenderCall call, const TileSetting& tiles) {
    AreaRect drawn{};
    const auto expected = ExpectedPicture(call, tiles, &drawn);
    const auto sourceBefore = call.source->Memory();
    const auto maskBefore = call.mask->Memory();
    ASSERT_EQ(Render(call), kOk);
    EXPECT_TRUE(call.destination->Memory() == expected->Memory());
    if (drawn.area > 0) {
      EXPECT_EQ(call.update.left, drawn.left);
      EXPECT_EQ(call.update.top, drawn.top);
      EXPECT_EQ(call.update.right, drawn.right);
      EXPECT_EQ(call.update.bottom, drawn.bottom);
    }
    EXPECT_TRUE(call.source->Memory() == sourceBefore);
    EXPECT_TRUE(call.mask->Memory() == maskBefore);
    EXPECT_TRUE(call.destination->GuardsIntact());
    EXPECT_TRUE(call.source->GuardsIntact());
    EXPECT_TRUE(call.mask->GuardsIntact());
    EXPECT_TRUE(host_.allocator().GuardsIntact());
  }
};

// ---------------------------------------------------------------------------
// The grid and the sample pixel, read off a source whose pixels say where
// they are.

TEST_F(MosaicRender, TilesStartOnTheGridThroughTheSourceCentre) {
  // 30 wide: the centre column is 15, tile columns start at 7, 15 and 23 and
  // the cut tile 0-6 samples column 0.
  ASSERT_EQ(SetStaticTiles(8, 1), kOk);
  auto source = PositionSource(30, 4);
  auto mask = OpaqueMask(30, 4);
  Image dst(ImageKind::kRgb32, 0, 0, 30, 4);
  RenderCall call{&dst, source.get(), mask.get(), Rect(0, 0, 30, 4)};
  ASSERT_EQ(Render(call), kOk);
  for (std::int32_t x = 0; x < 30; ++x) {
    const std::int32_t expected = x < 7 ? 0 : x < 15 ? 7 : x < 23 ? 15 : 23;
    EXPECT_EQ(dst.Pixel(x, 2)[0], expected) << "column " << x;
    EXPECT_EQ(dst.Pixel(x, 2)[1], 2) << "column " << x;
  }
  EXPECT_TRUE(dst.GuardsIntact());
}

TEST_F(MosaicRender, RowsFollowTheSameRuleAndTheLastTilesAreCut) {
  // 11 high, tile height 4: the centre row is 5, rows start at 1, 5 and 9;
  // row 0 is the cut tile at the top and samples row 0.
  ASSERT_EQ(SetStaticTiles(3, 4), kOk);
  auto source = PositionSource(7, 11);
  auto mask = OpaqueMask(7, 11);
  Image dst(ImageKind::kRgb32, 0, 0, 7, 11);
  RenderCall call{&dst, source.get(), mask.get(), Rect(0, 0, 7, 11)};
  ASSERT_EQ(Render(call), kOk);
  for (std::int32_t y = 0; y < 11; ++y) {
    const std::int32_t row = y < 1 ? 0 : y < 5 ? 1 : y < 9 ? 5 : 9;
    // Centre column 3: tiles start at 0, 3 and 6 (the last one cut).
    for (std::int32_t x = 0; x < 7; ++x) {
      EXPECT_EQ(dst.Pixel(x, y)[1], row) << x << "," << y;
      EXPECT_EQ(dst.Pixel(x, y)[0], x / 3 * 3) << x << "," << y;
    }
  }
}

TEST_F(MosaicRender, APartialUpdateDrawsTheSameTilesAsAWholeOne) {
  // The tiles of a part belong to the grid of the whole source, and sample
  // pixels outside the part.
  ASSERT_EQ(SetStaticTiles(5, 3), kOk);
  auto source = PositionSource(23, 17);
  auto mask = OpaqueMask(23, 17);
  Image whole(ImageKind::kRgb32, 0, 0, 23, 17), part(ImageKind::kRgb32, 0, 0, 23, 17);
  RenderCall all{&whole, source.get(), mask.get(), Rect(0, 0, 23, 17)};
  ASSERT_EQ(Render(all), kOk);
  RenderCall some{&part, source.get(), mask.get(), Rect(8, 6, 19, 12)};
  ASSERT_EQ(Render(some), kOk);
  for (std::int32_t y = 0; y < 17; ++y)
    for (std::int32_t x = 0; x < 23; ++x) {
      const bool inside = x >= 8 && x < 19 && y >= 6 && y < 12;
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(part.Pixel(x, y)[c], inside ? whole.Pixel(x, y)[c] : 0) << x << "," << y;
    }
}

TEST_F(MosaicRender, ZeroOrNegativeSizesDrawTheImageUnchanged) {
  auto source = PositionSource(9, 6);
  auto mask = OpaqueMask(9, 6);
  for (std::int32_t size : {0, -1, -2147483647}) {
    SCOPED_TRACE(size);
    ASSERT_EQ(SetStaticTiles(size, size), kOk);
    Image dst(ImageKind::kRgb32, 0, 0, 9, 6);
    RenderCall call{&dst, source.get(), mask.get(), Rect(0, 0, 9, 6)};
    ASSERT_EQ(Render(call), kOk);
    for (std::int32_t y = 0; y < 6; ++y)
      for (std::int32_t x = 0; x < 9; ++x) {
        EXPECT_EQ(dst.Pixel(x, y)[0], x);
        EXPECT_EQ(dst.Pixel(x, y)[1], y);
      }
  }
}

TEST_F(MosaicRender, HugeTilesCoverTheImageFromItsCentre) {
  ASSERT_EQ(SetStaticTiles(2147483647, 2147483647), kOk);
  auto source = PositionSource(10, 6);
  auto mask = OpaqueMask(10, 6);
  Image dst(ImageKind::kRgb32, 0, 0, 10, 6);
  RenderCall call{&dst, source.get(), mask.get(), Rect(0, 0, 10, 6)};
  ASSERT_EQ(Render(call), kOk);
  // One tile starts at the centre (5, 3); everything before it is cut.
  for (std::int32_t y = 0; y < 6; ++y)
    for (std::int32_t x = 0; x < 10; ++x) {
      EXPECT_EQ(dst.Pixel(x, y)[0], x < 5 ? 0 : 5);
      EXPECT_EQ(dst.Pixel(x, y)[1], y < 3 ? 0 : 3);
    }
  EXPECT_TRUE(host_.allocator().GuardsIntact());
}

TEST_F(MosaicRender, MovingSamplesKeepToTheirTilesAndTheImage) {
  ASSERT_EQ(Set({{"animMode", Sym("infinite")},
                 {"startXRes", Int(4)},
                 {"endXRes", Int(4)},
                 {"startYRes", Int(3)},
                 {"endYRes", Int(3)},
                 {"numFrames", Int(500)},
                 {"changeColorFlag", Int(1)}}),
            kOk);
  // 30 x 10: tile columns start at 3 + 4k (the last, 27-29, cut by the
  // image's edge) and rows at 2 + 3k (the last, 8-9, cut).
  auto source = PositionSource(30, 10);
  auto mask = OpaqueMask(30, 10);
  std::set<std::pair<int, int>> seen;
  for (int frame = 0; frame < 12; ++frame) {
    SCOPED_TRACE(frame);
    Image dst(ImageKind::kRgb32, 0, 0, 30, 10), expected(ImageKind::kRgb32, 0, 0, 30, 10);
    // Whole and partial updates take turns: a tile's sample does not depend
    // on which part of the sprite is drawn.
    const AreaRect update = frame % 2 == 0 ? Rect(0, 0, 30, 10) : Rect(9, 2, 26, 9);
    RenderCall call{&dst, source.get(), mask.get(), update};
    ASSERT_EQ(Render(call), kOk);
    // The offset this frame, read on the whole tile at (15, 5).
    const int column = dst.Pixel(15, 5)[0] - 15, row = dst.Pixel(15, 5)[1] - 5;
    ASSERT_GE(column, 0);
    ASSERT_LT(column, 4);
    ASSERT_GE(row, 0);
    ASSERT_LT(row, 3);
    seen.insert({column, row});
    // Every other tile samples at the same offset, kept inside the image.
    RenderCall model{&expected, source.get(), mask.get(), update};
    AreaRect drawn{};
    const auto picture = ExpectedPicture(model, TileSetting{4, 3, column, row}, &drawn);
    EXPECT_TRUE(dst.Memory() == picture->Memory());
  }
  EXPECT_EQ(seen.size(), 12u);
}

// ---------------------------------------------------------------------------
// Compositing, checked by hand on a few pixels.

TEST_F(MosaicRender, OpaqueMaskAtFullAndHalfBlend) {
  ASSERT_EQ(SetStaticTiles(4, 4), kOk);
  Image source(ImageKind::kRgb24, 0, 0, 8, 8);
  source.Fill(200);
  auto mask = OpaqueMask(8, 8);
  Image dst(ImageKind::kRgb24, 0, 0, 8, 8);
  dst.Fill(0);
  RenderCall call{&dst, &source, mask.get(), Rect(0, 0, 8, 8)};
  ASSERT_EQ(Render(call), kOk);
  EXPECT_EQ(dst.Pixel(3, 5)[1], 200);  // flat tiles
  dst.Fill(0);
  call.update = Rect(0, 0, 8, 8);
  call.blend = 128;
  ASSERT_EQ(Render(call), kOk);
  // Weight 255 x 128 >> 8 = 127; 0 + (200 x 127 >> 8) = 99.
  EXPECT_EQ(dst.Pixel(3, 5)[1], 99);
  dst.Fill(200);
  source.Fill(0);
  call.update = Rect(0, 0, 8, 8);
  ASSERT_EQ(Render(call), kOk);
  // Rounded down: 200 + (-200 x 127 >> 8) = 200 - 100.
  EXPECT_EQ(dst.Pixel(3, 5)[1], 100);
}

TEST_F(MosaicRender, MaskAtTheLowerThresholdLeavesThePixel) {
  ASSERT_EQ(SetStaticTiles(2, 2), kOk);
  Image source(ImageKind::kRgb32, 0, 0, 4, 1);
  source.Fill(250);
  Image mask(ImageKind::kIndexed8, 0, 0, 4, 1);
  const std::uint8_t bytes[4] = {40, 41, 199, 200};
  for (int x = 0; x < 4; ++x) *mask.Pixel(x, 0) = bytes[x];
  Image dst(ImageKind::kRgb32, 0, 0, 4, 1);
  dst.Fill(10);
  RenderCall call{&dst, &source, &mask, Rect(0, 0, 4, 1)};
  call.upper = 200;
  call.lower = 40;
  ASSERT_EQ(Render(call), kOk);
  EXPECT_EQ(dst.Pixel(0, 0)[0], 10);                   // at the lower: left
  EXPECT_EQ(dst.Pixel(1, 0)[0], 10 + (240 * 41 >> 8));   // blended
  EXPECT_EQ(dst.Pixel(2, 0)[0], 10 + (240 * 199 >> 8));  // blended
  EXPECT_EQ(dst.Pixel(3, 0)[0], 250);                  // at the upper: outright
  EXPECT_EQ(dst.Pixel(3, 0)[3], 10);                   // the fourth byte is never written
}

TEST_F(MosaicRender, EightBitDestinationsWriteTheIndexOrBlendThroughThePalette) {
  std::mt19937 rng(11);
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng, 3, 2);
  ASSERT_EQ(SetStaticTiles(3, 3), kOk);
  Image source(ImageKind::kIndexed8, 0, 0, 3, 3);
  source.Fill(77);
  auto mask = OpaqueMask(3, 3);
  *mask->Pixel(1, 1) = 128;
  Image dst(ImageKind::kIndexed8, 0, 0, 3, 3);
  dst.Fill(5);
  RenderCall call{&dst, &source, mask.get(), Rect(0, 0, 3, 3)};
  call.palette = &palette;
  ASSERT_EQ(Render(call), kOk);
  EXPECT_EQ(*dst.Pixel(0, 0), 77);
  const glissade::Colour from = palette.ColourOf(5), to = palette.ColourOf(77);
  auto mix = [](int d, int c) { return static_cast<std::uint32_t>(d + (((c - d) * 128) >> 8)); };
  EXPECT_EQ(*dst.Pixel(1, 1),
            palette.InverseOf(mix(from.r, to.r), mix(from.g, to.g), mix(from.b, to.b)));
}

// ---------------------------------------------------------------------------
// Every destination depth, source format, path, blend and threshold against
// the picture worked out pixel by pixel.

struct SweepCase {
  ImageKind destination, source;
  int destinationBytes, sourceBytes;  // pixel size of expanded kinds
};

TEST_F(MosaicRender, EveryDepthSourceAndPathMatchesTheRules) {
  std::mt19937 rng(2024);
  glissade::PaletteTable palette = glissade::PaletteTable::Random(rng, 1, 3);
  std::vector<SweepCase> cases;
  for (ImageKind d : kKinds)
    for (ImageKind s : kKinds)
      for (int db : {3, 4})
        for (int sb : {3, 4}) {
          if (db == 3 && (d == ImageKind::kIndexed8 || d == ImageKind::kRgb555 ||
                          d == ImageKind::kRgb24 || d == ImageKind::kRgb32))
            continue;
          if (sb == 3 && (s == ImageKind::kIndexed8 || s == ImageKind::kRgb555 ||
                          s == ImageKind::kRgb24 || s == ImageKind::kRgb32))
            continue;
          cases.push_back({d, s, db, sb});
        }
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int drawnScenes = 0;
  for (const SweepCase& c : cases) {
    for (int scene = 0; scene < 14; ++scene) {
      const int mw = pick(1, 24), mh = pick(1, 20);
      // Sources as large as the mask or larger (then centred on it).
      const int sw = mw + (scene % 3 == 0 ? pick(0, 6) : 0);
      const int sh = mh + (scene % 3 == 0 ? pick(0, 6) : 0);
      const int dl = pick(-5, 5), dt = pick(-5, 5);
      const int dw = pick(1, 36), dh = pick(1, 30);
      Image source(c.source, 2, -1, 2 + sw, -1 + sh, c.sourceBytes);
      Image mask(ImageKind::kIndexed8, -3, 4, -3 + mw, 4 + mh);
      Image dst(c.destination, dl, dt, dl + dw, dt + dh, c.destinationBytes);
      FillValid(source, rng);
      FillValid(dst, rng);
      // Masks with opaque, transparent and partial stretches.
      for (int y = 4; y < 4 + mh; ++y)
        for (int x = -3; x < -3 + mw; ++x) {
          const int kind = pick(0, 5);
          *mask.Pixel(x, y) =
              static_cast<std::uint8_t>(kind < 3 ? 255 : kind == 3 ? 0 : pick(1, 254));
        }
      const auto runs = glissade::MakeMaskRuns(mask);
      const int tw = pick(1, 9), th = pick(1, 7);
      ASSERT_EQ(SetStaticTiles(tw, th), kOk);

      RenderCall call{&dst, &source, &mask};
      const int shape = pick(0, 3);
      if (shape == 0)  // the whole destination
        call.update = Rect(dl, dt, dl + dw, dt + dh);
      else if (shape == 1)  // anything, also empty or off the destination
        call.update = Rect(dl + pick(-8, 30), dt + pick(-8, 25), dl + pick(-8, 40),
                           dt + pick(-8, 35));
      else
        call.update = Rect(-100, -100, 100, 100);
      call.runs = pick(0, 2) != 0 ? &runs : nullptr;
      call.palette = &palette;
      call.blend = pick(0, 2) == 0 ? 255 : pick(0, 255);
      call.hardMask = pick(0, 5) == 0;
      call.lower = pick(0, 3) == 0 ? pick(0, 254) : 0;
      call.upper = pick(0, 3) == 0 ? pick(call.lower, 255) : 255;
      call.align = pick(0, 4) == 0;
      SCOPED_TRACE(::testing::Message()
                   << Describe(dst) << " <- " << Describe(source) << " scene " << scene
                   << " mask " << mw << "x" << mh << " tile " << tw << "x" << th << " blend "
                   << call.blend << " hard " << call.hardMask << " runs " << (call.runs != nullptr)
                   << " align " << call.align << " thresholds " << call.upper << "/"
                   << call.lower);
      AreaRect drawn{};
      (void)ExpectedPicture(call, TileSetting{tw, th, 0, 0}, &drawn);
      if (drawn.area > 0) ++drawnScenes;
      RenderAndCompare(call, TileSetting{tw, th, 0, 0});
      if (HasFailure()) return;
    }
  }
  // The sweep must actually draw, most of the time.
  EXPECT_GT(drawnScenes, static_cast<int>(cases.size()) * 14 / 3);
}

// ---------------------------------------------------------------------------
// The align step.

TEST_F(MosaicRender, AlignNarrowsTheUpdateToWholeTilesInsideTheClip) {
  ASSERT_EQ(SetStaticTiles(6, 4), kOk);
  auto source = PositionSource(20, 20);
  auto mask = OpaqueMask(20, 20);
  Image dst(ImageKind::kRgb32, 0, 0, 40, 40);
  // The mask lands on (10, 10)-(30, 30), its centre at (20, 20): tile edges
  // at 20 + 6k across and 20 + 4k down.
  dst.View()->clip = Rect(13, 11, 29, 40);
  RenderCall call{&dst, source.get(), mask.get(), Rect(0, 0, 40, 40)};
  call.align = 1;
  const auto before = dst.Memory();
  ASSERT_EQ(Render(call), kOk);
  EXPECT_EQ(call.update.left, 14);
  EXPECT_EQ(call.update.top, 12);
  EXPECT_EQ(call.update.right, 26);
  EXPECT_EQ(call.update.bottom, 30);  // the mask's bottom; whole tiles go to 40
  for (std::int32_t y = 0; y < 40; ++y)
    for (std::int32_t x = 0; x < 40; ++x) {
      const bool inside = x >= 14 && x < 26 && y >= 12 && y < 30;
      if (!inside) {
        ASSERT_EQ(dst.Pixel(x, y)[2], 0) << x << "," << y;
      } else {
        // Source column x - 10; tiles from source column 10 + 6k.
        ASSERT_EQ(dst.Pixel(x, y)[2], 200) << x << "," << y;
        ASSERT_EQ(dst.Pixel(x, y)[0], (x - 10 - 4) / 6 * 6 + 4) << x << "," << y;
      }
    }
  // Clip narrower than one tile: nothing.
  dst.Assign(before);
  dst.View()->clip = Rect(15, 15, 19, 17);
  call.update = Rect(0, 0, 40, 40);
  ASSERT_EQ(Render(call), kOk);
  EXPECT_TRUE(dst.Memory() == before);
}

// ---------------------------------------------------------------------------
// Views, rectangles and records that cannot be used: nothing is drawn.

TEST_F(MosaicRender, NothingIsDrawnFromViewsWithoutMemoryOrRecords) {
  ASSERT_EQ(SetStaticTiles(3, 3), kOk);
  std::mt19937 rng(5);
  auto fresh = [&](ImageKind kind) {
    auto image = std::make_unique<Image>(kind, 0, 0, 12, 9);
    image->FillRandom(rng);
    return image;
  };
  auto source = fresh(ImageKind::kRgb32);
  auto mask = OpaqueMask(12, 9);
  auto dst = fresh(ImageKind::kRgb32);
  const auto before = dst->Memory();
  const auto check = [&](RenderCall call, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(Render(call), kOk);
    EXPECT_TRUE(dst->Memory() == before);
    EXPECT_TRUE(dst->GuardsIntact());
  };
  RenderCall call{dst.get(), source.get(), mask.get(), Rect(0, 0, 12, 9)};

  dst->DropMemory();
  check(call, "destination without memory");
  dst = fresh(ImageKind::kRgb32);
  dst->Assign(before);
  call.destination = dst.get();
  source->DropMemory();
  check(call, "source without memory");
  source = fresh(ImageKind::kRgb32);
  call.source = source.get();
  mask->DropMemory();
  check(call, "mask without memory");
  mask = OpaqueMask(12, 9);
  call.mask = mask.get();

  call.update = Rect(5, 5, 5, 9);
  check(call, "empty update");
  call.update = Rect(20, 20, 30, 30);
  check(call, "update off the destination");
  call.update = Rect(8, 8, 2, 2);
  check(call, "crossed edges");
  call.update = Rect(0, 0, 12, 9);
  call.source = nullptr;
  check(call, "no source view");
  call.source = source.get();

  // A view whose rows cannot hold its pixels, or with an absurd pixel size.
  dst->View()->rowLength = 4;
  dst->View()->rowStep = -4;
  check(call, "rows too short");
  dst->View()->rowLength = 48;
  dst->View()->rowStep = -48;
  dst->View()->bytesPerPixel = -4;
  check(call, "negative pixel size");
  dst->View()->bytesPerPixel = 4;
  dst->View()->depth = 12;
  check(call, "depth outside 8, 16, 24, 32");
  dst->View()->depth = 32;

  // The hard-mask path into a packed destination has nowhere to put bytes.
  Image packed(ImageKind::kRgb555, 0, 0, 12, 9);
  packed.FillRandom(rng);
  const auto packedBefore = packed.Memory();
  RenderCall hard{&packed, source.get(), mask.get(), Rect(0, 0, 12, 9)};
  hard.hardMask = 1;
  EXPECT_EQ(Render(hard), kOk);
  EXPECT_TRUE(packed.Memory() == packedBefore);

  // An 8-bit destination without a colour table.
  Image indexed(ImageKind::kIndexed8, 0, 0, 12, 9);
  indexed.FillRandom(rng);
  const auto indexedBefore = indexed.Memory();
  RenderCall noTable{&indexed, source.get(), mask.get(), Rect(0, 0, 12, 9)};
  EXPECT_EQ(Render(noTable), kOk);
  EXPECT_TRUE(indexed.Memory() == indexedBefore);

  // And the effect still draws afterwards.
  RenderCall good{dst.get(), source.get(), mask.get(), Rect(0, 0, 12, 9)};
  EXPECT_EQ(Render(good), kOk);
  EXPECT_FALSE(dst->Memory() == before);
}

// ---------------------------------------------------------------------------
// The tile-colour row.

TEST_F(MosaicRender, TileRowIsReusedGrownAndFreed) {
  host::Allocator& allocator = host_.allocator();
  ASSERT_EQ(SetStaticTiles(4, 4), kOk);
  auto source = PositionSource(40, 8);
  auto mask = OpaqueMask(40, 8);
  Image dst(ImageKind::kRgb32, 0, 0, 40, 8);
  const std::size_t blocksBefore = allocator.LiveBlocks();
  RenderCall narrow{&dst, source.get(), mask.get(), Rect(18, 0, 22, 8)};
  ASSERT_EQ(Render(narrow), kOk);
  ASSERT_EQ(allocator.LiveBlocks(), blocksBefore + 1);
  const std::size_t requests = allocator.RequestCount();
  const std::size_t narrowBytes = allocator.LiveBytes();
  // Same width again and again: the row is reused.
  for (int i = 0; i < 3; ++i) {
    narrow.update = Rect(18, 0, 22, 8);
    ASSERT_EQ(Render(narrow), kOk);
  }
  EXPECT_EQ(allocator.RequestCount(), requests);
  // Wider: the row grows to one entry per tile column the update touches
  // (tiles start at 20 + 4k, so 0-39 touches 10 of them).
  RenderCall wide{&dst, source.get(), mask.get(), Rect(0, 0, 40, 8)};
  ASSERT_EQ(Render(wide), kOk);
  EXPECT_EQ(allocator.RequestCount(), requests + 1);
  EXPECT_EQ(allocator.LiveBlocks(), blocksBefore + 1);
  // The narrow update (18-21) touched the tiles at 16 and 20: 2 entries of
  // 4 bytes, now 10.
  EXPECT_EQ(allocator.LiveBytes() - narrowBytes, 32u);
  // Columns 1-38 cut both end tiles: still 10 entries, no new block.
  RenderCall cut{&dst, source.get(), mask.get(), Rect(1, 0, 39, 8)};
  ASSERT_EQ(Render(cut), kOk);
  EXPECT_EQ(allocator.RequestCount(), requests + 1);
  EXPECT_TRUE(allocator.GuardsIntact());
  // Reset keeps the row; destroying the instance frees it.
  std::int32_t a = 0, b = 0;
  ASSERT_EQ(fx_->ops->Reset(fx_.get(), &services_, &a, &b), kOk);
  EXPECT_EQ(allocator.LiveBlocks(), blocksBefore + 1);
  fx_.Reset();
  instance_.reset();
  EXPECT_EQ(allocator.BrokenGuardCount(), 0u);
  EXPECT_EQ(allocator.BadFreeCount(), 0u);
  // The row and the property table went back.
  EXPECT_LE(allocator.LiveBlocks() + 2, blocksBefore + 1);
}

TEST_F(MosaicRender, RowThatCannotGrowDrawsNothingAndTheNextFrameTriesAgain) {
  host::Allocator& allocator = host_.allocator();
  ASSERT_EQ(SetStaticTiles(2, 2), kOk);
  auto source = PositionSource(16, 16);
  auto mask = OpaqueMask(16, 16);
  Image dst(ImageKind::kRgb32, 0, 0, 16, 16);
  const auto before = dst.Memory();
  RenderCall call{&dst, source.get(), mask.get(), Rect(0, 0, 16, 16)};
  const std::size_t live = allocator.LiveBlocks();
  allocator.FailAll(true);
  EXPECT_EQ(Render(call), kOk);
  allocator.FailAll(false);
  EXPECT_TRUE(dst.Memory() == before);
  EXPECT_EQ(allocator.LiveBlocks(), live);
  call.update = Rect(0, 0, 16, 16);
  EXPECT_EQ(Render(call), kOk);
  EXPECT_EQ(dst.Pixel(5, 5)[0], 4);  // centre 8: tiles at even columns
  EXPECT_EQ(allocator.LiveBlocks(), live + 1);

  // A row that must grow and cannot: the old one is given back, nothing is
  // drawn, and the next frame draws.
  Image big(ImageKind::kRgb32, 0, 0, 64, 16);
  auto wideSource = PositionSource(64, 16);
  auto wideMask = OpaqueMask(64, 16);
  const auto bigBefore = big.Memory();
  RenderCall grow{&big, wideSource.get(), wideMask.get(), Rect(0, 0, 64, 16)};
  allocator.FailNth(1);
  EXPECT_EQ(Render(grow), kOk);
  EXPECT_TRUE(big.Memory() == bigBefore);
  EXPECT_EQ(allocator.LiveBlocks(), live);
  grow.update = Rect(0, 0, 64, 16);
  EXPECT_EQ(Render(grow), kOk);
  EXPECT_EQ(big.Pixel(33, 0)[0], 32);
  EXPECT_TRUE(big.GuardsIntact());
  EXPECT_TRUE(allocator.GuardsIntact());
}

}  // namespace
}  // namespace vx::mosaic_test
