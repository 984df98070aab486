// The nine description texts as the module carries them: code page 932, CR
// line ends, and the layout hosts show to authors.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#if __has_include(<iconv.h>)
#include <iconv.h>
#define VX_HAVE_ICONV 1
#endif

#include "framework/descriptions.h"
#include "framework/resource_access.h"
#include "host/core/allocator.h"
#include "host/core/provider.h"
#include "host/core/values.h"
#include "module_resources.h"

namespace vx {
namespace {

struct Row {
  const char* key;
  const char* type;
};

struct Text {
  std::int32_t id;
  const char* source;  // file stem under resources/descriptions
  const char* title;   // the effect's display name
  const char* symbol;
  std::vector<Row> rows;
  std::vector<const char*> functions;
};

// Keys and value types of each effect's property table, in table order.
// Radian keys are documented as float: authors pass radians as floats.
const std::vector<Text>& Texts() {
  static const std::vector<Text> texts = {
      {102, "rotate", "Rotate", "#rotate",
       {{"#animMode", "symbol"},         {"#interpolation", "integer"},
        {"#numFrames", "integer"},       {"#framesPerRevolution", "integer"},
        {"#degrees", "integer"},         {"#startDegrees", "integer"},
        {"#endDegrees", "integer"},      {"#radians", "float"},
        {"#startRadians", "float"},      {"#endRadians", "float"},
        {"#flip", "integer"},            {"#relativeTo", "point"},
        {"#relativeToX", "integer"},     {"#relativeToY", "integer"},
        {"#offsetAngle", "integer"},     {"#offsetAngleRad", "float"},
        {"#easeIn", "integer"},          {"#easeOut", "integer"},
        {"#deltaDegrees", "integer"},    {"#deltaRadians", "float"}},
       {"InterpolateNow", "SetInterpolation", "RelToPoint", "UseRadians", "Flip", "GetAngle",
        "GetVector", "GetRotatedRect", "IsPointInRotatedRect"}},
      {104, "rgb", "RGB", "#rgb",
       {{"#animMode", "symbol"},    {"#interpolation", "integer"}, {"#numFrames", "integer"},
        {"#redShift", "integer"},   {"#greenShift", "integer"},    {"#blueShift", "integer"},
        {"#startRed", "integer"},   {"#startGreen", "integer"},    {"#startBlue", "integer"},
        {"#endRed", "integer"},     {"#endGreen", "integer"},      {"#endBlue", "integer"},
        {"#colorShift", "list"},    {"#startShift", "list"},       {"#endShift", "list"},
        {"#red", "integer"},        {"#green", "integer"},         {"#blue", "integer"},
        {"#easeIn", "integer"},     {"#easeOut", "integer"}},
       {}},
      {105, "mosaic", "Mosaic", "#mosaic",
       {{"#animMode", "symbol"}, {"#interpolation", "integer"}, {"#numFrames", "integer"},
        {"#xResolution", "integer"}, {"#yResolution", "integer"}, {"#startXRes", "integer"},
        {"#startYRes", "integer"}, {"#endXRes", "integer"}, {"#endYRes", "integer"},
        {"#changeColorFlag", "integer"}},
       {}},
      {106, "swirl", "Swirl", "#swirl",
       {{"#animMode", "symbol"}, {"#interpolation", "integer"}, {"#numFrames", "integer"},
        {"#degrees", "integer"}, {"#radians", "float"}, {"#startDegrees", "integer"},
        {"#startRadians", "float"}, {"#endDegrees", "integer"}, {"#endRadians", "float"},
        {"#deltaDegrees", "integer"}, {"#deltaRadians", "float"}, {"#easeIn", "integer"},
        {"#easeOut", "integer"}},
       {"InterpolateNow", "SetInterpolation", "UseRadians", "GetAngle"}},
      {107, "magnify", "Magnify", "#magnify",
       {{"#animMode", "symbol"}, {"#interpolation", "integer"}, {"#numFrames", "integer"},
        {"#percentage", "integer"}, {"#startPercentage", "integer"},
        {"#endPercentage", "integer"}, {"#magPoint", "point"}, {"#magPointX", "integer"},
        {"#magPointY", "integer"}, {"#easeIn", "integer"}, {"#easeOut", "integer"}},
       {"SetMagPoint", "InterpolateNow", "SetInterpolation"}},
      {108, "lineskip", "LineSkip", "#lineskip",
       {{"#animMode", "symbol"}, {"#interpolation", "integer"}, {"#numFrames", "integer"},
        {"#linesToSkip", "integer"}, {"#linesToDraw", "integer"}, {"#startSkip", "integer"},
        {"#startDraw", "integer"}, {"#endSkip", "integer"}, {"#endDraw", "integer"},
        {"#offset", "integer"}, {"#startOffset", "integer"}, {"#endOffset", "integer"}},
       {}},
      {111, "hsb", "HSB", "#hsb",
       {{"#animMode", "symbol"},     {"#interpolation", "integer"}, {"#numFrames", "integer"},
        {"#hueShift", "integer"},    {"#satShift", "integer"},      {"#brightShift", "integer"},
        {"#startHue", "integer"},    {"#startSat", "integer"},      {"#startBright", "integer"},
        {"#endHue", "integer"},      {"#endSat", "integer"},        {"#endBright", "integer"},
        {"#colorShift", "list"},     {"#startShift", "list"},       {"#endShift", "list"},
        {"#hue", "integer"},         {"#saturation", "integer"},    {"#brightness", "integer"},
        {"#easeIn", "integer"},      {"#easeOut", "integer"},       {"#forceHue", "integer"},
        {"#forceSat", "integer"},    {"#forceBright", "integer"}},
       {}},
      {112, "pointel", "Pointel", "#pointel",
       {{"#animMode", "symbol"}, {"#speed", "integer"}, {"#intensity", "integer"},
        {"#radius", "integer"}},
       {}},
      {113, "snow", "Snow", "#snow",
       {{"#animMode", "symbol"}, {"#speed", "integer"}, {"#intensity", "integer"},
        {"#strength", "integer"}, {"#chroma", "integer"}},
       {}},
  };
  return texts;
}

void PrintTo(const Text& t, std::ostream* os) { *os << t.source; }

// Code page 932 bytes of the title's fixed parts.
const std::string kOpenBracket = "\x81\x75";   // 「
const std::string kCloseBracket = "\x81\x76";  // 」
const std::string kEffectWord = "\x83\x47\x83\x74\x83\x46\x83\x4e\x83\x67";  // エフェクト

bool IsLeadByte(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrailByte(std::uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

bool IsTypeWord(const std::string& w) {
  return w == "symbol" || w == "integer" || w == "float" || w == "point" || w == "list";
}

std::vector<std::string> SplitLines(const std::string& text, char end) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  for (std::string::size_type at; (at = text.find(end, start)) != std::string::npos;
       start = at + 1)
    lines.push_back(text.substr(start, at - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (char c : line) {
    if (c == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

class DescriptionText : public ::testing::TestWithParam<Text> {
 protected:
  void SetUp() override {
    UseBuiltModuleResources();
    char* block = nullptr;
    ASSERT_EQ(LoadDescription(provider_.Interface(), &services_, GetParam().id, &block), kOk);
    ASSERT_NE(block, nullptr) << "description " << GetParam().id << " is missing";
    text_ = block;
    blockSize_ = allocator_.BlockSize(block);
    trailing_.assign(block + text_.size(), block + text_.size() + 2);
    allocator_.Free(block);
    lines_ = SplitLines(text_, '\r');
  }

  // Index of the first line at or after `from` that starts with `prefix`.
  std::size_t FindLine(const std::string& prefix, std::size_t from = 0) const {
    for (std::size_t i = from; i < lines_.size(); ++i)
      if (lines_[i].rfind(prefix, 0) == 0) return i;
    return lines_.size();
  }

  host::Allocator allocator_;
  host::Values values_;
  host::Provider provider_{values_};
  Services services_{0, values_.Service(), 0, allocator_.Interface(), values_.Lists()};
  std::string text_;
  std::uint32_t blockSize_ = 0;
  std::string trailing_;
  std::vector<std::string> lines_;
};

TEST_P(DescriptionText, IsTheWholeResourceWithTwoZeroBytesAfter) {
  RawResource raw;
  ASSERT_TRUE(FindRawResource(ModuleHandle(), kDescriptionType, GetParam().id, &raw));
  EXPECT_EQ(text_.size(), raw.size) << "a zero byte inside the resource cuts the text";
  ReleaseRawResource(&raw);
  EXPECT_EQ(blockSize_, text_.size() + 3);
  EXPECT_EQ(trailing_, std::string(2, '\0'));
}

TEST_P(DescriptionText, UsesCarriageReturnsOnlyAndValidCodePage932) {
  ASSERT_FALSE(text_.empty());
  EXPECT_EQ(text_.find('\n'), std::string::npos);
  EXPECT_EQ(text_.back(), '\r') << "the last line is not ended";
  for (std::size_t i = 0; i < text_.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(text_[i]);
    if (b < 0x80) continue;
    ASSERT_TRUE(IsLeadByte(b)) << "byte " << i << " is no lead byte";
    ASSERT_LT(i + 1, text_.size());
    ASSERT_TRUE(IsTrailByte(static_cast<std::uint8_t>(text_[i + 1])))
        << "byte " << i + 1 << " is no trail byte";
    ++i;
  }
}

#if defined(VX_HAVE_ICONV)
TEST_P(DescriptionText, ConvertsBackToItsSource) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no code page 932 converter here";
  std::string in = text_;
  std::string out(in.size() * 3, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size();
  std::size_t outLeft = out.size();
  const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  ASSERT_NE(done, static_cast<std::size_t>(-1)) << "not valid code page 932";
  ASSERT_EQ(inLeft, 0u);
  out.resize(out.size() - outLeft);
  for (char& c : out)
    if (c == '\r') c = '\n';

  const std::string path = std::string(VX_DESCRIPTION_SOURCES) + "/" + GetParam().source + ".txt";
  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file) << path;
  const std::string source{std::istreambuf_iterator<char>(file), {}};
  EXPECT_EQ(out, source);
}
#endif

TEST_P(DescriptionText, OpensWithTitleHeaderAndEffectSymbol) {
  const Text& t = GetParam();
  ASSERT_GE(lines_.size(), 7u);
  EXPECT_EQ(lines_[0], kOpenBracket + t.title + kCloseBracket + kEffectWord);

  const std::string run(19, '_');
  bool version = false;
  bool set = false;
  for (std::size_t i = 1; i <= 4; ++i) {
    EXPECT_EQ(lines_[i].rfind(run, 0), 0u) << "header line " << i;
    ASSERT_GT(lines_[i].size(), 19u);
    EXPECT_NE(lines_[i][19], '_') << "header line " << i << " has more than 19 underscores";
    version |= lines_[i].find("Version 1.0") != std::string::npos;
    set |= lines_[i].find("Vornix Set 1") != std::string::npos;
  }
  EXPECT_TRUE(version);
  EXPECT_TRUE(set);

  EXPECT_EQ(lines_[5], "");
  const std::string label = "Effect Symbol:";
  ASSERT_EQ(lines_[6].rfind(label, 0), 0u);
  const std::string rest = lines_[6].substr(label.size());
  EXPECT_EQ(rest.find_first_not_of(' '), rest.size() - std::string(t.symbol).size())
      << "expected spaces, then " << t.symbol;
  EXPECT_EQ(Words(rest), std::vector<std::string>{t.symbol});
}

TEST_P(DescriptionText, ListsExactlyTheEffectsProperties) {
  const Text& t = GetParam();
  const std::size_t header = FindLine("_", 7);
  ASSERT_LT(header, lines_.size()) << "no property table";
  const std::string& h = lines_[header];
  const auto properties = h.find("Properties");
  const auto type = h.find("Type");
  const auto value = h.find("Value");
  ASSERT_NE(properties, std::string::npos);
  ASSERT_NE(type, std::string::npos);
  ASSERT_NE(value, std::string::npos);
  EXPECT_LT(properties, type);
  EXPECT_LT(type, value);
  EXPECT_EQ(h.back(), '_');

  std::size_t i = header + 1;
  std::vector<std::string> keys;
  for (; i < lines_.size() && !lines_[i].empty(); ++i) {
    const std::vector<std::string> words = Words(lines_[i]);
    ASSERT_GE(words.size(), 3u) << "row without a value: " << lines_[i];
    const std::size_t row = keys.size();
    keys.push_back(words[0]);
    if (row < t.rows.size()) {
      EXPECT_EQ(words[0], t.rows[row].key);
      EXPECT_EQ(words[1], t.rows[row].type) << words[0];
    } else {
      ADD_FAILURE() << "extra row " << words[0];
    }
  }
  EXPECT_EQ(keys.size(), t.rows.size());

  // Nothing after the table looks like another row.
  for (; i < lines_.size(); ++i) {
    const std::vector<std::string> words = Words(lines_[i]);
    EXPECT_FALSE(words.size() >= 2 && words[0][0] == '#' && IsTypeWord(words[1]))
        << "row outside the table: " << lines_[i];
  }
}

TEST_P(DescriptionText, ShowsCallFormsOfEveryScriptFunction) {
  const Text& t = GetParam();
  const std::string receiver = std::string("(sprite x, ") + t.symbol;
  std::vector<std::string> called;
  for (const std::string& line : lines_) {
    const auto at = line.find("(sprite x, ");
    if (at == std::string::npos || line.rfind(" ", 0) == 0) continue;
    EXPECT_EQ(line.compare(at, receiver.size(), receiver), 0) << line;
    EXPECT_EQ(line.back(), ')') << line;
    called.push_back(line.substr(0, at));
  }
  for (const char* name : t.functions) {
    bool shown = false;
    for (const std::string& c : called) shown |= c == name;
    EXPECT_TRUE(shown) << name << " has no call form";
  }
  for (const std::string& c : called) {
    bool known = false;
    for (const char* name : t.functions) known |= c == name;
    EXPECT_TRUE(known) << c << " is not a function of " << t.symbol;
  }
}

INSTANTIATE_TEST_SUITE_P(AllEffects, DescriptionText, ::testing::ValuesIn(Texts()),
                         [](const ::testing::TestParamInfo<Text>& info) {
                           return std::string(info.param.source);
                         });

}  // namespace
}  // namespace vx
