// The contract between the class table and the effect framework.
//
// An effect type derives from `EffectInstance` (host header, animation state,
// the two common fields) and adds its own fields; it names itself with
// `kName`, the lower-case text of its effect symbol. `EffectClass<Effect>`
// then yields everything the class table needs: instance size, create,
// destroy and the interface builder over one shared operation table.
//
// Its static answers and optional hooks are listed in framework/effect_ops.h.
#pragma once

#include <cstdint>
#include <type_traits>

#include "framework/animation.h"
#include "framework/effect_ops.h"
#include "framework/interface_record.h"
#include "vornix/abi.h"

namespace vx {

// The host allocates an instance as raw memory; every effect type must stay a
// plain record so that memory is the object.
struct EffectInstance {
  InstanceHeader header;
  AnimState anim;
  Symbol effectSymbol;
  PropertyDesc* propertyTable;
};

template <class Effect>
struct EffectClass {
  static_assert(std::is_base_of_v<EffectInstance, Effect>);
  static_assert(std::is_trivially_default_constructible_v<Effect> &&
                std::is_trivially_destructible_v<Effect>);

  static constexpr std::int32_t kInstanceSize = sizeof(Effect);

  static Effect* InstanceOf(EffectInterface* self) {
    return static_cast<Effect*>(RecordLifetime<EffectInterface>::RecordOf(self)->instance);
  }

  // Obtains the value service, makes the effect symbol, sets the defaults,
  // takes the effect's create-time resources and gives the service back. A
  // failing query sets nothing.
  static Status VX_CALL Create(void* memory) {
    auto* self = static_cast<Effect*>(memory);
    ServiceProvider* provider = self->header.provider;
    void* service = nullptr;
    Status status = provider->ops->QueryInterface(provider, &kValueServiceId, &service);
    if (status != kOk) return status;
    if (service == nullptr) return kNoInterface;
    auto* values = static_cast<ValueService*>(service);
    Symbol symbol = 0;
    status = values->ops->TextToSymbol(values, Effect::kName, &symbol);
    if (status == kOk) {
      self->anim = CreateAnimStateOf<Effect>();
      self->effectSymbol = symbol;
      self->propertyTable = nullptr;
      if constexpr (requires { Effect::SetDefaults(*self); }) Effect::SetDefaults(*self);
      if constexpr (requires { Effect::AcquireResources(*self); })
        status = Effect::AcquireResources(*self);
    }
    values->ops->Release(values);
    return status;
  }

  static void VX_CALL Destroy(void* memory) {
    auto* self = static_cast<Effect*>(memory);
    if constexpr (requires { Effect::FreeBuffers(*self); }) Effect::FreeBuffers(*self);
    if (self->propertyTable != nullptr) {
      HostAllocator* allocator = self->header.allocator;
      allocator->ops->Free(allocator, self->propertyTable);
      self->propertyTable = nullptr;
    }
  }

  static Status BuildInterface(void* instance, void** out) {
    return RecordLifetime<EffectInterface>::Make(instance, Ops(), out);
  }

  // Built the first time a record of this class is made, shared by all.
  static const EffectOps* Ops() {
    if (!opsBuilt) {
      RecordLifetime<EffectInterface>::FillLifetime(&ops);
      EffectOperations<Effect>::Fill(&ops);
      opsBuilt = true;
    }
    return &ops;
  }

 private:
  inline static EffectOps ops{};
  inline static bool opsBuilt = false;
};

}  // namespace vx
