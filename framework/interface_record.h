// Interface records: the three-word object handed to the host for every
// interface, and the lifetime operations shared by all operation tables.
#pragma once

#include <cstdint>
#include <type_traits>

#include "vornix/abi.h"

namespace vx {

// Number of interface records in existence; the module may be unloaded only
// when it is 0.
std::uint32_t LiveRecordCount();
void CountRecordMade();
void CountRecordFreed();

// The record derives from the interface struct, so its first word is the
// operation table the host calls through and `this` converts back safely.
template <class Interface>
struct InterfaceRecord : Interface {
  void* instance;
  Word count;
};

inline InstanceHeader* HeaderOf(void* instance) { return static_cast<InstanceHeader*>(instance); }

// The host's own object for the instance: header word 0 is its table.
inline Unknown* HostObjectOf(void* instance) { return reinterpret_cast<Unknown*>(instance); }

inline std::uint32_t AddRefInstance(void* instance) {
  return HeaderOf(instance)->hostOps->AddRef(HostObjectOf(instance));
}
inline std::uint32_t ReleaseInstance(void* instance) {
  return HeaderOf(instance)->hostOps->Release(HostObjectOf(instance));
}

template <class Interface>
struct RecordLifetime {
  using Record = InterfaceRecord<Interface>;
  using Ops = std::remove_const_t<std::remove_pointer_t<decltype(Interface::ops)>>;

  static Record* RecordOf(Interface* self) { return static_cast<Record*>(self); }

  static Status VX_CALL QueryInterface(Interface* self, const Guid* iid, void** out) {
    void* instance = RecordOf(self)->instance;
    return HeaderOf(instance)->hostOps->QueryInterface(HostObjectOf(instance), iid, out);
  }

  static std::uint32_t VX_CALL AddRef(Interface* self) {
    Record* record = RecordOf(self);
    AddRefInstance(record->instance);
    return static_cast<std::uint32_t>(++record->count);
  }

  // One instance reference goes with every record reference and one with
  // the record's existence; the last release drops both.
  static std::uint32_t VX_CALL Release(Interface* self) {
    Record* record = RecordOf(self);
    void* instance = record->instance;
    const auto remaining = static_cast<std::uint32_t>(--record->count);
    if (remaining == 0) {
      HostAllocator* allocator = HeaderOf(instance)->allocator;
      allocator->ops->Free(allocator, record);
      CountRecordFreed();
      ReleaseInstance(instance);
    }
    ReleaseInstance(instance);
    return remaining;
  }

  static void FillLifetime(Ops* table) {
    table->QueryInterface = &QueryInterface;
    table->AddRef = &AddRef;
    table->Release = &Release;
  }

  // Hands out a new record over `table` for `instance`: count 1, two
  // instance references, one more live record.
  static Status Make(void* instance, const Ops* table, void** out) {
    HostAllocator* allocator = HeaderOf(instance)->allocator;
    void* block = allocator->ops->Alloc(allocator, sizeof(Record));
    if (block == nullptr) {
      *out = nullptr;
      return kOutOfMemory;
    }
    auto* record = static_cast<Record*>(block);
    record->ops = table;
    record->instance = instance;
    record->count = 1;
    AddRefInstance(instance);
    AddRefInstance(instance);
    CountRecordMade();
    *out = static_cast<Interface*>(record);
    return kOk;
  }
};

static_assert(sizeof(InterfaceRecord<EffectInterface>) == 3 * sizeof(Word));
static_assert(sizeof(InterfaceRecord<RegistrationInterface>) == 3 * sizeof(Word));

}  // namespace vx
