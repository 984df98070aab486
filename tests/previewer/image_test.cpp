#include <gif_lib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "image.h"
#include "output.h"
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

void WriteAll(std::unique_ptr<FrameWriter> writer, const std::vector<Image>& frames) {
  for (const Image& frame : frames) writer->Add(frame);
  writer->Finish();
}

struct GifFile {
  explicit GifFile(const std::string& path) {
    int error = 0;
    gif = DGifOpenFileName(path.c_str(), &error);
    if (gif != nullptr && DGifSlurp(gif) != GIF_OK) {
      DGifCloseFile(gif, &error);
      gif = nullptr;
    }
  }
  ~GifFile() {
    int error = 0;
    if (gif != nullptr) DGifCloseFile(gif, &error);
  }
  GifFileType* gif = nullptr;
};

TEST_F(ImageFiles, GifHoldsEveryFrameAndLoops) {
  std::vector<Image> frames;
  for (int i = 0; i < 5; ++i) frames.push_back(MakeSolid(12, 10, Rgb{static_cast<std::uint8_t>(i * 60), 20, 200}));
  WriteAll(OpenGif(Path("anim.gif"), 4, false), frames);

  GifFile file(Path("anim.gif"));
  GifFileType* gif = file.gif;
  ASSERT_NE(gif, nullptr);
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
    // Flat frames come back as their own colour from their own palette.
    const SavedImage& image = gif->SavedImages[f];
    ASSERT_NE(image.ImageDesc.ColorMap, nullptr);
    const GifColorType& c = image.ImageDesc.ColorMap->Colors[image.RasterBits[0]];
    EXPECT_EQ(c.Red, f * 60);
    EXPECT_EQ(c.Green, 20);
    EXPECT_EQ(c.Blue, 200);
  }
}

TEST_F(ImageFiles, GifFramesHoldOnlyWhatChanged) {
  Image a = Pattern(16, 12, 1), b = a, c = a;
  b.At(5, 7)[0] ^= 0xFF;
  b.At(9, 3)[2] ^= 0xFF;  // the box spans (5, 3) to (9, 7)
  WriteAll(OpenGif(Path("diff.gif"), 2, false), {a, b, c, c});
  GifFile file(Path("diff.gif"));
  ASSERT_NE(file.gif, nullptr);
  ASSERT_EQ(file.gif->ImageCount, 4);
  const GifImageDesc expected[] = {{0, 0, 16, 12, false, nullptr}, {5, 3, 5, 5, false, nullptr},
                                   {5, 3, 5, 5, false, nullptr},   {0, 0, 1, 1, false, nullptr}};
  for (int f = 0; f < 4; ++f) {
    const GifImageDesc& d = file.gif->SavedImages[f].ImageDesc;
    EXPECT_EQ(d.Left, expected[f].Left) << f;
    EXPECT_EQ(d.Top, expected[f].Top) << f;
    EXPECT_EQ(d.Width, expected[f].Width) << f;
    EXPECT_EQ(d.Height, expected[f].Height) << f;
  }
}

TEST_F(ImageFiles, GifMarksClearPixelsTransparentAndCountsSoftOnes) {
  Image frame = MakeSolid(4, 4, Rgb{255, 0, 0});
  frame.At(1, 2)[3] = 0;
  frame.At(3, 3)[3] = 127;
  frame.At(0, 0)[3] = 128;
  auto writer = OpenGif(Path("alpha.gif"), 10, true);
  writer->Add(frame);
  writer->Add(frame);
  writer->Finish();
  ASSERT_EQ(writer->Warnings().size(), 1u);
  EXPECT_NE(writer->Warnings()[0].find(": 4 partly transparent pixels (12.5% of all)"), std::string::npos)
      << writer->Warnings()[0];

  GifFile file(Path("alpha.gif"));
  ASSERT_NE(file.gif, nullptr);
  ASSERT_EQ(file.gif->ImageCount, 2);
  GraphicsControlBlock control;
  ASSERT_EQ(DGifSavedExtensionToGCB(file.gif, 1, &control), GIF_OK);
  ASSERT_NE(control.TransparentColor, NO_TRANSPARENT_COLOR);
  EXPECT_EQ(control.DisposalMode, DISPOSE_BACKGROUND);
  const GifByteType* bits = file.gif->SavedImages[1].RasterBits;
  EXPECT_EQ(bits[2 * 4 + 1], control.TransparentColor);
  EXPECT_EQ(bits[3 * 4 + 3], control.TransparentColor);
  EXPECT_NE(bits[0], control.TransparentColor);
  EXPECT_NE(bits[1], control.TransparentColor);
}

TEST_F(ImageFiles, ContactSheetPlacesNumberedFramesInAGrid) {
  std::vector<Image> frames;
  for (int i = 0; i < 5; ++i) frames.push_back(Pattern(30, 20, i));
  WriteAll(OpenContactSheet(Path("sheet.png"), 5, true), frames);
  const Image sheet = ReadPng(Path("sheet.png"));
  // Five frames make a 3 x 2 grid with 4-pixel gaps around every frame.
  ASSERT_EQ(sheet.width, 3 * (30 + 4) + 4);
  ASSERT_EQ(sheet.height, 2 * (20 + 4) + 4);
  // A one-digit number sits on a plate of 2 + 3 * 2 + 2 by 2 + 5 * 2 + 2
  // pixels at the cell's top left; the rest of the cell is the frame.
  for (int i = 0; i < 5; ++i) {
    const int x0 = 4 + (i % 3) * 34, y0 = 4 + (i / 3) * 24;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) {
        if (x < 10 && y < 14) continue;
        for (int c = 0; c < 4; ++c)
          ASSERT_EQ(sheet.At(x0 + x, y0 + y)[c], frames[i].At(x, y)[c]) << i << " " << x << "," << y;
      }
    // The plate, and the top row of the digit (1 to 5): in a 1 only its
    // middle is lit, in 2 to 5 both corners.
    EXPECT_EQ(sheet.At(x0, y0)[0], 24);
    const int corner = i == 0 ? 24 : 240;
    EXPECT_EQ(sheet.At(x0 + 2, y0 + 2)[0], corner) << i;
    EXPECT_EQ(sheet.At(x0 + 4, y0 + 2)[0], i == 0 || i == 1 || i == 2 || i == 4 ? 240 : 24) << i;
    EXPECT_EQ(sheet.At(x0 + 6, y0 + 2)[0], corner) << i;
  }
  // The sixth cell stays backdrop.
  EXPECT_EQ(sheet.At(4 + 2 * 34, 4 + 24)[3], 255);
  EXPECT_EQ(sheet.At(4 + 2 * 34, 4 + 24)[0], sheet.At(0, 0)[0]);
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

TEST_F(ImageFiles, FolderGetsNumberedFramesOnlyWhenFinished) {
  std::vector<Image> frames;
  for (int i = 0; i < 3; ++i) frames.push_back(Pattern(3, 3, i));
  {
    auto dropped = OpenFolder(Path("new/frames/"), 3, true);
    dropped->Add(frames[0]);
  }
  EXPECT_FALSE(fs::exists(Path("new")));  // neither staging nor the folders above
  WriteAll(OpenFolder(Path("frames/"), 3, true), frames);
  for (int i = 0; i < 3; ++i) {
    const std::string name = Path("frames/frame-00" + std::to_string(i + 1) + ".png");
    ASSERT_TRUE(fs::exists(name)) << name;
    EXPECT_EQ(ReadPng(name).rgba, frames[i].rgba);
  }
  // Into an existing folder: the frames join what is there.
  std::ofstream(Path("frames/notes.txt")) << "keep";
  WriteAll(OpenFolder(Path("frames"), 1, true), {Pattern(3, 3, 9)});
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
