#include "module/registration.h"

#include "framework/interface_record.h"

namespace vx::registration {
namespace {

struct Entry {
  const char* key;
  std::int32_t type;
  const char* text;  // text entries
  std::int32_t value;  // integer entries
};

constexpr Entry Text(const char* key, const char* text) { return {key, kEntryText, text, 0}; }
constexpr Entry Integer(const char* key, std::int32_t value) {
  return {key, kEntryInteger, nullptr, value};
}

constexpr const char kSetName[] = "Vornix Set 1";

struct EffectEntries {
  const Guid* classId;
  Entry entries[9];
  int count;
};

// Glissade reads these names; the order is the one the host expects, not the
// class-table order.
const EffectEntries kEffects[] = {
    {&kRgbClassId,
     {Text("symbolString", "rgb"), Text("displayNameString", "RGB"),
      Text("Interface Movie", kSetName), Integer("Architecture Version", 1),
      Integer("My Version", 1)},
     5},
    {&kMagnifyClassId,
     {Text("symbolString", "magnify"), Text("displayNameString", "Magnify"),
      Text("Interface Movie", kSetName), Integer("Architecture Version", 1),
      Integer("My Version", 1)},
     5},
    {&kRotateClassId,
     {Text("symbolString", "rotate"), Text("displayNameString", "Rotate"),
      Text("Interface Movie", kSetName), Integer("Architecture Version", 1),
      Integer("My Version", 1), Integer("Changes Alpha", 1), Integer("wM", 0), Integer("hM", 0),
      Integer("hyM", 1)},
     9},
    {&kMosaicClassId,
     {Text("symbolString", "mosaic"), Text("displayNameString", "Mosaic"),
      Text("Interface Movie", kSetName), Integer("Architecture Version", 1),
      Integer("My Version", 1)},
     5},
    {&kSwirlClassId,
     {Text("symbolString", "swirl"), Text("displayNameString", "Swirl"),
      Text("Interface Movie", kSetName), Integer("Changes Alpha", 1)},
     4},
    {&kLineSkipClassId,
     {Text("symbolString", "lineSkip"), Text("displayNameString", "Line Skip"),
      Text("Interface Movie", kSetName), Integer("Changes Alpha", 1)},
     4},
    {&kSnowClassId,
     {Text("symbolString", "snow"), Text("displayNameString", "Snow"),
      Text("Interface Movie", kSetName)},
     3},
    {&kHsbClassId,
     {Text("symbolString", "hsb"), Text("displayNameString", "HSB"),
      Text("Interface Movie", kSetName)},
     3},
    {&kPointelClassId,
     {Text("symbolString", "pointel"), Text("displayNameString", "Pointel"),
      Text("Interface Movie", kSetName), Integer("Changes Alpha", 1)},
     4},
};

Status StoreEntry(Dictionary* dictionary, const Entry& entry) {
  if (entry.type == kEntryText)
    return dictionary->ops->Store(dictionary, entry.type, entry.text, 0, entry.key);
  const std::int32_t value = entry.value;
  return dictionary->ops->Store(dictionary, entry.type, &value, 0, entry.key);
}

// Entries already stored stay when a later open or store fails.
Status VX_CALL Register(RegistrationInterface*, Registry* registry, Word token) {
  if (registry == nullptr) return kNoInterface;
  for (const EffectEntries& effect : kEffects) {
    Dictionary* dictionary = nullptr;
    Status status = registry->ops->OpenDictionary(registry, token, effect.classId,
                                                  &kEffectInterfaceId, &dictionary);
    if (status != kOk) return status;
    if (dictionary == nullptr) return kNoInterface;
    for (int i = 0; i < effect.count; ++i) {
      status = StoreEntry(dictionary, effect.entries[i]);
      if (status != kOk) return status;
    }
  }
  return kOk;
}

using Lifetime = RecordLifetime<RegistrationInterface>;

RegistrationOps gOps;
bool gOpsBuilt = false;

const RegistrationOps* Ops() {
  if (!gOpsBuilt) {
    Lifetime::FillLifetime(&gOps);
    gOps.Register = &Register;
    gOpsBuilt = true;
  }
  return &gOps;
}

}  // namespace

Status VX_CALL Create(void*) { return kOk; }
void VX_CALL Destroy(void*) {}

Status BuildInterface(void* instance, void** out) { return Lifetime::Make(instance, Ops(), out); }

}  // namespace vx::registration
