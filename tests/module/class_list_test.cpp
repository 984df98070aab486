// The class list and class forms, seen through the exports.
#include <gtest/gtest.h>

#include "host/core/host.h"

namespace vx::host {
namespace {

constexpr Guid kZeroGuid{};

// Table order of the ten classes and the interface each one offers.
const Guid* const kClassOrder[] = {&kRegistrationClassId, &kRgbClassId,      &kMagnifyClassId,
                                   &kRotateClassId,       &kMosaicClassId,   &kSwirlClassId,
                                   &kLineSkipClassId,     &kSnowClassId,     &kHsbClassId,
                                   &kPointelClassId};

TEST(ClassList, TwentyOneRecordsInTableOrderWithTerminator) {
  Host host(VX_MODULE_PATH);
  ClassInfoRecord* records = nullptr;
  ASSERT_EQ(host.module().DllGetClassInfo(host.allocator().Interface(), &records), kOk);
  ASSERT_NE(records, nullptr);
  EXPECT_EQ(host.allocator().BlockSize(records), 21u * 40u);

  for (int row = 0; row < 10; ++row) {
    const ClassInfoRecord& classRecord = records[2 * row];
    const ClassInfoRecord& interfaceRecord = records[2 * row + 1];
    SCOPED_TRACE(ClassName(*kClassOrder[row]));
    EXPECT_EQ(classRecord.classId, *kClassOrder[row]);
    EXPECT_EQ(classRecord.classVersion, 1u);
    EXPECT_EQ(classRecord.interfaceId, kUnknownInterfaceId);
    EXPECT_EQ(classRecord.interfaceVersion, 1u);
    EXPECT_EQ(interfaceRecord.classId, *kClassOrder[row]);
    EXPECT_EQ(interfaceRecord.classVersion, 1u);
    EXPECT_EQ(interfaceRecord.interfaceId,
              row == 0 ? kRegistrationInterfaceId : kEffectInterfaceId);
    EXPECT_EQ(interfaceRecord.interfaceVersion, 1u);
  }
  EXPECT_EQ(records[20].classId, kZeroGuid);
  EXPECT_EQ(records[20].interfaceId, kZeroGuid);

  // The caller owns the array.
  EXPECT_TRUE(host.allocator().Free(records));
  EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
}

TEST(ClassList, AllocationFailureGivesNullAndChangesNothing) {
  Host host(VX_MODULE_PATH);
  host.allocator().FailNth(1);
  auto* records = reinterpret_cast<ClassInfoRecord*>(&host);  // must be overwritten
  EXPECT_EQ(host.module().DllGetClassInfo(host.allocator().Interface(), &records), kOutOfMemory);
  EXPECT_EQ(records, nullptr);
  EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
  EXPECT_EQ(host.module().DllCanUnloadNow(), kOk);
}

TEST(ClassForm, MosaicRowGivesItsSizeAndRoutines) {
  Host host(VX_MODULE_PATH);
  std::int32_t size = 0;
  CreateFn create = nullptr;
  DestroyFn destroy = nullptr;
  ASSERT_EQ(host.module().DllGetClassForm(&kMosaicClassId, &size, &create, &destroy), kOk);
  // Header, animation state, symbol and property table at the least.
  EXPECT_GE(size, static_cast<std::int32_t>(7 * sizeof(Word) + 6 * 4 + sizeof(void*)));
  EXPECT_NE(create, nullptr);
  EXPECT_NE(destroy, nullptr);

  // The routines are mosaic's own: rotate's row answers with others.
  std::int32_t rotateSize = 0;
  CreateFn rotateCreate = nullptr;
  DestroyFn rotateDestroy = nullptr;
  ASSERT_EQ(host.module().DllGetClassForm(&kRotateClassId, &rotateSize, &rotateCreate,
                                       &rotateDestroy),
            kOk);
  EXPECT_NE(create, rotateCreate);
  EXPECT_NE(destroy, rotateDestroy);
}

TEST(ClassForm, RegistrationClassIsTheBareHeader) {
  Host host(VX_MODULE_PATH);
  std::int32_t size = 0;
  CreateFn create = nullptr;
  DestroyFn destroy = nullptr;
  ASSERT_EQ(host.module().DllGetClassForm(&kRegistrationClassId, &size, &create, &destroy), kOk);
  EXPECT_EQ(size, static_cast<std::int32_t>(7 * sizeof(Word)));
  std::unique_ptr<Instance> instance = host.Create(kRegistrationClassId);
  EXPECT_NE(instance, nullptr);
}

TEST(ClassForm, UnknownClassLeavesOutputsUntouched) {
  Host host(VX_MODULE_PATH);
  const Guid unknown = {0x33586A83, 0x72F9, 0x11D0, {0xBC, 0x04, 0x8E, 0x1F, 0xDB, 0x20, 0x9E, 0x2C}};
  std::int32_t size = 1234;
  auto create = reinterpret_cast<CreateFn>(&host);
  auto destroy = reinterpret_cast<DestroyFn>(&host);
  EXPECT_EQ(host.module().DllGetClassForm(&unknown, &size, &create, &destroy), kNoClass);
  EXPECT_EQ(size, 1234);
  EXPECT_EQ(reinterpret_cast<void*>(create), static_cast<void*>(&host));
  EXPECT_EQ(reinterpret_cast<void*>(destroy), static_cast<void*>(&host));
  // An interface id is not a class id either.
  EXPECT_EQ(host.module().DllGetClassForm(&kEffectInterfaceId, &size, &create, &destroy), kNoClass);
}

TEST(ClassObject, AlwaysNoClass) {
  Host host(VX_MODULE_PATH);
  void* out = &host;
  EXPECT_EQ(host.module().DllGetClassObject(&kMosaicClassId, &kEffectInterfaceId, &out), kNoClass);
  EXPECT_EQ(out, static_cast<void*>(&host));
}

}  // namespace
}  // namespace vx::host
