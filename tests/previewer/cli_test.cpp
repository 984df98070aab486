// The program as authors run it: exit codes, messages and the files it
// leaves behind.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "image.h"

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

}  // namespace
}  // namespace vx::preview
