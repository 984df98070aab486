// The library entry routine: remembers the module handle used to find our
// resources.
#include "framework/resource_access.h"

#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
  vx::SetModuleHandle(reinterpret_cast<vx::Word>(instance));
  return TRUE;
}

#else

namespace {

// Its address is unique to this loaded copy of the library.
const char gModuleAnchor = 0;

__attribute__((constructor)) void StoreModuleHandle() {
  vx::SetModuleHandle(reinterpret_cast<vx::Word>(&gModuleAnchor));
}

}  // namespace

#endif
