// The service provider of instance header word 2: hands out the value
// service and brackets resource access.
#pragma once

#include "host/core/bound_interface.h"
#include "host/core/values.h"
#include "vornix/abi.h"

namespace vx::host {

class Provider {
 public:
  explicit Provider(Values& values);
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;

  ServiceProvider* Interface() { return &bound_.iface; }

  // Queries for the value service answer `status` (and null) while set.
  void FailValueQuery(Status status) { failQuery_ = status; }
  // While set, resource access yields no module to search: the module's
  // resources are not found.
  void HideModuleResources(bool hide) { hideResources_ = hide; }

  int Begins() const { return begins_; }
  int Ends() const { return ends_; }
  // Resource accesses begun and not ended.
  int OpenAccesses() const { return begins_ - ends_; }
  // The module handle of the latest begin, as the module passed it.
  Word LastModuleHandle() const { return lastModuleHandle_; }

 private:
  friend struct ProviderOps;
  BoundInterface<ServiceProvider, Provider> bound_;
  Values& values_;
  Status failQuery_ = kOk;
  bool hideResources_ = false;
  int begins_ = 0;
  int ends_ = 0;
  Word nextToken_ = 1;
  Word lastModuleHandle_ = 0;
};

}  // namespace vx::host
