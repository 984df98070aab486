// The handle the library entry routine stores is the one the module later
// names when it opens resource access: it must be the loaded library itself,
// or every resource lookup searches the wrong module.
#include <gtest/gtest.h>

#include "host/core/host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vx::host {
namespace {

// The image an address belongs to, or null when it belongs to none.
const void* ImageOf(const void* address) {
#if defined(_WIN32)
  HMODULE image = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &image))
    return nullptr;
  return image;
#else
  Dl_info info{};
  if (dladdr(address, &info) == 0) return nullptr;
  return info.dli_fbase;
#endif
}

// Makes the module open resource access once, through an effect's
// description, and answers the handle it passed.
Word HandleNamedByDescription(Host& host) {
  auto instance = host.Create(kMosaicClassId);
  EXPECT_NE(instance, nullptr);
  if (instance == nullptr) return 0;
  auto effect = instance->Effect();
  EXPECT_TRUE(effect);
  if (!effect) return 0;
  Services services = host.MakeServices();
  const int beginsBefore = host.provider().Begins();
  char* text = nullptr;
  EXPECT_EQ(effect->ops->GetDescription(effect.get(), &text, &services), kOk);
  EXPECT_NE(text, nullptr);
  if (text != nullptr) host.allocator().Free(text);
  EXPECT_EQ(host.provider().Begins(), beginsBefore + 1);
  EXPECT_EQ(host.provider().OpenAccesses(), 0);
  return host.provider().LastModuleHandle();
}

TEST(ModuleHandle, ResourceAccessNamesTheLoadedLibrary) {
  Host host(VX_MODULE_PATH);
  const Word handle = HandleNamedByDescription(host);
  ASSERT_NE(handle, 0u);

  const void* exportImage = ImageOf(reinterpret_cast<const void*>(host.module().DllGetClassInfo));
  ASSERT_NE(exportImage, nullptr);
  // Not the test program's own image.
  EXPECT_NE(exportImage, ImageOf(reinterpret_cast<const void*>(&ImageOf)));
#if defined(_WIN32)
  // Windows hands the entry routine the HMODULE, the same value LoadLibrary
  // returned to the host and the image base of the library.
  EXPECT_EQ(handle, reinterpret_cast<Word>(host.module().NativeHandle()));
  EXPECT_EQ(reinterpret_cast<const void*>(handle), exportImage);
#else
  // Here the handle is an address inside the library's own image.
  EXPECT_EQ(ImageOf(reinterpret_cast<const void*>(handle)), exportImage);
#endif
}

TEST(ModuleHandle, StaysTheSameAcrossInstancesAndHosts) {
  Host first(VX_MODULE_PATH);
  const Word handle = HandleNamedByDescription(first);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(HandleNamedByDescription(first), handle);
  // A second load of a library already loaded maps the same image.
  Host second(VX_MODULE_PATH);
  EXPECT_EQ(HandleNamedByDescription(second), handle);
}

}  // namespace
}  // namespace vx::host
