// vornix-classes: lists the module's classes and the effects it registers.
//   vornix-classes [path-to-module]
#include <exception>
#include <iostream>

#include "host/core/listing.h"

#ifndef VX_MODULE_PATH
#define VX_MODULE_PATH ""
#endif

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : VX_MODULE_PATH;
  try {
    vx::host::Host host(path);
    return vx::host::PrintClasses(std::cout, host) == vx::kOk ? 0 : 1;
  } catch (const std::exception& error) {
    std::cerr << "vornix-classes: " << error.what() << "\n";
    return 2;
  }
}
