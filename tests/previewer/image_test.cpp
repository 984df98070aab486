#include <gif_lib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "image.h"
#include "scene.h"

namespace vx::preview {
namespace {

namespace fs = std::filesystem;

class ImageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vornix-image-test-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Every channel different, so swapped channels or rows show.
  static Image Pattern(int w, int h, int seed) {
    Image image(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::uint8_t* p = image.At(x, y);
        p[0] = static_cast<std::uint8_t>(x * 7 + seed);
        p[1] = static_cast<std::uint8_t>(y * 13 + seed);
        p[2] = static_cast<std::uint8_t>(x * y + 3 * seed);
        p[3] = static_cast<std::uint8_t>((x + y * w) * 5);
      }
    return image;
  }

  fs::path dir_;
};

TEST_F(ImageFiles, PngKeepsEveryChannelWithAlpha) {
  Image image = Pattern(13, 7, 1);
  WritePng(Path("a.png"), image, true);
  Image back = ReadPng(Path("a.png"));
  EXPECT_EQ(back.width, 13);
  EXPECT_EQ(back.height, 7);
  EXPECT_EQ(back.rgba, image.rgba);
}

TEST_F(ImageFiles, PngWithoutAlphaReadsBackOpaque) {
  Image image = Pattern(5, 9, 2);
  WritePng(Path("b.png"), image, false);
  Image back = ReadPng(Path("b.png"));
  ASSERT_EQ(back.rgba.size(), image.rgba.size());
  for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
    EXPECT_EQ(back.rgba[i], image.rgba[i]);
    EXPECT_EQ(back.rgba[i + 1], image.rgba[i + 1]);
    EXPECT_EQ(back.rgba[i + 2], image.rgba[i + 2]);
    EXPECT_EQ(back.rgba[i + 3], 255);
  }
}

TEST_F(ImageFiles, UnreadableFilesAreNamedInTheError) {
  const std::string missing = Path("missing.png");
  try {
    ReadPng(missing);
    FAIL();
  } catch (const ImageError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
  const std::string text = Path("not-an-image.png");
  std::ofstream(text) << "this is not a picture";
  try {
    ReadPng(text);
    FAIL();
  } catch (const ImageError& e) {
    EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
  }
  // A PNG cut short after its header.
  WritePng(Path("whole.png"), Pattern(64, 64, 3), true);
  fs::copy_file(Path("whole.png"), Path("cut.png"));
  fs::resize_file(Path("cut.png"), fs::file_size(Path("whole.png")) / 2);
  EXPECT_THROW(ReadPng(Path("cut.png")), ImageError);
}

TEST_F(ImageFiles, GifHoldsEveryFrameAndLoops) {
  std::vector<Image> frames;
  for (int i = 0; i < 5; ++i) frames.push_back(MakeSolid(12, 10, Rgb{static_cast<std::uint8_t>(i * 60), 20, 200}));
  WriteGif(Path("anim.gif"), frames, 4, false);

  int error = 0;
  GifFileType* gif = DGifOpenFileName(Path("anim.gif").c_str(), &error);
  ASSERT_NE(gif, nullptr) << GifErrorString(error);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  EXPECT_EQ(gif->SWidth, 12);
  EXPECT_EQ(gif->SHeight, 10);
  ASSERT_EQ(gif->ImageCount, 5);
  // The loop block comes before the first frame, which is where giflib's
  // reader files it.
  bool loops = false;
  const SavedImage& first = gif->SavedImages[0];
  for (int i = 0; i + 1 < first.ExtensionBlockCount; ++i)
    if (first.ExtensionBlocks[i].Function == APPLICATION_EXT_FUNC_CODE &&
        first.ExtensionBlocks[i].ByteCount == 11 &&
        std::string(reinterpret_cast<char*>(first.ExtensionBlocks[i].Bytes), 11) == "NETSCAPE2.0")
      loops = first.ExtensionBlocks[i + 1].ByteCount == 3 && first.ExtensionBlocks[i + 1].Bytes[0] == 1;
  EXPECT_TRUE(loops);
  for (int f = 0; f < gif->ImageCount; ++f) {
    GraphicsControlBlock control;
    ASSERT_EQ(DGifSavedExtensionToGCB(gif, f, &control), GIF_OK);
    EXPECT_EQ(control.DelayTime, 4);
    // Flat frames come back as their own colour: a palette entry is exact.
    const GifColorType& c = gif->SColorMap->Colors[gif->SavedImages[f].RasterBits[0]];
    EXPECT_EQ(c.Red, f * 60);
    EXPECT_EQ(c.Green, 20);
    EXPECT_EQ(c.Blue, 200);
  }
  DGifCloseFile(gif, &error);
}

TEST_F(ImageFiles, GifMarksClearPixelsTransparent) {
  Image frame = MakeSolid(4, 4, Rgb{255, 0, 0});
  frame.At(1, 2)[3] = 0;
  frame.At(3, 3)[3] = 127;
  frame.At(0, 0)[3] = 128;
  WriteGif(Path("alpha.gif"), {frame, frame}, 10, true);

  int error = 0;
  GifFileType* gif = DGifOpenFileName(Path("alpha.gif").c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  ASSERT_EQ(gif->ImageCount, 2);
  GraphicsControlBlock control;
  ASSERT_EQ(DGifSavedExtensionToGCB(gif, 1, &control), GIF_OK);
  ASSERT_NE(control.TransparentColor, NO_TRANSPARENT_COLOR);
  const GifByteType* bits = gif->SavedImages[1].RasterBits;
  EXPECT_EQ(bits[2 * 4 + 1], control.TransparentColor);
  EXPECT_EQ(bits[3 * 4 + 3], control.TransparentColor);
  EXPECT_NE(bits[0], control.TransparentColor);
  EXPECT_NE(bits[1], control.TransparentColor);
  DGifCloseFile(gif, &error);
}

TEST_F(ImageFiles, ContactSheetPlacesFramesInAGrid) {
  std::vector<Image> frames;
  for (int i = 0; i < 5; ++i) frames.push_back(Pattern(6, 4, i));
  Image sheet = MakeContactSheet(frames);
  // Five frames make a 3 x 2 grid with 4-pixel gaps around every frame.
  EXPECT_EQ(sheet.width, 3 * (6 + 4) + 4);
  EXPECT_EQ(sheet.height, 2 * (4 + 4) + 4);
  for (int i = 0; i < 5; ++i) {
    const int x0 = 4 + (i % 3) * 10, y0 = 4 + (i / 3) * 8;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x)
        for (int c = 0; c < 4; ++c)
          ASSERT_EQ(sheet.At(x0 + x, y0 + y)[c], frames[i].At(x, y)[c]) << i << " " << x << "," << y;
  }
  // The sixth cell stays backdrop.
  EXPECT_EQ(sheet.At(4 + 2 * 10, 4 + 8)[3], 255);
  EXPECT_EQ(sheet.At(4 + 2 * 10, 4 + 8)[0], sheet.At(0, 0)[0]);
}

TEST_F(ImageFiles, FailedWritesLeaveTheTargetAlone) {
  const std::string target = Path("out.png");
  std::ofstream(target) << "old";
  EXPECT_THROW(WriteAtomically(target,
                               [](const std::string& temporary) {
                                 std::ofstream(temporary) << "half";
                                 throw ImageError("render failed");
                               }),
               ImageError);
  std::ifstream in(target);
  std::string content;
  in >> content;
  EXPECT_EQ(content, "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

  WriteAtomically(target, [](const std::string& temporary) {
    WritePng(temporary, MakeSolid(2, 2, Rgb{1, 2, 3}), false);
  });
  EXPECT_EQ(ReadPng(target).At(1, 1)[2], 3);
}

TEST_F(ImageFiles, FolderGetsNumberedFrames) {
  std::vector<Image> frames;
  for (int i = 0; i < 3; ++i) frames.push_back(Pattern(3, 3, i));
  WritePngFolder(Path("frames/"), frames, true);
  for (int i = 0; i < 3; ++i) {
    const std::string name = Path("frames/frame-00" + std::to_string(i + 1) + ".png");
    ASSERT_TRUE(fs::exists(name)) << name;
    EXPECT_EQ(ReadPng(name).rgba, frames[i].rgba);
  }
  // Into an existing folder: the frames join what is there.
  std::ofstream(Path("frames/notes.txt")) << "keep";
  WritePngFolder(Path("frames"), {Pattern(3, 3, 9)}, true);
  EXPECT_TRUE(fs::exists(Path("frames/notes.txt")));
  EXPECT_EQ(ReadPng(Path("frames/frame-001.png")).rgba, Pattern(3, 3, 9).rgba);
  // Nothing staged is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST(SampleScene, SpriteHasSoftEdgesAndAnOpaqueMiddle) {
  Image sprite = MakeSampleSprite();
  ASSERT_EQ(sprite.width, 160);
  ASSERT_EQ(sprite.height, 120);
  EXPECT_EQ(sprite.At(80, 60)[3], 255);
  EXPECT_EQ(sprite.At(0, 0)[3], 0);
  int partial = 0;
  for (std::size_t i = 3; i < sprite.rgba.size(); i += 4)
    if (sprite.rgba[i] > 0 && sprite.rgba[i] < 255) ++partial;
  EXPECT_GT(partial, 200);  // an antialiased rim all round
}

TEST(SampleScene, ColoursParseByHexAndName) {
  auto c = ParseColour("#1a2B3c");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->r, 0x1a);
  EXPECT_EQ(c->g, 0x2b);
  EXPECT_EQ(c->b, 0x3c);
  c = ParseColour("#f80");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->r, 0xff);
  EXPECT_EQ(c->g, 0x88);
  EXPECT_EQ(c->b, 0x00);
  c = ParseColour("White");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->g, 255);
  EXPECT_FALSE(ParseColour("#12345"));
  EXPECT_FALSE(ParseColour("#gg0000"));
  EXPECT_FALSE(ParseColour("chartreuse-ish"));
}

}  // namespace
}  // namespace vx::preview
