// A small host: its services, instances it creates through the module's
// class forms, and the interfaces handed out on them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/core/allocator.h"
#include "host/core/module.h"
#include "host/core/provider.h"
#include "host/core/registry.h"
#include "host/core/values.h"
#include "vornix/abi.h"

namespace vx::host {

class Host;

// Releases its reference on destruction.
template <class Iface>
class InterfaceRef {
 public:
  InterfaceRef() = default;
  explicit InterfaceRef(Iface* iface) : iface_(iface) {}
  InterfaceRef(InterfaceRef&& other) noexcept : iface_(other.Detach()) {}
  InterfaceRef& operator=(InterfaceRef&& other) noexcept {
    if (this != &other) {
      Reset();
      iface_ = other.Detach();
    }
    return *this;
  }
  ~InterfaceRef() { Reset(); }

  Iface* get() const { return iface_; }
  Iface* operator->() const { return iface_; }
  explicit operator bool() const { return iface_ != nullptr; }
  Iface* Detach() {
    Iface* iface = iface_;
    iface_ = nullptr;
    return iface;
  }
  void Reset() {
    if (iface_ == nullptr) return;
    Iface* iface = Detach();
    iface->ops->Release(iface);
  }

 private:
  Iface* iface_ = nullptr;
};

// One object the host allocated and the module's create initialised. The
// header's word 1 points back here.
class Instance {
 public:
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  void* Memory() const { return memory_; }
  InstanceHeader* Header() const { return static_cast<InstanceHeader*>(memory_); }
  std::int32_t Size() const { return size_; }
  const Guid& ClassId() const { return classId_; }

  // References the module holds on the instance through its header.
  std::int32_t References() const { return references_; }
  // Releases beyond the references held: always a fault of the caller.
  std::int32_t OverReleases() const { return overReleases_; }

  // DllGetInterface for this instance.
  Status GetInterface(const Guid& interfaceId, void** out);
  InterfaceRef<EffectInterface> Effect();
  InterfaceRef<RegistrationInterface> Registration();

 private:
  friend class Host;
  friend struct InstanceOps;
  Instance(Host& host, const Guid& classId, std::int32_t size, DestroyFn destroy);

  Host& host_;
  Guid classId_;
  std::int32_t size_;
  DestroyFn destroy_;
  void* memory_ = nullptr;
  bool created_ = false;
  std::int32_t references_ = 0;
  std::int32_t overReleases_ = 0;
};

class Host {
 public:
  explicit Host(const std::string& modulePath);
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  Module& module() { return module_; }
  Allocator& allocator() { return allocator_; }
  Values& values() { return values_; }
  Provider& provider() { return provider_; }

  // The services argument of effect operations.
  Services MakeServices();

  // Null with `*status` set when the class is unknown or create fails.
  std::unique_ptr<Instance> Create(const Guid& classId, Status* status = nullptr);

  // Creates the registration class and has it register every effect.
  Status RegisterEffects(RegistryRecorder& registry, Word token = 1);

  // DllGetClassInfo up to (not including) the terminator; empty on failure.
  std::vector<ClassInfoRecord> ListClasses();

 private:
  Module module_;
  Allocator allocator_;
  Values values_;
  Provider provider_;
};

// A readable name for a class id of this module ("registration", "rgb", ...).
std::string ClassName(const Guid& classId);
std::string GuidText(const Guid& id);

// The script functions an effect's description lists (lines such as
// "RelToPoint(sprite x, #rotate, ...)"), each once, in the order listed.
std::vector<std::string> DescribedFunctions(const std::string& description);

}  // namespace vx::host
