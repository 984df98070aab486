#include <gtest/gtest.h>

#include "framework/area_rect.h"
#include "framework/pixel_view.h"
#include "framework/sprite_records.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "host/glissade/palette.h"

namespace vx {
namespace {

using glissade::Image;
using glissade::ImageKind;

void ExpectEdges(const AreaRect& r, int l, int t, int rt, int b) {
  EXPECT_EQ(r.left, l);
  EXPECT_EQ(r.top, t);
  EXPECT_EQ(r.right, rt);
  EXPECT_EQ(r.bottom, b);
}

TEST(AreaRect, ConstructionCachesMeasuresAndOrigin) {
  const AreaRect r = MakeRect(5, 2, 1, 10, 9);
  EXPECT_EQ(r.width, 4);
  EXPECT_EQ(r.height, 8);
  EXPECT_EQ(r.area, 32);
  EXPECT_EQ(r.originX, 5);
  EXPECT_EQ(r.originY, 2);
  EXPECT_EQ(r.tag, 9);
  AreaRect moved = r;
  Offset(&moved, 3, 4);
  const AreaRect copy = CopyRect(moved);
  EXPECT_EQ(copy.originX, 8);
  EXPECT_EQ(copy.originY, 6);
  EXPECT_EQ(copy.tag, 9);
}

TEST(AreaRect, IntersectionWithoutOverlapIsEmpty) {
  AreaRect r = EmptyRect();
  Intersect(&r, MakeRect(0, 0, 10, 10), MakeRect(20, 20, 30, 30));
  EXPECT_EQ(r.width, 0);
  EXPECT_EQ(r.height, 0);
  EXPECT_EQ(r.area, 0);
  Intersect(&r, MakeRect(0, 0, 10, 10), MakeRect(4, -3, 30, 6));
  ExpectEdges(r, 4, 0, 10, 6);
  EXPECT_EQ(r.area, 36);
}

TEST(AreaRect, CentringKeepsTheSize) {
  AreaRect r = MakeRect(0, 0, 5, 3);
  CentreIn(&r, MakeRect(10, 20, 20, 30));
  ExpectEdges(r, 13, 24, 18, 27);  // 10 + 5 - 2, 20 + 5 - 1
  CentreOn(&r, 0, 0);
  ExpectEdges(r, -2, -1, 3, 2);
  MoveToOrigin(&r);
  ExpectEdges(r, 0, 0, 5, 3);
}

TEST(AreaRect, MovesAndEdgeChanges) {
  AreaRect r = MakeRect(1, 2, 3, 4);
  Offset(&r, PointRecord{10, 20});  // vertical, horizontal
  ExpectEdges(r, 21, 12, 23, 14);
  Subtract(&r, 21, 12);
  ExpectEdges(r, 0, 0, 2, 2);
  SetRight(&r, 7);
  EXPECT_EQ(r.width, 7);
  EXPECT_EQ(r.area, 14);
  SetBottom(&r, 5);
  EXPECT_EQ(r.area, 35);
  EXPECT_TRUE(Equals(r, MakeRect(0, 0, 7, 5, 99)));
  EXPECT_TRUE(Contains(r, MakeRect(1, 1, 7, 5)));
  EXPECT_FALSE(Contains(r, MakeRect(1, 1, 8, 5)));
}

TEST(AreaRect, AbsurdEdgesSaturateInsteadOfOverflowing) {
  const AreaRect r = MakeRect(-2000000000, 0, 2000000000, 2000000000);
  EXPECT_EQ(r.width, 2147483647);
  EXPECT_EQ(r.area, 2147483647);
}

TEST(PixelView, SetDepthPadsRowsToFourBytes) {
  PixelView v;
  InitPixelView(&v, 0, 0, 5, 2);
  EXPECT_EQ(v.depth, 32);
  EXPECT_EQ(v.rowLength, 20);
  EXPECT_EQ(v.rowSkip, -40);
  SetDepth(&v, 8);
  EXPECT_EQ(v.rowLength, 8);
  EXPECT_EQ(v.rowPadding, 3);
  EXPECT_EQ(v.rowStep, -8);
  EXPECT_EQ(v.rowSkip, -13);
  InitPixelView(&v, 0, 0, 3, 1);
  SetDepth(&v, 24);
  EXPECT_EQ(v.rowLength, 12);
  EXPECT_EQ(v.rowPadding, 3);
  EXPECT_EQ(v.bytesPerPixel, 3);
}

TEST(PixelView, AddressesOfTheTopRowAndBase) {
  PixelView v;
  InitPixelView(&v, 0, 0, 3, 10);
  std::int32_t status = 1;
  EXPECT_EQ(v.ops->TopRowAddress(&v, &status), nullptr);
  EXPECT_EQ(status, kViewNoMemory);
  EXPECT_EQ(v.ops->BaseAddress(&v, &status), nullptr);
  EXPECT_EQ(status, kViewNoMemory);
  std::uint8_t memory[120];
  SetBase(&v, memory);
  EXPECT_EQ(v.ops->TopRowAddress(&v, &status), memory + 9 * 12);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(v.ops->BaseAddress(&v, &status), memory);
  DestroyView(&v);
  EXPECT_EQ(v.base, nullptr);
}

TEST(PixelView, SubViewSharesTheParentsMemory) {
  Image image(ImageKind::kRgb32, 0, 0, 4, 4);
  PixelView sub;
  MakeSubView(&sub, image.View(), MakeRect(3, 3, 4, 4));
  EXPECT_EQ(sub.base, image.Base() + 3 * 4);
  EXPECT_EQ(sub.rowLength, 16);
  EXPECT_EQ(sub.rowPadding, 12);
  EXPECT_EQ(sub.rowSkip, -20);
  EXPECT_EQ(sub.ops, ModuleViewOps());
  std::int32_t status = 1;
  MakeSubView(&sub, image.View(), MakeRect(1, 0, 3, 2));
  EXPECT_EQ(sub.ops->TopRowAddress(&sub, &status), image.Pixel(1, 0));
  EXPECT_EQ(status, 0);
}

// The parent's own rectangle need not start at the origin: the offset into
// its memory counts from its bottom-left corner.
TEST(PixelView, SubViewOfAParentAwayFromTheOrigin) {
  Image image(ImageKind::kRgb555, 10, 20, 15, 24);  // rows of 10 bytes padded to 12
  PixelView sub;
  MakeSubView(&sub, image.View(), MakeRect(14, 23, 15, 24));
  EXPECT_EQ(sub.base, image.Base() + 4 * 2);
  MakeSubView(&sub, image.View(), MakeRect(11, 20, 13, 22));
  EXPECT_EQ(sub.base, image.Base() + 2 * 12 + 1 * 2);
  EXPECT_EQ(sub.rowPadding, 12 - 2 * 2);
  EXPECT_EQ(sub.rowSkip, -12 - 2 * 2);
  EXPECT_EQ(sub.depth, 16);
  std::int32_t status = 1;
  EXPECT_EQ(sub.ops->TopRowAddress(&sub, &status), image.Pixel(11, 20));
  EXPECT_EQ(status, 0);
  // Walking the sub-view's rows by its row skip reaches the parent's pixels.
  std::uint8_t* p = sub.ops->TopRowAddress(&sub, &status) + 2 * 2 + sub.rowSkip;
  EXPECT_EQ(p, image.Pixel(11, 21));
}

TEST(PixelView, SubViewOfAViewWithoutMemoryHasNone) {
  Image image(ImageKind::kIndexed8, 0, 0, 4, 4);
  image.DropMemory();
  PixelView sub;
  MakeSubView(&sub, image.View(), MakeRect(0, 0, 2, 2));
  EXPECT_EQ(sub.base, nullptr);
}

TEST(PixelView, SubViewLeavingTheParentHasNoMemory) {
  Image image(ImageKind::kIndexed8, 0, 0, 4, 4);
  PixelView sub;
  MakeSubView(&sub, image.View(), MakeRect(2, 2, 6, 4));
  EXPECT_EQ(sub.base, nullptr);
}

TEST(ClipToSprite, MaskIsCentredOnTheDestination) {
  Image dst(ImageKind::kRgb32, 0, 0, 100, 50);
  Image mask(ImageKind::kIndexed8, 0, 0, 20, 10);
  AreaRect update = MakeRect(0, 0, 100, 50);
  AreaRect maskRect = mask.view().bounds;
  EXPECT_EQ(ClipToSprite(mask.View(), dst.View(), &update, &maskRect), 1);
  ExpectEdges(maskRect, 40, 20, 60, 30);
  ExpectEdges(update, 40, 20, 60, 30);

  update = MakeRect(0, 0, 50, 50);
  maskRect = mask.view().bounds;
  EXPECT_EQ(ClipToSprite(mask.View(), dst.View(), &update, &maskRect), 2);
  ExpectEdges(update, 40, 20, 50, 30);

  update = MakeRect(0, 0, 30, 50);
  maskRect = mask.view().bounds;
  EXPECT_EQ(ClipToSprite(mask.View(), dst.View(), &update, &maskRect), 0);
}

TEST(ClipToSprite, DestinationAwayFromTheOrigin) {
  Image dst(ImageKind::kRgb32, 10, 5, 110, 55);
  Image mask(ImageKind::kIndexed8, 0, 0, 20, 11);
  AreaRect update = MakeRect(-50, -50, 200, 200);
  AreaRect maskRect = mask.view().bounds;
  // Moved by (50 - 10 + 10, 25 - 5 + 5): the odd height rounds the top down.
  EXPECT_EQ(ClipToSprite(mask.View(), dst.View(), &update, &maskRect), 1);
  ExpectEdges(maskRect, 50, 25, 70, 36);
  ExpectEdges(update, 50, 25, 70, 36);
  EXPECT_EQ(update.area, 220);

  update = MakeRect(60, 0, 200, 30);
  maskRect = mask.view().bounds;
  EXPECT_EQ(ClipToSprite(mask.View(), dst.View(), &update, &maskRect), 2);
  ExpectEdges(update, 60, 25, 70, 30);
  EXPECT_EQ(update.area, 50);
}

TEST(Palette, LookupsFollowOffsetStrideAndTheInverseKey) {
  std::vector<glissade::Colour> colours(256);
  for (int i = 0; i < 256; ++i)
    colours[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                  static_cast<std::uint8_t>(i / 2)};
  glissade::PaletteTable table(colours, 5, 3);
  const Rgb c = PaletteLookup(table.Record(), 200);
  EXPECT_EQ(c.r, 200);
  EXPECT_EQ(c.g, 55);
  EXPECT_EQ(c.b, 100);
  // Red 255, green 0, blue 8 is entry 31 x 1024 + 1.
  auto* inverse = reinterpret_cast<std::uint8_t*>(table.Record()->words[kColourInverseWord]);
  inverse[31 * 1024 + 1] = 77;
  EXPECT_EQ(InverseLookup(table.Record(), 255, 0, 8), 77);
  inverse[31 * 1024 + 1] = 78;
  EXPECT_EQ(InverseLookup(table.Record(), 255, 7, 15), 78);
}

TEST(Records, ThresholdsAndRuns) {
  const ThresholdRecord record = glissade::MakeThresholdRecord(200, -3);
  const MaskThresholds t = ReadThresholds(&record);
  EXPECT_EQ(t.upper, 200);
  EXPECT_EQ(t.lower, -3);
  const std::uint16_t runs[] = {1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 5, 6};
  RunTriple triple;
  const std::uint16_t* p = ReadRunTriple(runs, &triple);
  EXPECT_EQ(triple.transparent, 1u);
  EXPECT_EQ(triple.opaque, 3u);
  EXPECT_FALSE(triple.EndsRow());
  EXPECT_EQ(SkipRunRow(p), runs + 9);
}

// OpenWalk: the only road from a view to its pixels.
class OpenWalkTest : public ::testing::Test {
 protected:
  Image image_{ImageKind::kRgb24, 10, 20, 15, 26};  // 5 x 6, rows of 16 bytes
  ViewWalk walk_;
};

TEST_F(OpenWalkTest, WalksARectangleOfTheView) {
  ASSERT_TRUE(OpenWalk(image_.View(), MakeRect(11, 21, 14, 25), &walk_));
  EXPECT_EQ(walk_.top, image_.Pixel(11, 21));
  EXPECT_EQ(walk_.At(2, 3), image_.Pixel(13, 24));
  EXPECT_EQ(walk_.width, 3);
  EXPECT_EQ(walk_.height, 4);
  EXPECT_EQ(walk_.memBegin, image_.Base());
  EXPECT_EQ(walk_.memEnd, image_.Base() + 6 * 16);
}

TEST_F(OpenWalkTest, RejectsRectanglesLeavingTheView) {
  EXPECT_FALSE(OpenWalk(image_.View(), MakeRect(9, 21, 14, 25), &walk_));
  EXPECT_FALSE(OpenWalk(image_.View(), MakeRect(11, 21, 16, 25), &walk_));
  EXPECT_FALSE(OpenWalk(image_.View(), MakeRect(11, 19, 14, 25), &walk_));
  EXPECT_FALSE(OpenWalk(image_.View(), MakeRect(11, 21, 14, 27), &walk_));
  EXPECT_FALSE(OpenWalk(image_.View(), MakeRect(14, 21, 11, 25), &walk_));
  EXPECT_EQ(walk_.top, nullptr);
}

TEST_F(OpenWalkTest, RejectsViewsThatCannotHoldTheirRows) {
  PixelView v = image_.view();
  v.rowLength = 12;  // 5 x 3 bytes do not fit
  v.rowStep = -12;
  EXPECT_FALSE(OpenWalk(&v, MakeRect(10, 20, 11, 21), &walk_));
  v = image_.view();
  v.rowStep = 16;  // rows must go down in memory
  EXPECT_FALSE(OpenWalk(&v, MakeRect(10, 20, 11, 21), &walk_));
  v = image_.view();
  v.bytesPerPixel = 0;
  EXPECT_FALSE(OpenWalk(&v, MakeRect(10, 20, 11, 21), &walk_));
  v = image_.view();
  v.bounds.bottom = v.bounds.top - 1;
  EXPECT_FALSE(OpenWalk(&v, MakeRect(10, 20, 10, 20), &walk_));
  v = image_.view();
  v.bounds.bottom = 0x7FFFFFFF;
  EXPECT_FALSE(OpenWalk(&v, MakeRect(10, 20, 11, 21), &walk_));
}

TEST_F(OpenWalkTest, RejectsBytesPerPixelOutsideTheLoopsRange) {
  EXPECT_FALSE(OpenWalk(image_.View(), MakeRect(10, 20, 11, 21), &walk_, 4, 4));
  EXPECT_TRUE(OpenWalk(image_.View(), MakeRect(10, 20, 11, 21), &walk_, 3, 4));
}

TEST_F(OpenWalkTest, RejectsViewsWithoutMemory) {
  image_.DropMemory();
  EXPECT_FALSE(OpenWalk(image_.View(), MakeRect(10, 20, 11, 21), &walk_));
  EXPECT_FALSE(OpenWalk(nullptr, MakeRect(10, 20, 11, 21), &walk_));
}

TEST(PrepareRenderArea, WalksOverTheClippedUpdateInEveryView) {
  Image dst(ImageKind::kRgb32, 0, 0, 100, 50);
  Image mask(ImageKind::kIndexed8, 0, 0, 20, 10);
  Image src(ImageKind::kRgb32, 100, 200, 120, 210);  // bounds away from the origin
  AreaRect update = MakeRect(0, 0, 50, 50);
  RenderArea area;
  ASSERT_TRUE(PrepareRenderArea(dst.View(), src.View(), mask.View(), &update, &area));
  EXPECT_EQ(area.clip, 2);
  ExpectEdges(update, 40, 20, 50, 30);
  ExpectEdges(area.maskArea, 0, 0, 10, 10);
  ExpectEdges(area.sourceArea, 100, 200, 110, 210);
  EXPECT_EQ(area.destination.top, dst.Pixel(40, 20));
  EXPECT_EQ(area.mask.top, mask.Pixel(0, 0));
  EXPECT_EQ(area.source.top, src.Pixel(100, 200));
  EXPECT_EQ(area.source.width, 10);
}

TEST(PrepareRenderArea, NothingToDrawOrASourceTooSmall) {
  Image dst(ImageKind::kRgb32, 0, 0, 100, 50);
  Image mask(ImageKind::kIndexed8, 0, 0, 20, 10);
  Image small(ImageKind::kRgb32, 0, 0, 10, 6);
  AreaRect update = MakeRect(0, 0, 50, 50);
  RenderArea area;
  // The small source centres at (45, 22): the update's left part has none.
  EXPECT_FALSE(PrepareRenderArea(dst.View(), small.View(), mask.View(), &update, &area));
  update = MakeRect(0, 0, 30, 50);
  EXPECT_FALSE(PrepareRenderArea(dst.View(), mask.View(), mask.View(), &update, &area));
  EXPECT_EQ(area.clip, 0);
}

TEST(MaskRuns, RowsOfTriplesClosedByZeros) {
  Image mask(ImageKind::kIndexed8, 0, 0, 6, 2);
  const std::uint8_t top[] = {0, 0, 9, 255, 0, 255};
  for (int x = 0; x < 6; ++x) {
    *mask.Pixel(x, 0) = top[x];
    *mask.Pixel(x, 1) = 255;
  }
  const std::vector<std::uint16_t> expected = {2, 1, 1, 1, 0, 1, 0, 0, 0, 0, 0, 6, 0, 0, 0};
  EXPECT_EQ(glissade::MakeMaskRuns(mask), expected);
}

}  // namespace
}  // namespace vx
