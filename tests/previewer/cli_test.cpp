// The program as authors run it: exit codes, messages and the files it
// leaves behind.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webp/demux.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "image.h"
#include "scene.h"

namespace vx::preview {
namespace {

namespace fs = std::filesystem;

// The program itself: exit codes and nothing written on failure.
class PreviewerProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vornix-cli-test-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs in the test's folder, so relative outputs land there.
  int Run(const std::string& arguments) {
    const std::string command = "cd " + dir_.string() + " && " + VX_PREVIEWER_PATH + " " + arguments + " >" +
                                (dir_ / "stdout").string() + " 2>" + (dir_ / "stderr").string();
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Read(const char* name) {
    std::ifstream in(dir_ / name);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string Out(const char* name) { return (dir_ / name).string(); }
  int Lines(const char* name, const std::string& text) {
    const std::string all = Read(name);
    int count = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
    return count;
  }

  fs::path dir_;
};

TEST_F(PreviewerProgram, RendersTheMainJob) {
  ASSERT_EQ(Run("render mosaic --props '[#animMode: #range, #numFrames: 5, #startXRes: 1, #endXRes: 10]' -o " +
                Out("m.gif")),
            0)
      << Read("stderr");
  int error = 0;
  GifFileType* gif = DGifOpenFileName(Out("m.gif").c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  EXPECT_EQ(gif->ImageCount, 5);  // #numFrames decides the count
  DGifCloseFile(gif, &error);

  ASSERT_EQ(Run("render mosaic --frames 3 --depth 16 -o " + Out("frames/")), 0) << Read("stderr");
  EXPECT_TRUE(fs::exists(Out("frames/frame-003.png")));
  EXPECT_FALSE(fs::exists(Out("frames/frame-004.png")));
}

TEST_F(PreviewerProgram, ListsAndDescribesEffects) {
  ASSERT_EQ(Run("effects"), 0) << Read("stderr");
  const std::string list = Read("stdout");
  // What registration wrote: symbol, display name, set and the alpha flag.
  EXPECT_NE(list.find("lineSkip   Line Skip    Vornix Set 1   yes"), std::string::npos) << list;
  EXPECT_NE(list.find("mosaic     Mosaic       Vornix Set 1   no"), std::string::npos) << list;
  // The property table as the effect answers it, keys with types and ids.
  const std::size_t mosaic = list.find("#mosaic properties:");
  ASSERT_NE(mosaic, std::string::npos) << list;
  EXPECT_NE(list.find("#xResolution         integer  403", mosaic), std::string::npos) << list;
  EXPECT_NE(list.find("#animMode            symbol   100", mosaic), std::string::npos) << list;

  ASSERT_EQ(Run("describe '#mosaic'"), 0) << Read("stderr");
  const std::string text = Read("stdout");
  // The title line in UTF-8: the name between corner brackets.
  EXPECT_EQ(text.rfind("\xE3\x80\x8CMosaic\xE3\x80\x8D", 0), 0u) << text.substr(0, 40);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  const std::size_t symbolLine = text.find("Effect Symbol:");
  ASSERT_NE(symbolLine, std::string::npos) << text;
  EXPECT_NE(text.substr(symbolLine, text.find('\n', symbolLine) - symbolLine).find("#mosaic"), std::string::npos);
}

TEST_F(PreviewerProgram, RefusesBadInputWithoutWriting) {
  const std::string out = Out("never.png");
  EXPECT_EQ(Run("render blur -o " + out), 2);
  EXPECT_NE(Read("stderr").find("mosaic"), std::string::npos);  // the list of effects

  EXPECT_EQ(Run("render mosaic --props '[#animMode: #range, #numFrames 20]' -o " + out), 2);
  EXPECT_NE(Read("stderr").find("column 32: expected ':' after the key"), std::string::npos) << Read("stderr");

  std::ofstream(Out("bad.png")) << "not a picture";
  EXPECT_EQ(Run("render mosaic --input " + Out("bad.png") + " -o " + out), 2);
  EXPECT_NE(Read("stderr").find(Out("bad.png")), std::string::npos);

  EXPECT_EQ(Run("render mosaic --call 'RelToPoint(320, 40)' -o " + out), 1);
  EXPECT_NE(Read("stderr").find("0x800407DF"), std::string::npos) << Read("stderr");

  EXPECT_EQ(Run("render mosaic --background '#12' -o " + out), 2);
  EXPECT_NE(Read("stderr").find("#12 is not a colour"), std::string::npos) << Read("stderr");
  EXPECT_EQ(Run("render mosaic --thresholds 200,100 -o " + out), 2);
  EXPECT_EQ(Run("render mosaic --depth 15 -o " + out), 2);
  EXPECT_FALSE(fs::exists(out));

  EXPECT_EQ(Run("render mosaic --sheet -o " + Out("never.gif")), 2);
  EXPECT_FALSE(fs::exists(Out("never.gif")));
  EXPECT_EQ(Run("render mosaic -o " + Out("never.bmp")), 2);
  EXPECT_FALSE(fs::exists(Out("never.bmp")));

  EXPECT_EQ(Run("describe blur"), 2);
  EXPECT_NE(Read("stderr").find("lineSkip"), std::string::npos) << Read("stderr");
}

TEST_F(PreviewerProgram, WarnsOfValuesTheEffectWillIgnore) {
  ASSERT_EQ(Run("render mosaic --frames 1 --props '[#xResolution: #big, #colour: 3]' -o " + Out("w.png")), 0);
  const std::string err = Read("stderr");
  EXPECT_NE(err.find("#xResolution expects integer"), std::string::npos) << err;
  EXPECT_NE(err.find("#colour is not a property"), std::string::npos) << err;
  EXPECT_TRUE(fs::exists(Out("w.png")));
}

TEST_F(PreviewerProgram, PassesLinearListsOnAsEmptyListsWithAWarning) {
  ASSERT_EQ(Run("render mosaic --frames 1 --props '[#xResolution: 4, #startXRes: [1, 2]]' -o " + Out("l.png")), 0)
      << Read("stderr");
  const std::string err = Read("stderr");
  EXPECT_NE(err.find("column 31: [1, 2] has no keys"), std::string::npos) << err;
  EXPECT_NE(err.find("#startXRes expects integer, given list"), std::string::npos) << err;
  EXPECT_TRUE(fs::exists(Out("l.png")));
}

TEST_F(PreviewerProgram, RunsCallsBeforeTheirFrameOnly) {
  // Mosaic has no script functions, so a call that runs fails the render.
  EXPECT_EQ(Run("render mosaic --frames 2 --call '3:Spin()' -o " + Out("a.png")), 0) << Read("stderr");
  EXPECT_NE(Read("stderr").find("frame 3 comes after the last frame (2)"), std::string::npos) << Read("stderr");
  EXPECT_TRUE(fs::exists(Out("a.png")));

  EXPECT_EQ(Run("render mosaic --frames 3 --call '3:Spin()' -o " + Out("b.png")), 1);
  EXPECT_NE(Read("stderr").find("3:Spin() failed: 0x800407DF"), std::string::npos) << Read("stderr");
  EXPECT_FALSE(fs::exists(Out("b.png")));

  // Each --call takes one text: the effect's name after it stays the effect.
  EXPECT_EQ(Run("render --call 'Spin()' --call '2:Spin()' mosaic -o " + Out("b.png")), 1) << Read("stderr");
  EXPECT_NE(Read("stderr").find("Spin() failed: 0x800407DF"), std::string::npos) << Read("stderr");

  EXPECT_EQ(Run("render mosaic --call '0:Spin()' -o " + Out("c.png")), 2);
  EXPECT_NE(Read("stderr").find("column 1: expected a frame number of 1 or more"), std::string::npos)
      << Read("stderr");
  EXPECT_EQ(Run("render mosaic --call '2:Spin(1' -o " + Out("c.png")), 2);
  EXPECT_NE(Read("stderr").find("column 9: expected ',' or ')'"), std::string::npos) << Read("stderr");
  EXPECT_FALSE(fs::exists(Out("c.png")));
}

TEST_F(PreviewerProgram, WritesFilesEveryoneMayRead) {
  const mode_t previous = ::umask(022);
  const int gif = Run("render mosaic --frames 2 -o " + Out("p.gif"));
  const int png = Run("render mosaic --frames 2 -o " + Out("p.png"));
  ::umask(previous);
  ASSERT_EQ(gif, 0) << Read("stderr");
  ASSERT_EQ(png, 0) << Read("stderr");
  for (const char* name : {"p.gif", "p.png"}) {
    struct stat st {};
    ASSERT_EQ(::stat(Out(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << name;
  }
}


// Each line: arguments ({dir} is the test's folder), exit code, and a text
// the named stream must hold.
struct CliCase {
  const char* args;
  int exit;
  const char* stream;
  const char* text;
};

TEST_F(PreviewerProgram, AnswersAsDocumented) {
  std::ofstream(Out("props.txt")) << "[#animMode: #range,\n  #numFrames: 2]";
  std::ofstream(Out("broken.txt")) << "[#animMode: #range,\n  #numFrames 2]";
  const CliCase cases[] = {
      // A result of 0 is a result.
      {"render rotate -o r.png --frames 2 --call '2:GetAngle()'", 0, "stdout", "frame 2: GetAngle() = 0\n"},
      {"render rotate -o r.png --props '[#animMode: #pendulm, #numFrames: 10]'", 0, "stderr",
       "#pendulm is not an animation mode (#static, #range, #infinite, #pendulum, #follow, #relativeToPoint)"},
      {"render rotate -o ''", 2, "stderr", "vornix: -o needs a file or folder name"},
      {"render rotate -o .png", 2, "stderr", "-o .png is only an extension"},
      {"render rotate -o sub/.gif", 2, "stderr", "-o sub/.gif is only an extension"},
      {"render rotate -o x.png --format gif", 2, "stderr", "--format gif does not match the output 'x.png'"},
      {"render rotate --frames 1 -o - --format gif", 0, "stdout", "GIF89a"},
      {"render rotate --frames 1 -o -", 0, "stdout", "\x89PNG"},
      {"--version", 0, "stdout", "class version 1, interface version 1"},
      {"", 0, "stdout", "Subcommands:"},
      {"", 0, "stdout", "vornix previewer "},
      {"render mosaic --frames 1 --background '#f80' -o r.png", 0, "stderr", ""},
      {"render mosaic --background chartreuse -o r.png", 2, "stderr", "the colour names are black, white"},
      {"effects", 0, "stdout", "#deltaRadians        integer  319  (described as float)"},
      {"render rotate --frames 1 --call 'getangel()' -o r.png", 1, "stderr", "getangel: did you mean GetAngle?"},
      {"render mosaic --frames 1 --call 'Spin()' -o r.png", 1, "stderr", "#mosaic describes no script functions"},
      {"render mosaic --depth", 2, "stderr", "vornix: --depth: 1 required"},
      {"render mosaic -o r.png --props @props.txt", 0, "stderr", ""},
      {"render mosaic -o r.png --props @broken.txt", 2, "stderr", "broken.txt: line 2, column 14: expected ':'"},
      {"render mosaic -o r.png --props @missing.txt", 2, "stderr", "cannot read missing.txt"},
  };
  for (const CliCase& c : cases) {
    std::string args = c.args;
    EXPECT_EQ(Run(args), c.exit) << args << "\n" << Read("stderr");
    const std::string text = Read(c.stream);
    if (*c.text == '\0') EXPECT_EQ(text, "") << args;
    else EXPECT_NE(text.find(c.text), std::string::npos) << args << "\n" << text;
  }
  // Refused names made nothing, and standard output made no folder "-".
  EXPECT_FALSE(fs::exists(Out(".png")));
  EXPECT_FALSE(fs::exists(Out("sub")));
  EXPECT_FALSE(fs::exists(Out("-")));
}

TEST_F(PreviewerProgram, FolderOutputHoldsOnlyThisRendersFrames) {
  std::ofstream(Out("notes.txt")) << "keep";
  ASSERT_EQ(Run("render mosaic --frames 5 -o ."), 0) << Read("stderr");
  ASSERT_EQ(Run("render mosaic --frames 2 -o ."), 0) << Read("stderr");
  EXPECT_TRUE(fs::exists(Out("frame-002.png")));
  EXPECT_FALSE(fs::exists(Out("frame-003.png")));
  EXPECT_FALSE(fs::exists(Out("frame-005.png")));
  EXPECT_TRUE(fs::exists(Out("notes.txt")));
}

TEST_F(PreviewerProgram, CreatesMissingFoldersOnlyForAFinishedRender) {
  for (const char* out : {"a/b/c.png", "d/e/f.gif", "g/h/frames/"}) {
    ASSERT_EQ(Run(std::string("render mosaic --frames 2 -o ") + out), 0) << out << Read("stderr");
    EXPECT_TRUE(fs::exists(Out(out))) << out;
  }
  // A failed render leaves no new folders; errors name the path asked for.
  EXPECT_EQ(Run("render mosaic --call 'Spin()' -o new/sub/x.png"), 1);
  EXPECT_FALSE(fs::exists(Out("new")));
  std::ofstream(Out("file")) << "x";
  EXPECT_EQ(Run("render mosaic --frames 1 -o file/x.png"), 1);
  EXPECT_NE(Read("stderr").find("file/x.png"), std::string::npos) << Read("stderr");
  EXPECT_EQ(Read("stderr").find(".tmp-"), std::string::npos) << Read("stderr");
}


// The default frame count is one cycle of the animation the list sets up,
// so the last frame leads back into the first.
TEST_F(PreviewerProgram, RendersOneCycleByDefault) {
  struct Cycle {
    const char* args;
    int frames;
    const char* lastAngle;  // the angle after the last frame; "" when not asked
  };
  const Cycle cases[] = {
      {"--props '[#animMode: #static, #degrees: 30]'", 1, "29"},  // 21/256 of a turn
      {"--props '[#animMode: #range, #numFrames: 12, #endDegrees: 90]'", 12, "90"},
      {"--props '[#animMode: #pendulum, #numFrames: 12, #endDegrees: 90]'", 24, "0"},
      {"--props '[#animMode: #infinite, #numFrames: 8, #endDegrees: 360]'", 8, "0"},
      {"--props '[#animMode: #pendulum, #numFrames: 3, #endDegrees: 90]' --cycles 3", 18, "0"},
      {"--props '[#animMode: #range, #numFrames: 0, #endDegrees: 90]'", 1, "90"},
      {"", 30, ""},
      {"--props '[#animMode: #infinite, #numFrames: 8]' --frames 5", 5, ""},
  };
  for (const Cycle& c : cases) {
    const std::string args = std::string("render rotate --trace -o r.png ") + c.args;
    ASSERT_EQ(Run(args), 0) << args << Read("stderr");
    EXPECT_EQ(Lines("stdout", ": NeedsRedraw "), c.frames) << args;
    const std::string last = "frame " + std::to_string(c.frames) + ": ";
    EXPECT_NE(Read("stdout").find(last), std::string::npos) << args;
    if (*c.lastAngle != '\0') {
      const std::string out = Read("stdout");
      const std::size_t line = out.find(last);
      const std::string text = out.substr(line, out.find('\n', line) - line);
      const std::string ending = std::string(", GetAngle() = ") + c.lastAngle;
      EXPECT_EQ(text.substr(text.size() - std::min(text.size(), ending.size())), ending)
          << args << "\n" << Read("stdout");
    }
  }
  // Effects without GetAngle trace without it.
  ASSERT_EQ(Run("render mosaic --trace --frames 2 -o r.png"), 0);
  EXPECT_EQ(Read("stdout"), "frame 1: NeedsRedraw 0, IsStill 1\nframe 2: NeedsRedraw 0, IsStill 1\n");

  // The sheet numbers its frames: cell 2 of a 2 x 2 grid of 232-pixel
  // frames shows a lit "2" on its dark plate.
  ASSERT_EQ(Run("render mosaic --frames 3 --sheet -o sheet.png"), 0) << Read("stderr");
  const Image sheet = ReadPng(Out("sheet.png"));
  ASSERT_EQ(sheet.width, 2 * (232 + 4) + 4);
  EXPECT_EQ(sheet.At(240, 4)[0], 24);
  EXPECT_EQ(sheet.At(242, 6)[0], 240);

  EXPECT_EQ(Run("render rotate --frames 5 --cycles 2 -o r.png"), 2);
  EXPECT_EQ(Run("render rotate --props '[#animMode: #pendulum, #numFrames: 5001]' -o r.png"), 2);
  EXPECT_NE(Read("stderr").find("1 cycles make 10002 frames; at most 10000"), std::string::npos) << Read("stderr");
}

// A stage of a chosen size with the sprite where asked, and the default
// stage that holds a turned sprite whole.
TEST_F(PreviewerProgram, PlacesTheSpriteOnTheStage) {
  WritePng(Out("red.png"), MakeSolid(20, 10, Rgb{255, 0, 0}), true);
  // Placed elsewhere, the sprite is drawn as it is centred, only moved
  // (mosaic's tiles are anchored at the sprite, not the stage).
  const std::string tiles = "render mosaic --background black --stage 300x200 "
                            "--props '[#animMode: #static, #xResolution: 6, #yResolution: 6]' ";
  ASSERT_EQ(Run(tiles + "-o centred.png"), 0) << Read("stderr");
  const Image centred = ReadPng(Out("centred.png"));
  for (const auto& [x0, y0] : {std::pair{10, 20}, {200, -30}, {-100, 150}}) {
    const std::string at = std::to_string(x0) + "," + std::to_string(y0);
    ASSERT_EQ(Run(tiles + "--at " + at + " -o at.png"), 0) << Read("stderr");
    const Image moved = ReadPng(Out("at.png"));
    ASSERT_EQ(moved.width, 300);
    ASSERT_EQ(moved.height, 200);
    const int dx = 70 - x0, dy = 40 - y0;  // centred, the 160 x 120 sprite's corner is at (70, 40)
    int drawn = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 300; ++x) {
        const bool inside = x + dx >= 0 && x + dx < 300 && y + dy >= 0 && y + dy < 200;
        const std::uint8_t expected = inside ? centred.At(x + dx, y + dy)[1] : 0;
        ASSERT_EQ(moved.At(x, y)[1], expected) << at << ": " << x << "," << y;
        drawn += expected != 0;
      }
    EXPECT_GT(drawn, 500) << at;
  }

  // A 300 x 300 sprite turned 45 degrees keeps its whole area.
  WritePng(Out("square.png"), MakeSolid(300, 300, Rgb{255, 0, 0}), true);
  ASSERT_EQ(Run("render rotate --input square.png -o turned.png --props '[#animMode: #static, #degrees: 45]'"), 0);
  const Image turned = ReadPng(Out("turned.png"));
  EXPECT_EQ(turned.width, 425 + 32);  // the diagonal, 424.3, and a margin
  int red = 0;
  for (std::size_t i = 0; i < turned.rgba.size(); i += 4) red += turned.rgba[i] == 255 && turned.rgba[i + 1] == 0;
  EXPECT_NEAR(red, 300 * 300, 300 * 300 / 100);
  for (int i = 0; i < turned.width; ++i)  // nothing touches the edge
    for (const auto& [x, y] : {std::pair{i, 0}, {i, turned.height - 1}, {0, i}, {turned.width - 1, i}})
      ASSERT_NE(turned.At(x, y)[0], 255) << x << "," << y;

  // A background smaller than the stage is tiled; its alpha shows the
  // checkerboard through: 8-pixel squares, 204 grey where the square's
  // column and row add up odd, else 153.
  Image tile = MakeSolid(2, 1, Rgb{0, 0, 255});
  tile.At(1, 0)[3] = 0;
  WritePng(Out("tile.png"), tile, true);
  ASSERT_EQ(Run("render mosaic --frames 1 --input red.png --background tile.png --stage 64x48 -o tiled.png"), 0)
      << Read("stderr");
  const Image tiled = ReadPng(Out("tiled.png"));
  ASSERT_EQ(tiled.width, 64);
  EXPECT_EQ(tiled.At(60, 0)[2], 255);
  EXPECT_EQ(tiled.At(61, 0)[2], 204);  // square (7, 0) of the board is light
  EXPECT_EQ(tiled.At(61, 8)[2], 153);

  for (const char* bad : {"--stage 300", "--stage 0x10", "--stage 9000x10", "--at 300,0 --stage 300x200",
                          "--at -20,0 --input red.png"}) {
    EXPECT_EQ(Run(std::string("render mosaic -o bad.png ") + bad), 2) << bad;
    EXPECT_NE(Read("stderr").find("vornix: --"), std::string::npos) << Read("stderr");
  }
  EXPECT_FALSE(fs::exists(Out("bad.png")));
}

// GIF frames composited in order, as a viewer shows them.
std::vector<Image> DecodeGif(const std::string& path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  std::vector<Image> frames;
  if (gif == nullptr) return frames;
  if (DGifSlurp(gif) == GIF_OK) {
    Image canvas(gif->SWidth, gif->SHeight);
    for (int f = 0; f < gif->ImageCount; ++f) {
      const SavedImage& image = gif->SavedImages[f];
      GraphicsControlBlock control{};
      DGifSavedExtensionToGCB(gif, f, &control);
      const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
      for (int y = 0; y < image.ImageDesc.Height; ++y)
        for (int x = 0; x < image.ImageDesc.Width; ++x) {
          const int index = image.RasterBits[y * image.ImageDesc.Width + x];
          if (index == control.TransparentColor) continue;
          std::uint8_t* p = canvas.At(image.ImageDesc.Left + x, image.ImageDesc.Top + y);
          p[0] = map->Colors[index].Red, p[1] = map->Colors[index].Green, p[2] = map->Colors[index].Blue;
          p[3] = 255;
        }
      frames.push_back(canvas);
      if (control.DisposalMode == DISPOSE_BACKGROUND) canvas = Image(gif->SWidth, gif->SHeight);
    }
  }
  DGifCloseFile(gif, &error);
  return frames;
}

double Psnr(const Image& a, const Image& b) {
  double squares = 0;
  std::size_t n = 0;
  for (std::size_t i = 0; i < a.rgba.size(); i += 4)
    for (int c = 0; c < 3; ++c, ++n) squares += std::pow(a.rgba[i + c] - b.rgba[i + c], 2);
  return 10 * std::log10(255.0 * 255.0 / (squares / static_cast<double>(n)));
}

// The GIF's last frame against the PNG of the same render: per-frame
// palettes with dithering keep gradients free of contour bands.
TEST_F(PreviewerProgram, GifFramesStayCloseToTheTrueColours) {
  const std::string props = "--props '[#animMode: #infinite, #numFrames: 6, #endDegrees: 360, #interpolation: 1]'";
  ASSERT_EQ(Run("render rotate --frames 4 " + props + " -o r.png"), 0) << Read("stderr");
  ASSERT_EQ(Run("render rotate --frames 4 " + props + " -o r.gif"), 0) << Read("stderr");
  const std::vector<Image> gif = DecodeGif(Out("r.gif"));
  ASSERT_EQ(gif.size(), 4u);
  const double psnr = Psnr(gif.back(), ReadPng(Out("r.png")));
  RecordProperty("psnr_db", std::to_string(psnr));
  std::printf("GIF frame against PNG: PSNR %.1f dB\n", psnr);
  EXPECT_GT(psnr, 36.0);
}

// WebP keeps soft alpha that GIF has to cut, and GIF says so.
TEST_F(PreviewerProgram, WebpKeepsFullAlpha) {
  const std::string render = "render rotate --alpha --props '[#animMode: #range, #numFrames: 3, #endDegrees: 50]' ";
  ASSERT_EQ(Run(render + "-o a.png"), 0) << Read("stderr");
  ASSERT_EQ(Run(render + "-o a.webp"), 0) << Read("stderr");
  EXPECT_EQ(Read("stderr"), "");
  ASSERT_EQ(Run(render + "-o a.gif"), 0) << Read("stderr");
  EXPECT_NE(Read("stderr").find("warning: GIF keeps one bit of alpha"), std::string::npos) << Read("stderr");
  ASSERT_EQ(Run(render + "-o - --format webp"), 0) << Read("stderr");
  EXPECT_EQ(Read("stdout").substr(8, 4), "WEBP");

  std::ifstream in(Out("a.webp"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
  WebPAnimDecoderOptions options;
  ASSERT_TRUE(WebPAnimDecoderOptionsInit(&options));
  options.color_mode = MODE_RGBA;
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  ASSERT_NE(decoder, nullptr);
  WebPAnimInfo info;
  ASSERT_TRUE(WebPAnimDecoderGetInfo(decoder, &info));
  EXPECT_EQ(info.frame_count, 3u);
  EXPECT_EQ(info.loop_count, 0u);
  std::uint8_t* pixels = nullptr;
  int timestamp = 0;
  while (WebPAnimDecoderHasMoreFrames(decoder)) ASSERT_TRUE(WebPAnimDecoderGetNext(decoder, &pixels, &timestamp));
  EXPECT_EQ(timestamp, 3 * 50);
  const Image png = ReadPng(Out("a.png"));
  ASSERT_EQ(static_cast<int>(info.canvas_width), png.width);
  int soft = 0;
  for (std::size_t i = 0; i < png.rgba.size(); i += 4) {
    ASSERT_EQ(pixels[i + 3], png.rgba[i + 3]) << i / 4;
    soft += png.rgba[i + 3] != 0 && png.rgba[i + 3] != 255;
    if (png.rgba[i + 3] != 0) {
      ASSERT_TRUE(std::equal(&pixels[i], &pixels[i + 3], &png.rgba[i])) << i / 4;
    }
  }
  EXPECT_GT(soft, 100);
  WebPAnimDecoderDelete(decoder);
}

// 1000 frames of a 1000 x 1000 sprite under a 1 GiB address-space limit:
// every frame held would take 4 GB.
TEST_F(PreviewerProgram, MemoryStaysFlatWhateverTheFrameCount) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#else
  WritePng(Out("big.png"), MakeSolid(1000, 1000, Rgb{200, 80, 20}), true);
  auto peak = [&](int frames) {
    const pid_t child = ::fork();
    if (child == 0) {
      const rlimit limit{1ull << 30, 1ull << 30};
      ::setrlimit(RLIMIT_AS, &limit);
      const std::string command = "cd " + dir_.string() + " && exec " + VX_PREVIEWER_PATH +
                                  " render mosaic --input big.png --stage 1000x1000 --frames " +
                                  std::to_string(frames) +
                                  " --props '[#animMode: #static, #xResolution: 8]' -o big.gif 2>stderr";
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << frames << " frames: " << Read("stderr");
    return usage.ru_maxrss;  // KiB
  };
  const long few = peak(10), many = peak(1000);
  RecordProperty("peak_kib_1000_frames", std::to_string(many));
  std::printf("peak memory: %ld KiB for 10 frames, %ld KiB for 1000\n", few, many);
  EXPECT_LT(many, few + 16 * 1024);
  EXPECT_EQ(DecodeGif(Out("big.gif")).size(), 1000u);
#endif
}

}  // namespace
}  // namespace vx::preview
