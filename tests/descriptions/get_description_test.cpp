// GetDescription as a host sees it: each effect class hands out its own text
// in a block from the host allocator, and reports success also when it could
// not.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/core/host.h"

namespace vx {
namespace {

struct Effect {
  const Guid* classId;
  const char* title;
  const char* symbol;
};

const Effect kEffects[] = {
    {&kRotateClassId, "Rotate", "#rotate"},       {&kRgbClassId, "RGB", "#rgb"},
    {&kMosaicClassId, "Mosaic", "#mosaic"},       {&kSwirlClassId, "Swirl", "#swirl"},
    {&kMagnifyClassId, "Magnify", "#magnify"},    {&kLineSkipClassId, "LineSkip", "#lineskip"},
    {&kHsbClassId, "HSB", "#hsb"},                {&kPointelClassId, "Pointel", "#pointel"},
    {&kSnowClassId, "Snow", "#snow"},
};

// 「 and 」エフェクト in code page 932.
const std::string kTitleOpen = "\x81\x75";
const std::string kTitleClose = "\x81\x76\x83\x47\x83\x74\x83\x46\x83\x4e\x83\x67";

class GetDescription : public ::testing::Test {
 protected:
  std::unique_ptr<host::Instance> Create(const Guid& classId) {
    Status status = kOk;
    auto instance = host_.Create(classId, &status);
    EXPECT_EQ(status, kOk);
    return instance;
  }

  host::Host host_{VX_MODULE_PATH};
};

TEST_F(GetDescription, EveryEffectGivesItsOwnTitledText) {
  for (const Effect& e : kEffects) {
    SCOPED_TRACE(e.symbol);
    auto instance = Create(*e.classId);
    ASSERT_NE(instance, nullptr);
    auto effect = instance->Effect();
    ASSERT_TRUE(effect);
    Services services = host_.MakeServices();
    char* text = nullptr;
    ASSERT_EQ(effect->ops->GetDescription(effect.get(), &text, &services), kOk);
    ASSERT_NE(text, nullptr);

    const std::string s(text);
    EXPECT_EQ(s.substr(0, s.find('\r')), kTitleOpen + e.title + kTitleClose);
    const auto symbolLine = s.find("\rEffect Symbol:");
    ASSERT_NE(symbolLine, std::string::npos);
    const auto lineEnd = s.find('\r', symbolLine + 1);
    const std::string line = s.substr(symbolLine + 1, lineEnd - symbolLine - 1);
    EXPECT_EQ(line.substr(line.size() - std::strlen(e.symbol)), e.symbol);
    EXPECT_NE(line.find(' '), std::string::npos);

    EXPECT_EQ(host_.allocator().BlockSize(text), s.size() + 3);
    EXPECT_EQ(text[s.size() + 1], '\0');
    host_.allocator().Free(text);
  }
  EXPECT_EQ(host_.provider().OpenAccesses(), 0);
}

// The keys a text documents are the keys its effect's property table offers
// the host, in the table's order; unfilled rows are not documented.
TEST_F(GetDescription, DocumentedKeysAreTheKeysOfThePropertyTable) {
  for (const Effect& e : kEffects) {
    SCOPED_TRACE(e.symbol);
    auto instance = Create(*e.classId);
    ASSERT_NE(instance, nullptr);
    auto effect = instance->Effect();
    ASSERT_TRUE(effect);
    Services services = host_.MakeServices();

    PropertyDesc* table = nullptr;
    std::int32_t count = 0;
    ASSERT_EQ(effect->ops->GetPropertyTable(effect.get(), &table, &count, &services), kOk);
    ASSERT_NE(table, nullptr);
    std::vector<std::string> offered;
    for (std::int32_t i = 0; i < count; ++i)
      if (table[i].keySymbol != 0)
        offered.push_back("#" + host_.values().SymbolText(table[i].keySymbol));

    char* text = nullptr;
    ASSERT_EQ(effect->ops->GetDescription(effect.get(), &text, &services), kOk);
    ASSERT_NE(text, nullptr);
    std::vector<std::string> lines;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line, '\r');) lines.push_back(line);
    host_.allocator().Free(text);

    std::size_t row = 0;
    while (row < lines.size() &&
           !(lines[row].rfind("_", 0) == 0 && lines[row].find("Properties") != std::string::npos))
      ++row;
    ASSERT_LT(row, lines.size()) << "no property table";
    std::vector<std::string> documented;
    for (++row; row < lines.size() && !lines[row].empty(); ++row)
      documented.push_back(lines[row].substr(0, lines[row].find(' ')));
    EXPECT_EQ(documented, offered);
  }
}

TEST_F(GetDescription, AllocationFailureStillSucceedsWithNullText) {
  auto instance = Create(kMosaicClassId);
  ASSERT_NE(instance, nullptr);
  auto effect = instance->Effect();
  ASSERT_TRUE(effect);
  Services services = host_.MakeServices();
  const int beginsBefore = host_.provider().Begins();
  char marker = 0;
  char* text = &marker;
  host_.allocator().FailAll(true);
  EXPECT_EQ(effect->ops->GetDescription(effect.get(), &text, &services), kOk);
  host_.allocator().FailAll(false);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(host_.provider().Begins(), beginsBefore + 1);
  EXPECT_EQ(host_.provider().OpenAccesses(), 0);
}

}  // namespace
}  // namespace vx
