// The entries Register writes for Glissade, and how failures end it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/core/host.h"

namespace vx::host {
namespace {

struct Expected {
  const char* key;
  std::int32_t type;
  const char* text;
  std::int32_t value;
};

Expected T(const char* key, const char* text) { return {key, kEntryText, text, 0}; }
Expected I(const char* key, std::int32_t value) { return {key, kEntryInteger, "", value}; }

struct ExpectedEffect {
  const Guid* classId;
  std::vector<Expected> entries;
};

const std::vector<ExpectedEffect>& ExpectedRegistration() {
  static const std::vector<ExpectedEffect> kAll = {
      {&kRgbClassId,
       {T("symbolString", "rgb"), T("displayNameString", "RGB"),
        T("Interface Movie", "Vornix Set 1"), I("Architecture Version", 1), I("My Version", 1)}},
      {&kMagnifyClassId,
       {T("symbolString", "magnify"), T("displayNameString", "Magnify"),
        T("Interface Movie", "Vornix Set 1"), I("Architecture Version", 1), I("My Version", 1)}},
      {&kRotateClassId,
       {T("symbolString", "rotate"), T("displayNameString", "Rotate"),
        T("Interface Movie", "Vornix Set 1"), I("Architecture Version", 1), I("My Version", 1),
        I("Changes Alpha", 1), I("wM", 0), I("hM", 0), I("hyM", 1)}},
      {&kMosaicClassId,
       {T("symbolString", "mosaic"), T("displayNameString", "Mosaic"),
        T("Interface Movie", "Vornix Set 1"), I("Architecture Version", 1), I("My Version", 1)}},
      {&kSwirlClassId,
       {T("symbolString", "swirl"), T("displayNameString", "Swirl"),
        T("Interface Movie", "Vornix Set 1"), I("Changes Alpha", 1)}},
      {&kLineSkipClassId,
       {T("symbolString", "lineSkip"), T("displayNameString", "Line Skip"),
        T("Interface Movie", "Vornix Set 1"), I("Changes Alpha", 1)}},
      {&kSnowClassId,
       {T("symbolString", "snow"), T("displayNameString", "Snow"),
        T("Interface Movie", "Vornix Set 1")}},
      {&kHsbClassId,
       {T("symbolString", "hsb"), T("displayNameString", "HSB"),
        T("Interface Movie", "Vornix Set 1")}},
      {&kPointelClassId,
       {T("symbolString", "pointel"), T("displayNameString", "Pointel"),
        T("Interface Movie", "Vornix Set 1"), I("Changes Alpha", 1)}},
  };
  return kAll;
}

void ExpectEntry(const RegistryRecorder::Entry& got, const Expected& want, int dictionary) {
  SCOPED_TRACE(want.key);
  EXPECT_EQ(got.dictionary, dictionary);
  EXPECT_EQ(got.key, want.key);
  EXPECT_EQ(got.type, want.type);
  EXPECT_EQ(got.zero, 0);
  if (want.type == kEntryText)
    EXPECT_EQ(got.text, want.text);
  else
    EXPECT_EQ(got.value, want.value);
}

TEST(Register, NineOpensAndFortyTwoStoresInOrder) {
  Host host(VX_MODULE_PATH);
  RegistryRecorder registry;
  constexpr Word kToken = 0x5EED;
  ASSERT_EQ(host.RegisterEffects(registry, kToken), kOk);

  const auto& expected = ExpectedRegistration();
  ASSERT_EQ(registry.Openings().size(), 9u);
  ASSERT_EQ(registry.Entries().size(), 42u);
  const std::size_t perEffect[] = {5, 5, 9, 5, 4, 4, 3, 3, 4};
  std::size_t next = 0;
  for (int effect = 0; effect < 9; ++effect) {
    const auto& opening = registry.Openings()[static_cast<std::size_t>(effect)];
    const auto& want = expected[static_cast<std::size_t>(effect)];
    SCOPED_TRACE(ClassName(*want.classId));
    EXPECT_EQ(opening.token, kToken);
    EXPECT_EQ(opening.classId, *want.classId);
    EXPECT_EQ(opening.interfaceId, kEffectInterfaceId);
    ASSERT_EQ(want.entries.size(), perEffect[effect]);
    for (const Expected& entry : want.entries) ExpectEntry(registry.Entries()[next++], entry, effect);
  }
  EXPECT_EQ(host.module().DllCanUnloadNow(), kOk);
  EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
}

TEST(Register, FailingFourthStoreKeepsOnlyRgbFirstThree) {
  Host host(VX_MODULE_PATH);
  RegistryRecorder registry;
  constexpr Status kFull = static_cast<Status>(0x80040123u);
  registry.FailNthStore(4, kFull);
  EXPECT_EQ(host.RegisterEffects(registry), kFull);
  ASSERT_EQ(registry.Openings().size(), 1u);
  ASSERT_EQ(registry.Entries().size(), 3u);
  const auto& rgb = ExpectedRegistration()[0].entries;
  for (std::size_t i = 0; i < 3; ++i) ExpectEntry(registry.Entries()[i], rgb[i], 0);
}

TEST(Register, FailingOpenEndsAtOnce) {
  Host host(VX_MODULE_PATH);
  constexpr Status kLocked = static_cast<Status>(0x80040321u);
  {
    RegistryRecorder registry;
    registry.FailNthOpen(1, kLocked);
    EXPECT_EQ(host.RegisterEffects(registry), kLocked);
    EXPECT_TRUE(registry.Openings().empty());
    EXPECT_TRUE(registry.Entries().empty());
  }
  {
    // Rotate's open fails: RGB's and magnify's entries stay.
    RegistryRecorder registry;
    registry.FailNthOpen(3, kLocked);
    EXPECT_EQ(host.RegisterEffects(registry), kLocked);
    EXPECT_EQ(registry.Openings().size(), 2u);
    EXPECT_EQ(registry.Entries().size(), 10u);
  }
}

}  // namespace
}  // namespace vx::host
