// A readable listing of the module's classes and its registration entries.
#pragma once

#include <ostream>

#include "host/core/host.h"

namespace vx::host {

// Prints the classes (name, class id, interface id) and, per registered
// effect, its entries. Returns the status of the registration.
Status PrintClasses(std::ostream& out, Host& host);

}  // namespace vx::host
