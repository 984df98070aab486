#include "host/core/module.h"

#include <stdexcept>

#if defined(VX_LINKED_MODULE)
#include <cstring>
#elif defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vx::host {
namespace {

#if defined(VX_LINKED_MODULE)
// The module is linked into the program (the WebAssembly build, which has
// no loader): the path is not used and the exports are found by name among
// the linked functions, so the host still reaches it only through them.
void* Open(const std::string&) { return reinterpret_cast<void*>(&DllGetClassInfo); }
void* Find(void*, const char* name) {
  struct Linked {
    const char* name;
    void* address;
  };
  static const Linked kExports[] = {
      {"DllGetClassInfo", reinterpret_cast<void*>(&DllGetClassInfo)},
      {"DllGetClassForm", reinterpret_cast<void*>(&DllGetClassForm)},
      {"DllGetInterface", reinterpret_cast<void*>(&DllGetInterface)},
      {"DllGetClassObject", reinterpret_cast<void*>(&DllGetClassObject)},
      {"DllCanUnloadNow", reinterpret_cast<void*>(&DllCanUnloadNow)},
  };
  for (const Linked& linked : kExports)
    if (std::strcmp(linked.name, name) == 0) return linked.address;
  return nullptr;
}
void Close(void*) {}
#elif defined(_WIN32)
void* Open(const std::string& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }
void* Find(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void Close(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
#else
void* Open(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* Find(void* library, const char* name) { return dlsym(library, name); }
void Close(void* library) { dlclose(library); }
#endif

template <class Fn>
void Bind(void* library, const char* name, Fn* out) {
  void* address = Find(library, name);
  if (address == nullptr) throw std::runtime_error(std::string("module lacks export ") + name);
  *out = reinterpret_cast<Fn>(address);
}

}  // namespace

Module::Module(const std::string& path) : library_(Open(path)) {
  if (library_ == nullptr) throw std::runtime_error("cannot load module " + path);
  try {
    Bind(library_, "DllGetClassInfo", &DllGetClassInfo);
    Bind(library_, "DllGetClassForm", &DllGetClassForm);
    Bind(library_, "DllGetInterface", &DllGetInterface);
    Bind(library_, "DllGetClassObject", &DllGetClassObject);
    Bind(library_, "DllCanUnloadNow", &DllCanUnloadNow);
  } catch (...) {
    Close(library_);
    throw;
  }
}

Module::~Module() { Close(library_); }

}  // namespace vx::host
