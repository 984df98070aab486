// Finding the module's own resources by type and id.
#include <gtest/gtest.h>

#include "framework/resource_access.h"

#if !defined(_WIN32)
namespace vx {
namespace {

TEST(ResourceAccess, OnlyTheModuleHandleIsSearched) {
  const Word handle = ModuleHandle();
  ASSERT_NE(handle, 0u);
  const EmbeddedResources table = GetEmbeddedResources();
  if (table.count == 0) GTEST_SKIP() << "the build carries no resources";
  const EmbeddedResource& first = table.entries[0];

  RawResource found;
  ASSERT_TRUE(FindRawResource(handle, first.type, first.id, &found));
  EXPECT_EQ(found.bytes, first.bytes);
  EXPECT_EQ(found.size, first.size);
  ReleaseRawResource(&found);
  EXPECT_EQ(found.bytes, nullptr);

  RawResource other{reinterpret_cast<const std::uint8_t*>(&handle), 7, 0};
  EXPECT_FALSE(FindRawResource(handle + 1, first.type, first.id, &other));
  EXPECT_EQ(other.bytes, nullptr);
  EXPECT_EQ(other.size, 0u);
  EXPECT_FALSE(FindRawResource(0, first.type, first.id, &other));
}

TEST(ResourceAccess, TypeAndIdMustBothMatch) {
  const Word handle = ModuleHandle();
  const EmbeddedResources table = GetEmbeddedResources();
  if (table.count == 0) GTEST_SKIP() << "the build carries no resources";
  const EmbeddedResource& first = table.entries[0];
  RawResource found;
  EXPECT_FALSE(FindRawResource(handle, "NOSUCHTYPE", first.id, &found));
  EXPECT_FALSE(FindRawResource(handle, first.type, -1, &found));
  EXPECT_FALSE(FindRawResource(handle, nullptr, first.id, &found));
  EXPECT_EQ(found.bytes, nullptr);
}

}  // namespace
}  // namespace vx
#endif
