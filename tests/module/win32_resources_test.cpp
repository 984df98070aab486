// The resources compiled into vornix.dll, read through the system's resource
// calls on the library the host loaded: the description texts exist under
// exactly their nine numbers, only in Japanese, and nothing answers to
// another type, number or language.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/core/module.h"

namespace vx {
namespace {

struct BuiltResource {
  const char* type;
  std::int32_t id;
  const char* path;
};

const BuiltResource kBuilt[] = {
#include "built_resources.inc"
};

const std::vector<int> kDescriptionIds = {102, 104, 105, 106, 107, 108, 111, 112, 113};
const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

std::vector<std::uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Win32Resources : public ::testing::Test {
 protected:
  HMODULE Library() const { return static_cast<HMODULE>(module_.NativeHandle()); }

  // The bytes of one resource in one language; empty when there is none.
  std::vector<std::uint8_t> Load(const char* type, int id, WORD language) const {
    HRSRC found = FindResourceExA(Library(), type, MAKEINTRESOURCEA(id), language);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(Library(), found);
    EXPECT_NE(loaded, nullptr);
    if (loaded == nullptr) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(LockResource(loaded));
    EXPECT_NE(bytes, nullptr);
    std::vector<std::uint8_t> copy;
    if (bytes != nullptr) copy.assign(bytes, bytes + SizeofResource(Library(), found));
    FreeResource(loaded);
    return copy;
  }

  host::Module module_{VX_MODULE_PATH};
};

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR list) {
  // Numbered names only; a text name shows as -1.
  reinterpret_cast<std::vector<int>*>(list)->push_back(
      IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(name)) : -1);
  return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

TEST_F(Win32Resources, DescriptionsCarryExactlyTheNineNumbers) {
  std::vector<int> ids;
  ASSERT_TRUE(EnumResourceNamesA(Library(), "MDESCRIBE", &CollectName,
                                 reinterpret_cast<LONG_PTR>(&ids)));
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, kDescriptionIds);
}

TEST_F(Win32Resources, EveryDescriptionIsJapaneseOnly) {
  for (int id : kDescriptionIds) {
    SCOPED_TRACE(id);
    std::vector<WORD> languages;
    ASSERT_TRUE(EnumResourceLanguagesA(Library(), "MDESCRIBE", MAKEINTRESOURCEA(id),
                                       &CollectLanguage, reinterpret_cast<LONG_PTR>(&languages)));
    EXPECT_EQ(languages, std::vector<WORD>{kJapanese});
  }
}

TEST_F(Win32Resources, EveryResourceHasTheBytesOfItsBuiltFile) {
  ASSERT_GT(std::size(kBuilt), 0u);
  for (const BuiltResource& r : kBuilt) {
    SCOPED_TRACE(std::string(r.type) + " " + std::to_string(r.id));
    const std::vector<std::uint8_t> expected = ReadFile(r.path);
    ASSERT_FALSE(expected.empty()) << r.path;
    EXPECT_EQ(Load(r.type, r.id, kJapanese), expected);
    // The plain lookup without a language finds the same resource.
    HRSRC plain = FindResourceA(Library(), MAKEINTRESOURCEA(r.id), r.type);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(SizeofResource(Library(), plain), expected.size());
  }
}

TEST_F(Win32Resources, WrongTypeOrNumberFindsNothing) {
  ASSERT_FALSE(Load("MDESCRIBE", 105, kJapanese).empty());
  for (int id : {101, 103, 109, 110, 114}) {
    EXPECT_EQ(FindResourceA(Library(), MAKEINTRESOURCEA(id), "MDESCRIBE"), nullptr) << id;
  }
  EXPECT_EQ(FindResourceA(Library(), MAKEINTRESOURCEA(105), "MDESCRIBEX"), nullptr);
  EXPECT_EQ(FindResourceA(Library(), MAKEINTRESOURCEA(105), MAKEINTRESOURCEA(10)), nullptr);
  // Named, not numbered.
  EXPECT_EQ(FindResourceA(Library(), "105", "MDESCRIBE"), nullptr);
  // The test program itself carries none of them.
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(105), "MDESCRIBE"), nullptr);
}

TEST_F(Win32Resources, OtherLanguagesFindNothing) {
  const WORD others[] = {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                         MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
                         MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)};
  for (WORD language : others) {
    SCOPED_TRACE(language);
    EXPECT_TRUE(Load("MDESCRIBE", 105, language).empty());
  }
}

}  // namespace
}  // namespace vx
