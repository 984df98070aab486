// Copying resources out of the module: block sizes, failures, and the host's
// resource access around every lookup.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/descriptions.h"
#include "framework/resource_access.h"
#include "host/core/allocator.h"
#include "host/core/bound_interface.h"
#include "host/core/provider.h"
#include "host/core/values.h"
#include "module_resources.h"

namespace vx {
namespace {

constexpr std::int32_t kMosaicText = 105;
constexpr std::int32_t kNoSuchText = 103;

// Passes resource access on to the host's provider and notes what the module
// hands over; can also answer with another module's handle.
struct RecordingProvider {
  host::BoundInterface<ServiceProvider, RecordingProvider> bound{{&kOps}, this};
  host::Provider* inner = nullptr;
  Word foreignHandle = 0;  // when set, the handle to search instead
  std::vector<Word> beginHandles, tokensGiven, endHandles, endTokens;

  ServiceProvider* Interface() { return &bound.iface; }
  static RecordingProvider* Of(ServiceProvider* self) {
    return host::BoundInterface<ServiceProvider, RecordingProvider>::OwnerOf(self);
  }
  static Word VX_CALL Begin(ServiceProvider* self, Word module, Word* token) {
    RecordingProvider* p = Of(self);
    ServiceProvider* in = p->inner->Interface();
    const Word handle = in->ops->BeginResourceAccess(in, module, token);
    p->beginHandles.push_back(module);
    p->tokensGiven.push_back(*token);
    return p->foreignHandle != 0 ? p->foreignHandle : handle;
  }
  static Status VX_CALL End(ServiceProvider* self, Word module, Word token) {
    RecordingProvider* p = Of(self);
    p->endHandles.push_back(module);
    p->endTokens.push_back(token);
    ServiceProvider* in = p->inner->Interface();
    return in->ops->EndResourceAccess(in, module, token);
  }
  static const ServiceProviderOps kOps;
};
const ServiceProviderOps RecordingProvider::kOps = {nullptr, nullptr, nullptr, nullptr,
                                                    nullptr, &Begin,  &End};

class Loaders : public ::testing::Test {
 protected:
  void SetUp() override {
    UseBuiltModuleResources();
    recorder_.inner = &provider_;
    ASSERT_TRUE(FindRawResource(ModuleHandle(), kDescriptionType, kMosaicText, &mosaic_));
  }
  void TearDown() override { ReleaseRawResource(&mosaic_); }

  void ExpectOneBalancedAccess() {
    EXPECT_EQ(provider_.Begins(), 1);
    EXPECT_EQ(provider_.OpenAccesses(), 0);
    ASSERT_EQ(recorder_.beginHandles.size(), 1u);
    ASSERT_EQ(recorder_.endHandles.size(), 1u);
    EXPECT_EQ(recorder_.beginHandles[0], ModuleHandle());
    EXPECT_EQ(recorder_.endHandles[0], ModuleHandle());
    EXPECT_EQ(recorder_.endTokens[0], recorder_.tokensGiven[0]);
  }

  host::Allocator allocator_;
  host::Values values_;
  host::Provider provider_{values_};
  RecordingProvider recorder_;
  Services services_{0, values_.Service(), 0, allocator_.Interface(), values_.Lists()};
  RawResource mosaic_;
};

TEST_F(Loaders, DescriptionIsTextPlusThreeBytesInOneHostBlock) {
  char* text = nullptr;
  ASSERT_EQ(LoadDescription(recorder_.Interface(), &services_, kMosaicText, &text), kOk);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(allocator_.LiveBlocks(), 1u);
  EXPECT_EQ(allocator_.BlockSize(text), mosaic_.size + 3);
  EXPECT_EQ(std::memcmp(text, mosaic_.bytes, mosaic_.size), 0);
  EXPECT_EQ(text[mosaic_.size], '\0');
  EXPECT_EQ(text[mosaic_.size + 1], '\0');
  ExpectOneBalancedAccess();
  allocator_.Free(text);
}

TEST_F(Loaders, MissingDescriptionLeavesOutputAndEndsAccess) {
  char* text = nullptr;
  EXPECT_EQ(LoadDescription(recorder_.Interface(), &services_, kNoSuchText, &text), kOk);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(allocator_.RequestCount(), 0u);
  ExpectOneBalancedAccess();
}

TEST_F(Loaders, DescriptionIsSearchedInTheHandleTheHostNames) {
  // The handle of another module holds no texts of ours.
  recorder_.foreignHandle = ModuleHandle() + 1;
  char* text = nullptr;
  EXPECT_EQ(LoadDescription(recorder_.Interface(), &services_, kMosaicText, &text), kOk);
  EXPECT_EQ(text, nullptr);
  ExpectOneBalancedAccess();
}

TEST_F(Loaders, DescriptionAllocationFailureGivesNullAndEndsAccess) {
  allocator_.FailAll(true);
  char* text = nullptr;
  EXPECT_EQ(LoadDescription(recorder_.Interface(), &services_, kMosaicText, &text), kOutOfMemory);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(allocator_.FailedCount(), 1u);
  EXPECT_EQ(allocator_.LiveBlocks(), 0u);
  ExpectOneBalancedAccess();
}

TEST_F(Loaders, DescriptionWithoutAnAllocatorAllocatesNothing) {
  Services noAllocator{0, values_.Service(), 0, nullptr, values_.Lists()};
  char* text = nullptr;
  EXPECT_EQ(LoadDescription(recorder_.Interface(), &noAllocator, kMosaicText, &text), kOutOfMemory);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(provider_.OpenAccesses(), 0);
}

TEST_F(Loaders, ResourceCopyIsByteForByte) {
  std::uint8_t* bytes = nullptr;
  ASSERT_EQ(LoadResourceCopy(recorder_.Interface(), allocator_.Interface(), kMosaicText,
                             kDescriptionType, 0, &bytes),
            kOk);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(allocator_.BlockSize(bytes), mosaic_.size);
  EXPECT_EQ(std::memcmp(bytes, mosaic_.bytes, mosaic_.size), 0);
  ExpectOneBalancedAccess();
  allocator_.Free(bytes);
}

TEST_F(Loaders, ResourceCopyOfMissingResourceLeavesOutput) {
  std::uint8_t marker = 0;
  std::uint8_t* bytes = &marker;
  EXPECT_EQ(LoadResourceCopy(recorder_.Interface(), allocator_.Interface(), kMosaicText, "NOSUCHTYPE",
                             0, &bytes),
            kOk);
  EXPECT_EQ(bytes, &marker);
  EXPECT_EQ(allocator_.RequestCount(), 0u);
  ExpectOneBalancedAccess();
}

TEST_F(Loaders, ResourceCopyAllocationFailureEndsAccess) {
  allocator_.FailNth(1);
  std::uint8_t* bytes = nullptr;
  EXPECT_EQ(LoadResourceCopy(recorder_.Interface(), allocator_.Interface(), kMosaicText,
                             kDescriptionType, 0, &bytes),
            kOutOfMemory);
  EXPECT_EQ(bytes, nullptr);
  EXPECT_EQ(allocator_.LiveBlocks(), 0u);
  ExpectOneBalancedAccess();
}

TEST_F(Loaders, RepeatedLoadsKeepAccessBalanced) {
  for (int i = 0; i < 3; ++i) {
    char* text = nullptr;
    ASSERT_EQ(LoadDescription(provider_.Interface(), &services_, kMosaicText, &text), kOk);
    allocator_.Free(text);
    std::uint8_t* bytes = nullptr;
    ASSERT_EQ(LoadResourceCopy(provider_.Interface(), allocator_.Interface(), kMosaicText,
                               kDescriptionType, 0, &bytes),
              kOk);
    allocator_.Free(bytes);
  }
  EXPECT_EQ(provider_.Begins(), 6);
  EXPECT_EQ(provider_.OpenAccesses(), 0);
  EXPECT_EQ(allocator_.LiveBlocks(), 0u);
}

}  // namespace
}  // namespace vx
