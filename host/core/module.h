// Loads the module by path and reaches it only through its five exports, as
// a host does.
#pragma once

#include <string>

#include "vornix/abi.h"

namespace vx::host {

class Module {
 public:
  // Throws std::runtime_error when the library or an export is missing.
  explicit Module(const std::string& path);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  DllGetClassInfoFn DllGetClassInfo = nullptr;
  DllGetClassFormFn DllGetClassForm = nullptr;
  DllGetInterfaceFn DllGetInterface = nullptr;
  DllGetClassObjectFn DllGetClassObject = nullptr;
  DllCanUnloadNowFn DllCanUnloadNow = nullptr;

  // What the loader returned: the HMODULE on Windows, the dlopen handle
  // elsewhere.
  void* NativeHandle() const { return library_; }

 private:
  void* library_ = nullptr;
};

}  // namespace vx::host
