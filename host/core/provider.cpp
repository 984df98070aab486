#include "host/core/provider.h"

namespace vx::host {

struct ProviderOps {
  using Bound = BoundInterface<ServiceProvider, Provider>;
  static Provider* Of(ServiceProvider* self) { return Bound::OwnerOf(self); }

  static Status VX_CALL QueryInterface(ServiceProvider* self, const Guid* iid, void** out) {
    Provider* provider = Of(self);
    if (provider->failQuery_ != kOk) {
      *out = nullptr;
      return provider->failQuery_;
    }
    ValueService* values = provider->values_.Service();
    return values->ops->QueryInterface(values, iid, out);
  }
  static std::uint32_t VX_CALL AddRef(ServiceProvider*) { return 1; }
  static std::uint32_t VX_CALL Release(ServiceProvider*) { return 1; }

  // Our host keeps no per-module resource state: the module's own handle is
  // the one to search.
  static Word VX_CALL BeginResourceAccess(ServiceProvider* self, Word moduleHandle, Word* token) {
    Provider* provider = Of(self);
    ++provider->begins_;
    provider->lastModuleHandle_ = moduleHandle;
    *token = provider->nextToken_++;
    return provider->hideResources_ ? 0 : moduleHandle;
  }
  static Status VX_CALL EndResourceAccess(ServiceProvider* self, Word, Word) {
    ++Of(self)->ends_;
    return kOk;
  }

  static const ServiceProviderOps kTable;
};

const ServiceProviderOps ProviderOps::kTable = {
    &QueryInterface, &AddRef, &Release, nullptr, nullptr, &BeginResourceAccess, &EndResourceAccess,
};

Provider::Provider(Values& values) : bound_{{&ProviderOps::kTable}, this}, values_(values) {}

}  // namespace vx::host
