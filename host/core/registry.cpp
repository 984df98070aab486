#include "host/core/registry.h"

#include "host/core/allocator.h"

namespace vx::host {

struct DictionaryRecorderOps {
  static RegistryRecorder::Dict* Of(Dictionary* self) {
    return reinterpret_cast<RegistryRecorder::Dict*>(self);
  }
  static Status VX_CALL QueryInterface(Dictionary*, const Guid*, void** out) {
    if (out != nullptr) *out = nullptr;
    return kNoInterface;
  }
  static std::uint32_t VX_CALL AddRef(Dictionary*) { return 1; }
  static std::uint32_t VX_CALL Release(Dictionary*) { return 1; }
  static Status VX_CALL Store(Dictionary* self, std::int32_t type, const void* value,
                              std::int32_t zero, const char* key) {
    RegistryRecorder::Dict* dict = Of(self);
    RegistryRecorder* owner = dict->owner;
    if (++owner->storeCalls_ == owner->failStoreAt_) return owner->failStoreStatus_;
    if (key == nullptr || value == nullptr) return kHostFailure;
    RegistryRecorder::Entry entry;
    entry.dictionary = dict->index;
    entry.type = type;
    entry.key = key;
    entry.zero = zero;
    if (type == kEntryText)
      entry.text = static_cast<const char*>(value);
    else if (type == kEntryInteger)
      entry.value = *static_cast<const std::int32_t*>(value);
    else
      return kHostFailure;
    owner->entries_.push_back(std::move(entry));
    return kOk;
  }
  static const DictionaryOps kTable;
};

const DictionaryOps DictionaryRecorderOps::kTable = {
    &QueryInterface, &AddRef, &Release, nullptr, nullptr, nullptr, &Store,
};

struct RecorderOps {
  using Bound = BoundInterface<Registry, RegistryRecorder>;
  static Status VX_CALL QueryInterface(Registry*, const Guid*, void** out) {
    if (out != nullptr) *out = nullptr;
    return kNoInterface;
  }
  static std::uint32_t VX_CALL AddRef(Registry*) { return 1; }
  static std::uint32_t VX_CALL Release(Registry*) { return 1; }
  static Status VX_CALL OpenDictionary(Registry* self, Word token, const Guid* classId,
                                       const Guid* interfaceId, Dictionary** out) {
    RegistryRecorder* owner = Bound::OwnerOf(self);
    if (++owner->openCalls_ == owner->failOpenAt_) return owner->failOpenStatus_;
    const int index = static_cast<int>(owner->openings_.size());
    owner->openings_.push_back({token, *classId, *interfaceId});
    owner->dictionaries_.push_back({{&DictionaryRecorderOps::kTable}, owner, index});
    *out = &owner->dictionaries_.back().iface;
    return kOk;
  }
  static const vx::RegistryOps kTable;
};

const vx::RegistryOps RecorderOps::kTable = {
    &QueryInterface, &AddRef, &Release, nullptr, nullptr, nullptr, nullptr, &OpenDictionary,
};

RegistryRecorder::RegistryRecorder() : bound_{{&RecorderOps::kTable}, this} {}

}  // namespace vx::host
