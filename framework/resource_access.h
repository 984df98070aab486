// Finding the module's own resources by type and id.
//
// On Windows these are real Win32 resources reached through the module
// handle; elsewhere a table generated at build time from resources/. Callers
// always go through the service provider's begin/end resource access first:
// the handle it yields is the one to search.
#pragma once

#include <cstdint>

#include "vornix/abi.h"

namespace vx {

// The handle the library entry routine stored (on Linux, set when the
// library is loaded).
Word ModuleHandle();
void SetModuleHandle(Word handle);

struct RawResource {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t size = 0;
  Word loaded = 0;  // platform handle to release
};

// Looks up `type`/`id` in the module named by `searchHandle`. False when it
// is not there or cannot be loaded; `out` is then left empty.
bool FindRawResource(Word searchHandle, const char* type, std::int32_t id, RawResource* out);
void ReleaseRawResource(RawResource* resource);

#if !defined(_WIN32)
// The resources carried in the library itself, generated at build time.
struct EmbeddedResource {
  const char* type;
  std::int32_t id;
  const std::uint8_t* bytes;
  std::uint32_t size;
};
struct EmbeddedResources {
  const EmbeddedResource* entries;
  std::uint32_t count;
};
EmbeddedResources GetEmbeddedResources();
#endif

}  // namespace vx
