// Finding the module's own resources by type and id: every resource the build
// declares is found with exactly the bytes of its built file, and nothing is
// found under another type, id or module handle. On Windows this searches
// the real resources of the built library; elsewhere the table compiled in.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/resource_access.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vx {
namespace {

struct BuiltResource {
  const char* type;
  std::int32_t id;
  const char* path;
};

// Generated from the resource list of the build.
const BuiltResource kBuilt[] = {
#include "built_resources.inc"
};

// The description texts and their numbers, one per effect.
const std::int32_t kDescriptionIds[] = {102, 104, 105, 106, 107, 108, 111, 112, 113};

std::vector<std::uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ResourceAccess : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(_WIN32)
    // The test program carries no resources of its own: search the library.
    library_ = LoadLibraryA(VX_MODULE_PATH);
    ASSERT_NE(library_, nullptr);
    handle_ = reinterpret_cast<Word>(library_);
#else
    handle_ = ModuleHandle();
#endif
    ASSERT_NE(handle_, 0u);
  }
  void TearDown() override {
#if defined(_WIN32)
    if (library_ != nullptr) FreeLibrary(library_);
#endif
  }

  std::vector<std::uint8_t> Find(const char* type, std::int32_t id) {
    RawResource found;
    if (!FindRawResource(handle_, type, id, &found)) {
      EXPECT_EQ(found.bytes, nullptr);
      EXPECT_EQ(found.size, 0u);
      return {};
    }
    EXPECT_NE(found.bytes, nullptr);
    std::vector<std::uint8_t> bytes(found.bytes, found.bytes + found.size);
    ReleaseRawResource(&found);
    EXPECT_EQ(found.bytes, nullptr);
    return bytes;
  }

  Word handle_ = 0;
#if defined(_WIN32)
  HMODULE library_ = nullptr;
#endif
};

TEST_F(ResourceAccess, EveryBuiltResourceHasTheBytesOfItsFile) {
  ASSERT_GT(std::size(kBuilt), 0u);
  for (const BuiltResource& r : kBuilt) {
    SCOPED_TRACE(std::string(r.type) + " " + std::to_string(r.id));
    const std::vector<std::uint8_t> expected = ReadFile(r.path);
    ASSERT_FALSE(expected.empty()) << r.path;
    EXPECT_EQ(Find(r.type, r.id), expected);
  }
}

TEST_F(ResourceAccess, EachDescriptionIsFoundUnderItsNumber) {
  for (std::int32_t id : kDescriptionIds) {
    SCOPED_TRACE(id);
    const std::vector<std::uint8_t> text = Find("MDESCRIBE", id);
    ASSERT_FALSE(text.empty());
    // Code page 932 with CR line ends and no zero inside.
    for (std::uint8_t byte : text) {
      EXPECT_NE(byte, '\n');
      EXPECT_NE(byte, 0);
    }
  }
  // The numbers between them name nothing.
  for (std::int32_t id : {101, 103, 109, 114}) EXPECT_TRUE(Find("MDESCRIBE", id).empty()) << id;
}

TEST_F(ResourceAccess, TypeAndIdMustBothMatch) {
  const std::vector<std::uint8_t> mosaic = Find("MDESCRIBE", 105);
  ASSERT_FALSE(mosaic.empty());
  EXPECT_TRUE(Find("MDESCRIBEX", 105).empty());
  EXPECT_TRUE(Find("MDESCRIB", 105).empty());
  EXPECT_TRUE(Find("PLASMAMAP", 105).empty());
  EXPECT_TRUE(Find("MDESCRIBE", -105).empty());
  EXPECT_TRUE(Find("MDESCRIBE", 105 + 65536).empty());
  EXPECT_TRUE(Find(nullptr, 105).empty());
}

TEST_F(ResourceAccess, OnlyTheModuleHandleIsSearched) {
  ASSERT_FALSE(Find("MDESCRIBE", 105).empty());
  // A stale output is cleared when nothing is found.
  const std::uint8_t junk = 7;
  RawResource found{&junk, 1, 0};
  EXPECT_FALSE(FindRawResource(0, "MDESCRIBE", 105, &found));
  EXPECT_EQ(found.bytes, nullptr);
  EXPECT_EQ(found.size, 0u);
#if !defined(_WIN32)
  found = {&junk, 1, 0};
  EXPECT_FALSE(FindRawResource(handle_ + 1, "MDESCRIBE", 105, &found));
  EXPECT_EQ(found.bytes, nullptr);
#endif
}

}  // namespace
}  // namespace vx
