#include "framework/resource_access.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vx {
namespace {
Word gModuleHandle = 0;
}

Word ModuleHandle() { return gModuleHandle; }
void SetModuleHandle(Word handle) { gModuleHandle = handle; }

#if defined(_WIN32)

bool FindRawResource(Word searchHandle, const char* type, std::int32_t id, RawResource* out) {
  *out = {};
  // A numeric name is 16 bits wide: anything else would either be read as a
  // text pointer or wrap onto another resource's number.
  if (type == nullptr || id <= 0 || id > 0xFFFF) return false;
  auto module = reinterpret_cast<HMODULE>(searchHandle);
  LPCSTR name = MAKEINTRESOURCEA(id);
  // The texts are stored as Japanese resources; take any language otherwise.
  HRSRC found =
      FindResourceExA(module, type, name, MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  if (found == nullptr) found = FindResourceA(module, name, type);
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return false;
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) {
    FreeResource(loaded);
    return false;
  }
  out->bytes = static_cast<const std::uint8_t*>(bytes);
  out->size = SizeofResource(module, found);
  out->loaded = reinterpret_cast<Word>(loaded);
  return true;
}

void ReleaseRawResource(RawResource* resource) {
  if (resource->loaded != 0) FreeResource(reinterpret_cast<HGLOBAL>(resource->loaded));
  *resource = {};
}

#else

// Only this module's own handle names the embedded table.
bool FindRawResource(Word searchHandle, const char* type, std::int32_t id, RawResource* out) {
  *out = {};
  if (searchHandle == 0 || searchHandle != gModuleHandle || type == nullptr) return false;
  const EmbeddedResources table = GetEmbeddedResources();
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const EmbeddedResource& entry = table.entries[i];
    if (entry.id == id && std::strcmp(entry.type, type) == 0) {
      out->bytes = entry.bytes;
      out->size = entry.size;
      return true;
    }
  }
  return false;
}

void ReleaseRawResource(RawResource* resource) { *resource = {}; }

#endif

}  // namespace vx
