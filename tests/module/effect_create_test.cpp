// Create and destroy of the effect classes: the fields every effect begins
// with, and what happens when the host's services fail.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "framework/effect_class.h"
#include "host/core/host.h"

namespace vx::host {
namespace {

struct EffectName {
  const Guid* classId;
  const char* symbolText;
};

const EffectName kEffects[] = {
    {&kRgbClassId, "rgb"},           {&kMagnifyClassId, "magnify"}, {&kRotateClassId, "rotate"},
    {&kMosaicClassId, "mosaic"},     {&kSwirlClassId, "swirl"},     {&kLineSkipClassId, "lineskip"},
    {&kSnowClassId, "snow"},         {&kHsbClassId, "hsb"},         {&kPointelClassId, "pointel"},
};

const EffectInstance& CommonFields(const Instance& instance) {
  return *static_cast<const EffectInstance*>(instance.Memory());
}

TEST(EffectCreate, MakesTheLowerCaseSymbolAndReleasesTheValueService) {
  Host host(VX_MODULE_PATH);
  for (const EffectName& effect : kEffects) {
    SCOPED_TRACE(effect.symbolText);
    Status status = -1;
    std::unique_ptr<Instance> instance = host.Create(*effect.classId, &status);
    ASSERT_EQ(status, kOk);
    ASSERT_NE(instance, nullptr);
    const EffectInstance& fields = CommonFields(*instance);
    EXPECT_EQ(host.values().SymbolText(fields.effectSymbol), effect.symbolText);
    EXPECT_EQ(fields.propertyTable, nullptr);
    EXPECT_EQ(host.values().ServiceReferences(), 0);
    // The header is the host's and stays as filled.
    EXPECT_EQ(instance->Header()->allocator, host.allocator().Interface());
    EXPECT_EQ(instance->Header()->provider, host.provider().Interface());
  }
  // The registered text is "lineSkip"; the effect's own symbol is not.
  EXPECT_NE(host.values().Intern("lineSkip"), host.values().Intern("lineskip"));
}

TEST(EffectCreate, StartsStaticAndFinished) {
  Host host(VX_MODULE_PATH);
  std::unique_ptr<Instance> instance = host.Create(kMosaicClassId);
  ASSERT_NE(instance, nullptr);
  const AnimState& anim = CommonFields(*instance).anim;
  EXPECT_EQ(anim.mode, 0);
  EXPECT_EQ(anim.frameCount, 0);
  EXPECT_EQ(anim.frame, 1);
  EXPECT_EQ(anim.direction, 0);
  EXPECT_EQ(anim.finished, 1);
}

TEST(EffectCreate, FailingValueQueryReturnsItsStatusAndSetsNothing) {
  Host host(VX_MODULE_PATH);
  constexpr Status kRefused = static_cast<Status>(0x80040777u);
  host.provider().FailValueQuery(kRefused);
  for (const EffectName& effect : kEffects) {
    SCOPED_TRACE(effect.symbolText);
    std::int32_t size = 0;
    CreateFn create = nullptr;
    DestroyFn destroy = nullptr;
    ASSERT_EQ(host.module().DllGetClassForm(effect.classId, &size, &create, &destroy), kOk);

    std::vector<unsigned char> memory(static_cast<std::size_t>(size) + sizeof(Word), 0x5A);
    InstanceHeader header{};
    header.provider = host.provider().Interface();
    header.allocator = host.allocator().Interface();
    std::memcpy(memory.data(), &header, sizeof header);
    const std::vector<unsigned char> before = memory;

    EXPECT_EQ(create(memory.data()), kRefused);
    EXPECT_EQ(memory, before);
  }
  EXPECT_EQ(host.values().ServiceReferences(), 0);
  EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
}

TEST(EffectDestroy, FreesTheCachedPropertyTable) {
  Host host(VX_MODULE_PATH);
  std::unique_ptr<Instance> instance = host.Create(kHsbClassId);
  ASSERT_NE(instance, nullptr);
  // Stand in for a table GetPropertyTable built from the instance's allocator.
  void* table = host.allocator().Allocate(3 * sizeof(PropertyDesc));
  ASSERT_NE(table, nullptr);
  static_cast<EffectInstance*>(instance->Memory())->propertyTable =
      static_cast<PropertyDesc*>(table);
  ASSERT_EQ(host.allocator().LiveBlocks(), 1u);
  instance.reset();
  EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
  EXPECT_EQ(host.allocator().BadFreeCount(), 0u);
}

TEST(EffectDestroy, WithoutPropertyTableFreesNothing) {
  Host host(VX_MODULE_PATH);
  std::unique_ptr<Instance> instance = host.Create(kSnowClassId);
  ASSERT_NE(instance, nullptr);
  instance.reset();
  EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
  EXPECT_EQ(host.allocator().BadFreeCount(), 0u);
}

}  // namespace
}  // namespace vx::host
