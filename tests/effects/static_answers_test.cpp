// What every effect class answers through its effect interface before any
// property list: names, symbol, property table, flags, description, and how
// those operations behave when the host allocator fails.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "effect_table.h"
#include "framework/effect_class.h"
#include "host/core/host.h"
#include "refusing_symbols.h"

namespace vx::host {
namespace {

constexpr Status kNoFunction = static_cast<Status>(0x800407DFu);
constexpr Status kNoMemory = static_cast<Status>(0x80040002u);
char* const kUnwritten = reinterpret_cast<char*>(0x5A5A);

class EffectAnswers : public ::testing::Test {
 protected:
  using Live = LiveEffect;
  Live Open(const Guid& classId) { return OpenEffect(host_, classId); }

  // Takes a block the module handed over, checks its size and frees it as
  // the host would.
  std::string TakeText(char* text, std::uint32_t extraBytes) {
    const std::string copy(text);
    EXPECT_EQ(host_.allocator().BlockSize(text), copy.size() + 1 + extraBytes);
    host_.allocator().Free(text);
    return copy;
  }

  Host host_{VX_MODULE_PATH};
  Services services_ = host_.MakeServices();
};

TEST_F(EffectAnswers, NamesSymbolTraitsAndFlag) {
  for (const ExpectedEffect& expected : ExpectedEffects()) {
    SCOPED_TRACE(expected.symbol);
    Live live = Open(*expected.classId);
    ASSERT_TRUE(live.effect);
    EffectInterface* e = live.effect.get();

    char* text = kUnwritten;
    ASSERT_EQ(e->ops->GetDisplayName(e, &text, &services_), kOk);
    EXPECT_EQ(TakeText(text, 0), expected.displayName);
    text = kUnwritten;
    ASSERT_EQ(e->ops->GetSetName(e, &text, &services_), kOk);
    EXPECT_EQ(TakeText(text, 0), "Vornix Set 1");

    Symbol symbol = 0;
    ASSERT_EQ(e->ops->GetEffectSymbol(e, &symbol, 0), kOk);
    EXPECT_EQ(host_.values().SymbolText(symbol), expected.symbol);

    std::int32_t a = 0, b = 0;
    ASSERT_EQ(e->ops->GetTraits(e, &a, &b), kOk);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);

    std::int32_t flag = -1;
    ASSERT_EQ(e->ops->QueryFlag(e, &flag, 0), kOk);
    EXPECT_EQ(flag, expected.changesAlpha ? 1 : 0);
  }
  EXPECT_EQ(host_.allocator().BadFreeCount(), 0u);
}

TEST_F(EffectAnswers, PropertyTablesMatchEachEffectsRows) {
  for (const ExpectedEffect& expected : ExpectedEffects()) {
    SCOPED_TRACE(expected.symbol);
    Live live = Open(*expected.classId);
    ASSERT_TRUE(live.effect);
    EffectInterface* e = live.effect.get();
    PropertyDesc* table = nullptr;
    std::int32_t count = -1;
    ASSERT_EQ(e->ops->GetPropertyTable(e, &table, &count, &services_), kOk);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(count, static_cast<std::int32_t>(expected.rows.size()));
    EXPECT_EQ(host_.allocator().BlockSize(table), expected.rows.size() * sizeof(PropertyDesc));
    for (std::size_t i = 0; i < expected.rows.size(); ++i) {
      SCOPED_TRACE(i);
      const ExpectedRow& row = expected.rows[i];
      if (row.key == nullptr) {
        // Unfilled rows carry no symbol the host could match a key against.
        EXPECT_EQ(host_.values().SymbolText(table[i].keySymbol), "");
        continue;
      }
      EXPECT_EQ(host_.values().SymbolText(table[i].keySymbol), row.key);
      EXPECT_EQ(table[i].propertyId, row.id);
      EXPECT_EQ(table[i].valueType, row.type);
    }
  }
}

// A key the host cannot make a symbol of stays an empty row, which no list
// key can match; the other rows and the count are as always.
TEST_F(EffectAnswers, RowWhoseKeyHasNoSymbolStaysEmpty) {
  for (const ExpectedEffect& expected : ExpectedEffects()) {
    const char* refusedKey = expected.rows.back().key;
    SCOPED_TRACE(refusedKey);
    RefusingSymbols refusing(host_.values(), refusedKey);
    Services services = services_;
    services.values = refusing.Service();
    Live live = Open(*expected.classId);
    ASSERT_TRUE(live.effect);
    EffectInterface* e = live.effect.get();
    PropertyDesc* table = nullptr;
    std::int32_t count = -1;
    ASSERT_EQ(e->ops->GetPropertyTable(e, &table, &count, &services), kOk);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(count, static_cast<std::int32_t>(expected.rows.size()));
    EXPECT_EQ(refusing.Refusals(), 1);
    const PropertyDesc& last = table[count - 1];
    EXPECT_EQ(last.keySymbol, 0);
    EXPECT_EQ(last.valueType, 0);
    EXPECT_EQ(last.propertyId, 0);
    for (std::int32_t i = 0; i + 1 < count; ++i) {
      if (expected.rows[i].key == nullptr) continue;
      EXPECT_EQ(host_.values().SymbolText(table[i].keySymbol), expected.rows[i].key);
      EXPECT_EQ(table[i].propertyId, expected.rows[i].id);
    }
  }
}

TEST_F(EffectAnswers, EffectsWithoutScriptFunctionsRefuseEveryCall) {
  const Symbol anyFunction = host_.values().Intern("GetAngle");
  int checked = 0;
  for (const ExpectedEffect& expected : ExpectedEffects()) {
    if (expected.hasScriptFunctions) continue;
    SCOPED_TRACE(expected.symbol);
    Live live = Open(*expected.classId);
    ASSERT_TRUE(live.effect);
    EffectInterface* e = live.effect.get();
    HostValue args[2] = {host_.values().Integer(1), host_.values().Integer(2)};
    HostValue result{0x1234};
    std::int32_t restarted = 7, changed = 7;
    EXPECT_EQ(e->ops->CallFunction(e, anyFunction, args, 2, 0, &result, &services_, &restarted,
                                   &changed),
              kNoFunction);
    EXPECT_EQ(result.bits, 0x1234u);
    EXPECT_EQ(restarted, 7);
    EXPECT_EQ(changed, 7);
    ++checked;
  }
  EXPECT_EQ(checked, 6);
}

TEST_F(EffectAnswers, EffectsThatKeepTheirShapeHaveNoAlphaToGive) {
  for (const Guid* id : {&kMosaicClassId, &kRgbClassId, &kHsbClassId, &kMagnifyClassId,
                         &kSnowClassId}) {
    SCOPED_TRACE(ClassName(*id));
    Live live = Open(*id);
    ASSERT_TRUE(live.effect);
    EffectInterface* e = live.effect.get();
    PixelView alpha{};
    SpriteDescription sprite{};
    std::int32_t value = 77;
    EXPECT_EQ(e->ops->GetAlphaAt(e, &alpha, 3, 4, &value, &sprite), kOk);
    EXPECT_EQ(value, 77);

    AreaRect update{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const AreaRect before = update;
    EXPECT_EQ(e->ops->RenderWithAlpha(e, nullptr, nullptr, nullptr, nullptr, &update, nullptr,
                                      nullptr, 255, 1, 0, nullptr),
              kOk);
    EXPECT_EQ(std::memcmp(&update, &before, sizeof update), 0);
  }
}

TEST_F(EffectAnswers, NamesAreNotWrittenWhenTheAllocatorFails) {
  Live live = Open(kLineSkipClassId);
  ASSERT_TRUE(live.effect);
  EffectInterface* e = live.effect.get();
  const std::size_t blocks = host_.allocator().LiveBlocks();
  char* text = kUnwritten;
  host_.allocator().FailNth(1);
  EXPECT_EQ(e->ops->GetDisplayName(e, &text, &services_), kNoMemory);
  EXPECT_EQ(text, kUnwritten);
  host_.allocator().FailNth(1);
  EXPECT_EQ(e->ops->GetSetName(e, &text, &services_), kNoMemory);
  EXPECT_EQ(text, kUnwritten);
  EXPECT_EQ(host_.allocator().LiveBlocks(), blocks);
  // The allocator recovers, and so does the answer.
  ASSERT_EQ(e->ops->GetDisplayName(e, &text, &services_), kOk);
  EXPECT_EQ(TakeText(text, 0), "LineSkip");
}

TEST_F(EffectAnswers, PropertyTableIsBuiltOnceAndRetriedAfterAFailure) {
  Live live = Open(kMosaicClassId);
  ASSERT_TRUE(live.effect);
  EffectInterface* e = live.effect.get();
  PropertyDesc* table = reinterpret_cast<PropertyDesc*>(kUnwritten);
  std::int32_t count = -1;

  host_.allocator().FailNth(1);
  EXPECT_EQ(e->ops->GetPropertyTable(e, &table, &count, &services_), kOk);
  EXPECT_EQ(table, nullptr);
  EXPECT_EQ(count, 10);

  ASSERT_EQ(e->ops->GetPropertyTable(e, &table, &count, &services_), kOk);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(count, 10);

  const std::size_t requests = host_.allocator().RequestCount();
  PropertyDesc* again = nullptr;
  ASSERT_EQ(e->ops->GetPropertyTable(e, &again, &count, &services_), kOk);
  EXPECT_EQ(again, table);
  EXPECT_EQ(host_.allocator().RequestCount(), requests);
}

TEST_F(EffectAnswers, SetPropertiesWithoutATableAppliesNothing) {
  Live live = Open(kMosaicClassId);
  ASSERT_TRUE(live.effect);
  EffectInterface* e = live.effect.get();
  const auto* fields = static_cast<const EffectInstance*>(live.instance->Memory());
  const AnimState before = fields->anim;
  HostValue list = host_.values().List({{"animMode", host_.values().SymbolValue("range")},
                                        {"numFrames", host_.values().Integer(5)},
                                        {"xResolution", host_.values().Integer(9)}});
  std::int32_t restarted = 0, changed = 0;
  host_.allocator().FailAll(true);
  EXPECT_EQ(e->ops->SetProperties(e, &list, 0, 0, &services_, &restarted, &changed), kNoMemory);
  host_.allocator().FailAll(false);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(restarted, 0);
  EXPECT_EQ(std::memcmp(&fields->anim, &before, sizeof before), 0);
  EXPECT_EQ(fields->propertyTable, nullptr);

  // With memory the same call builds the table that GetPropertyTable hands out.
  changed = 0;
  EXPECT_EQ(e->ops->SetProperties(e, &list, 0, 0, &services_, &restarted, &changed), kOk);
  EXPECT_EQ(changed, 1);
  const std::size_t requests = host_.allocator().RequestCount();
  PropertyDesc* table = nullptr;
  std::int32_t count = 0;
  ASSERT_EQ(e->ops->GetPropertyTable(e, &table, &count, &services_), kOk);
  EXPECT_NE(table, nullptr);
  EXPECT_EQ(table, fields->propertyTable);
  EXPECT_EQ(host_.allocator().RequestCount(), requests);
  host_.values().Release(&list);
}

TEST_F(EffectAnswers, MosaicDescriptionIsTheTerminatedTextWithTwoSpareZeros) {
  Live live = Open(kMosaicClassId);
  ASSERT_TRUE(live.effect);
  EffectInterface* e = live.effect.get();
  char* text = kUnwritten;
  ASSERT_EQ(e->ops->GetDescription(e, &text, &services_), kOk);
  ASSERT_NE(text, nullptr);
  ASSERT_NE(text, kUnwritten);
  const std::size_t length = std::strlen(text);
  EXPECT_EQ(host_.allocator().BlockSize(text), length + 3);
  EXPECT_EQ(text[length + 1], 0);
  EXPECT_EQ(text[length + 2], 0);
  const std::string description(text, length);
  // Title in corner brackets (code page 932), lines ended by CR alone.
  EXPECT_EQ(description.rfind("\x81\x75Mosaic\x81\x76", 0), 0u);
  EXPECT_EQ(description.find('\n'), std::string::npos);
  const std::size_t symbolLine = description.find("Effect Symbol:");
  ASSERT_NE(symbolLine, std::string::npos);
  const std::size_t lineEnd = description.find('\r', symbolLine);
  EXPECT_NE(description.substr(symbolLine, lineEnd - symbolLine).find("#mosaic"),
            std::string::npos);
  host_.allocator().Free(text);
  EXPECT_EQ(host_.provider().OpenAccesses(), 0);
}

TEST_F(EffectAnswers, EachDescriptionNamesItsOwnEffect) {
  for (const ExpectedEffect& expected : ExpectedEffects()) {
    SCOPED_TRACE(expected.symbol);
    Live live = Open(*expected.classId);
    ASSERT_TRUE(live.effect);
    EffectInterface* e = live.effect.get();
    char* text = nullptr;
    ASSERT_EQ(e->ops->GetDescription(e, &text, &services_), kOk);
    ASSERT_NE(text, nullptr);
    const std::string description(text);
    const std::size_t at = description.find("Effect Symbol:");
    ASSERT_NE(at, std::string::npos);
    const std::string line = description.substr(at, description.find('\r', at) - at);
    const std::string symbol = std::string("#") + expected.symbol;
    // The whole symbol, not a longer one starting with it.
    const std::size_t s = line.find(symbol);
    ASSERT_NE(s, std::string::npos) << line;
    EXPECT_EQ(line.size(), s + symbol.size()) << line;
    host_.allocator().Free(text);
  }
}

TEST_F(EffectAnswers, DescriptionWithoutMemoryIsNullButSucceeds) {
  Live live = Open(kMosaicClassId);
  ASSERT_TRUE(live.effect);
  EffectInterface* e = live.effect.get();
  const std::size_t blocks = host_.allocator().LiveBlocks();
  char* text = kUnwritten;
  host_.allocator().FailNth(1);
  EXPECT_EQ(e->ops->GetDescription(e, &text, &services_), kOk);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(host_.allocator().LiveBlocks(), blocks);
  EXPECT_EQ(host_.provider().OpenAccesses(), 0);
}

TEST_F(EffectAnswers, DestroyGivesTheTableBack) {
  for (const ExpectedEffect& expected : ExpectedEffects()) {
    SCOPED_TRACE(expected.symbol);
    const std::size_t baseline = host_.allocator().LiveBlocks();
    {
      Live live = Open(*expected.classId);
      ASSERT_TRUE(live.effect);
      EffectInterface* e = live.effect.get();
      PropertyDesc* table = nullptr;
      std::int32_t count = 0;
      ASSERT_EQ(e->ops->GetPropertyTable(e, &table, &count, &services_), kOk);
      ASSERT_NE(table, nullptr);
      EXPECT_GT(host_.allocator().LiveBlocks(), baseline);
    }
    EXPECT_EQ(host_.allocator().LiveBlocks(), baseline);
  }
  EXPECT_EQ(host_.allocator().BadFreeCount(), 0u);
}

}  // namespace
}  // namespace vx::host
