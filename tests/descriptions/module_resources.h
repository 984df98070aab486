// Internal tests link the module's code; where the resources live in the
// built library rather than in that code (Windows), search the library.
#pragma once

#include "framework/resource_access.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vx {

inline void UseBuiltModuleResources() {
#if defined(_WIN32)
  static const HMODULE module = LoadLibraryA(VX_MODULE_PATH);
  SetModuleHandle(reinterpret_cast<Word>(module));
#endif
}

}  // namespace vx
