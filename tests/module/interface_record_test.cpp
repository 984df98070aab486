// Interface records: what DllGetInterface hands out, the references they hold
// on the instance and when the module may be unloaded.
#include <gtest/gtest.h>

#include "host/core/host.h"

namespace vx::host {
namespace {

const Guid* const kEffectClasses[] = {&kRgbClassId,    &kMagnifyClassId,  &kRotateClassId,
                                      &kMosaicClassId, &kSwirlClassId,    &kLineSkipClassId,
                                      &kSnowClassId,   &kHsbClassId,      &kPointelClassId};

// The three words of a record as the host sees them.
const Word* RecordWords(const void* record) { return static_cast<const Word*>(record); }

TEST(GetInterface, EveryEffectClassGivesAThreeWordRecord) {
  Host host(VX_MODULE_PATH);
  for (const Guid* classId : kEffectClasses) {
    SCOPED_TRACE(ClassName(*classId));
    std::unique_ptr<Instance> instance = host.Create(*classId);
    ASSERT_NE(instance, nullptr);
    void* record = nullptr;
    ASSERT_EQ(instance->GetInterface(kEffectInterfaceId, &record), kOk);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(host.allocator().BlockSize(record), 3 * sizeof(Word));
    EXPECT_NE(RecordWords(record)[0], 0u);
    EXPECT_EQ(RecordWords(record)[1], reinterpret_cast<Word>(instance->Memory()));
    EXPECT_EQ(RecordWords(record)[2], 1u);
    EXPECT_EQ(instance->References(), 2);

    auto* effect = static_cast<EffectInterface*>(record);
    EXPECT_EQ(effect->ops->Release(effect), 0u);
    EXPECT_EQ(instance->References(), 0);
    EXPECT_EQ(instance->OverReleases(), 0);
  }
  EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
  EXPECT_EQ(host.allocator().BadFreeCount(), 0u);
}

TEST(GetInterface, EffectTableHasEveryOperation) {
  Host host(VX_MODULE_PATH);
  std::unique_ptr<Instance> instance = host.Create(kSnowClassId);
  ASSERT_NE(instance, nullptr);
  InterfaceRef<EffectInterface> effect = instance->Effect();
  ASSERT_TRUE(effect);
  const auto* slots = reinterpret_cast<void* const*>(effect->ops);
  for (std::size_t i = 0; i < sizeof(EffectOps) / sizeof(void*); ++i)
    EXPECT_NE(slots[i], nullptr) << "slot " << i;
  EXPECT_EQ(sizeof(EffectOps) / sizeof(void*), 20u);
}

TEST(GetInterface, WrongInterfaceOrClassLeavesOutputUntouched) {
  Host host(VX_MODULE_PATH);
  std::unique_ptr<Instance> registration = host.Create(kRegistrationClassId);
  std::unique_ptr<Instance> mosaic = host.Create(kMosaicClassId);
  ASSERT_NE(registration, nullptr);
  ASSERT_NE(mosaic, nullptr);
  void* out = &host;

  EXPECT_EQ(registration->GetInterface(kEffectInterfaceId, &out), kNoInterface);
  EXPECT_EQ(mosaic->GetInterface(kRegistrationInterfaceId, &out), kNoInterface);
  EXPECT_EQ(mosaic->GetInterface(kUnknownInterfaceId, &out), kNoInterface);
  const Guid unknownClass = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(host.module().DllGetInterface(mosaic->Memory(), &unknownClass, &kEffectInterfaceId, &out),
            kNoInterface);

  EXPECT_EQ(out, static_cast<void*>(&host));
  EXPECT_EQ(registration->References(), 0);
  EXPECT_EQ(mosaic->References(), 0);
  EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
  EXPECT_EQ(host.module().DllCanUnloadNow(), kOk);
}

TEST(RecordLifetime, TwoInstanceReferencesPerRecordAndOnePerExtraReference) {
  Host host(VX_MODULE_PATH);
  std::unique_ptr<Instance> instance = host.Create(kRotateClassId);
  ASSERT_NE(instance, nullptr);
  ASSERT_EQ(host.module().DllCanUnloadNow(), kOk);

  void* out = nullptr;
  ASSERT_EQ(instance->GetInterface(kEffectInterfaceId, &out), kOk);
  auto* effect = static_cast<EffectInterface*>(out);
  EXPECT_EQ(instance->References(), 2);
  EXPECT_EQ(host.module().DllCanUnloadNow(), kCannotUnload);

  EXPECT_EQ(effect->ops->AddRef(effect), 2u);
  EXPECT_EQ(RecordWords(effect)[2], 2u);
  EXPECT_EQ(instance->References(), 3);

  EXPECT_EQ(effect->ops->Release(effect), 1u);
  EXPECT_EQ(instance->References(), 2);
  EXPECT_EQ(host.module().DllCanUnloadNow(), kCannotUnload);
  EXPECT_EQ(host.allocator().LiveBlocks(), 1u);

  EXPECT_EQ(effect->ops->Release(effect), 0u);
  EXPECT_EQ(instance->References(), 0);
  EXPECT_EQ(host.module().DllCanUnloadNow(), kOk);
  EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
  EXPECT_EQ(instance->OverReleases(), 0);
}

TEST(RecordLifetime, UnloadWaitsForEveryRecord) {
  Host host(VX_MODULE_PATH);
  std::unique_ptr<Instance> swirl = host.Create(kSwirlClassId);
  std::unique_ptr<Instance> registration = host.Create(kRegistrationClassId);
  ASSERT_NE(swirl, nullptr);
  ASSERT_NE(registration, nullptr);
  {
    InterfaceRef<EffectInterface> effect = swirl->Effect();
    {
      InterfaceRef<RegistrationInterface> reg = registration->Registration();
      ASSERT_TRUE(effect);
      ASSERT_TRUE(reg);
      EXPECT_EQ(registration->References(), 2);
      EXPECT_EQ(host.module().DllCanUnloadNow(), kCannotUnload);
    }
    EXPECT_EQ(registration->References(), 0);
    EXPECT_EQ(host.module().DllCanUnloadNow(), kCannotUnload);
  }
  EXPECT_EQ(host.module().DllCanUnloadNow(), kOk);
}

TEST(RecordLifetime, QueryInterfaceGoesThroughTheHost) {
  Host host(VX_MODULE_PATH);
  std::unique_ptr<Instance> instance = host.Create(kMagnifyClassId);
  ASSERT_NE(instance, nullptr);
  InterfaceRef<EffectInterface> first = instance->Effect();
  ASSERT_TRUE(first);

  // Our host answers by asking DllGetInterface again: a second record.
  void* out = nullptr;
  ASSERT_EQ(first->ops->QueryInterface(first.get(), &kEffectInterfaceId, &out), kOk);
  InterfaceRef<EffectInterface> second(static_cast<EffectInterface*>(out));
  EXPECT_NE(second.get(), first.get());
  EXPECT_EQ(instance->References(), 4);

  out = &host;
  EXPECT_EQ(first->ops->QueryInterface(first.get(), &kRegistrationInterfaceId, &out),
            kNoInterface);
  EXPECT_EQ(out, static_cast<void*>(&host));
}

TEST(RecordLifetime, RecordsOfOneClassShareOneTable) {
  Host host(VX_MODULE_PATH);
  std::unique_ptr<Instance> a = host.Create(kMosaicClassId);
  std::unique_ptr<Instance> b = host.Create(kMosaicClassId);
  std::unique_ptr<Instance> other = host.Create(kLineSkipClassId);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  ASSERT_NE(other, nullptr);
  InterfaceRef<EffectInterface> ra = a->Effect();
  InterfaceRef<EffectInterface> rb = b->Effect();
  InterfaceRef<EffectInterface> ro = other->Effect();
  ASSERT_TRUE(ra && rb && ro);
  EXPECT_NE(ra.get(), rb.get());
  EXPECT_EQ(ra->ops, rb->ops);
  EXPECT_NE(ra->ops, ro->ops);
}

TEST(RecordLifetime, AllocationFailureChangesNothing) {
  Host host(VX_MODULE_PATH);
  for (const Guid* classId : {&kRegistrationClassId, &kPointelClassId}) {
    std::unique_ptr<Instance> instance = host.Create(*classId);
    ASSERT_NE(instance, nullptr);
    const std::size_t blocks = host.allocator().LiveBlocks();
    const std::size_t bytes = host.allocator().LiveBytes();
    host.allocator().FailNth(1);
    void* out = &host;
    const Guid& iid = classId == &kRegistrationClassId ? kRegistrationInterfaceId : kEffectInterfaceId;
    EXPECT_EQ(instance->GetInterface(iid, &out), kOutOfMemory);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(instance->References(), 0);
    EXPECT_EQ(host.module().DllCanUnloadNow(), kOk);
    EXPECT_EQ(host.allocator().LiveBlocks(), blocks);
    EXPECT_EQ(host.allocator().LiveBytes(), bytes);

    // The next request succeeds again.
    ASSERT_EQ(instance->GetInterface(iid, &out), kOk);
    static_cast<Unknown*>(out)->ops->Release(static_cast<Unknown*>(out));
  }
  EXPECT_EQ(host.module().DllCanUnloadNow(), kOk);
}

}  // namespace
}  // namespace vx::host
