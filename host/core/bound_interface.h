// Ties an interface record the module calls through to the C++ object that
// answers it.
#pragma once

namespace vx::host {

// Standard layout: a pointer to `iface` converts back to the whole record.
template <class Iface, class Owner>
struct BoundInterface {
  Iface iface;
  Owner* owner;

  static Owner* OwnerOf(Iface* self) { return reinterpret_cast<BoundInterface*>(self)->owner; }
};

}  // namespace vx::host
