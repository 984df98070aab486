#include "host/core/host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <regex>

namespace vx::host {

struct InstanceOps {
  static Instance* Of(Unknown* self) {
    return reinterpret_cast<Instance*>(reinterpret_cast<InstanceHeader*>(self)->word1);
  }
  static Status VX_CALL QueryInterface(Unknown* self, const Guid* iid, void** out) {
    return Of(self)->GetInterface(*iid, out);
  }
  static std::uint32_t VX_CALL AddRef(Unknown* self) {
    return static_cast<std::uint32_t>(++Of(self)->references_);
  }
  static std::uint32_t VX_CALL Release(Unknown* self) {
    Instance* instance = Of(self);
    if (instance->references_ == 0) {
      ++instance->overReleases_;
      return 0;
    }
    return static_cast<std::uint32_t>(--instance->references_);
  }
  static const UnknownOps kTable;
};

const UnknownOps InstanceOps::kTable = {&QueryInterface, &AddRef, &Release};

namespace {
// Instance memory starts out with this byte so that fields create forgets
// to set do not pass for zero.
constexpr unsigned char kUnsetByte = 0xA5;
}  // namespace

Instance::Instance(Host& host, const Guid& classId, std::int32_t size, DestroyFn destroy)
    : host_(host), classId_(classId), size_(size), destroy_(destroy) {
  memory_ = ::operator new(static_cast<std::size_t>(size), std::align_val_t{16});
  std::memset(memory_, kUnsetByte, static_cast<std::size_t>(size));
  InstanceHeader* header = Header();
  header->hostOps = &InstanceOps::kTable;
  header->word1 = reinterpret_cast<Word>(this);
  header->provider = host.provider().Interface();
  header->allocator = host.allocator().Interface();
  header->word4 = header->word5 = header->word6 = 0;
}

Instance::~Instance() {
  if (created_) destroy_(memory_);
  ::operator delete(memory_, std::align_val_t{16});
}

Status Instance::GetInterface(const Guid& interfaceId, void** out) {
  return host_.module().DllGetInterface(memory_, &classId_, &interfaceId, out);
}

InterfaceRef<EffectInterface> Instance::Effect() {
  void* out = nullptr;
  if (GetInterface(kEffectInterfaceId, &out) != kOk) return {};
  return InterfaceRef<EffectInterface>(static_cast<EffectInterface*>(out));
}

InterfaceRef<RegistrationInterface> Instance::Registration() {
  void* out = nullptr;
  if (GetInterface(kRegistrationInterfaceId, &out) != kOk) return {};
  return InterfaceRef<RegistrationInterface>(static_cast<RegistrationInterface*>(out));
}

Host::Host(const std::string& modulePath) : module_(modulePath), provider_(values_) {}

Services Host::MakeServices() {
  return {0, values_.Service(), 0, allocator_.Interface(), values_.Lists()};
}

std::unique_ptr<Instance> Host::Create(const Guid& classId, Status* status) {
  Status ignored = kOk;
  if (status == nullptr) status = &ignored;
  std::int32_t size = 0;
  CreateFn create = nullptr;
  DestroyFn destroy = nullptr;
  *status = module_.DllGetClassForm(&classId, &size, &create, &destroy);
  if (*status != kOk) return nullptr;
  if (size < static_cast<std::int32_t>(sizeof(InstanceHeader)) || create == nullptr ||
      destroy == nullptr) {
    *status = kHostFailure;
    return nullptr;
  }
  std::unique_ptr<Instance> instance(new Instance(*this, classId, size, destroy));
  *status = create(instance->memory_);
  if (*status != kOk) return nullptr;
  instance->created_ = true;
  return instance;
}

Status Host::RegisterEffects(RegistryRecorder& registry, Word token) {
  Status status = kOk;
  std::unique_ptr<Instance> instance = Create(kRegistrationClassId, &status);
  if (!instance) return status;
  InterfaceRef<RegistrationInterface> registration = instance->Registration();
  if (!registration) return kNoInterface;
  return registration->ops->Register(registration.get(), registry.Interface(), token);
}

std::vector<ClassInfoRecord> Host::ListClasses() {
  ClassInfoRecord* records = nullptr;
  std::vector<ClassInfoRecord> list;
  if (module_.DllGetClassInfo(allocator_.Interface(), &records) != kOk || records == nullptr)
    return list;
  const std::size_t capacity = allocator_.BlockSize(records) / sizeof(ClassInfoRecord);
  const Guid zero{};
  for (std::size_t i = 0; i < capacity && !(records[i].classId == zero); ++i)
    list.push_back(records[i]);
  allocator_.Free(records);
  return list;
}

std::string ClassName(const Guid& classId) {
  struct Known {
    const Guid* id;
    const char* name;
  };
  static const Known kKnown[] = {
      {&kRegistrationClassId, "registration"}, {&kRgbClassId, "rgb"},
      {&kMagnifyClassId, "magnify"},           {&kRotateClassId, "rotate"},
      {&kMosaicClassId, "mosaic"},             {&kSwirlClassId, "swirl"},
      {&kLineSkipClassId, "lineskip"},         {&kSnowClassId, "snow"},
      {&kHsbClassId, "hsb"},                   {&kPointelClassId, "pointel"},
  };
  for (const Known& known : kKnown)
    if (*known.id == classId) return known.name;
  return "unknown";
}

std::string GuidText(const Guid& id) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(id.data1), id.data2, id.data3, id.data4[0], id.data4[1],
                id.data4[2], id.data4[3], id.data4[4], id.data4[5], id.data4[6], id.data4[7]);
  return text;
}

std::vector<std::string> DescribedFunctions(const std::string& description) {
  static const std::regex kFunction(R"(^\s*([A-Za-z]\w*)\(sprite\b)");
  std::vector<std::string> names;
  // Lines end in CR as the module writes them, or LF once converted.
  for (std::size_t start = 0; start < description.size();) {
    std::size_t end = description.find_first_of("\r\n", start);
    if (end == std::string::npos) end = description.size();
    const std::string line = description.substr(start, end - start);
    std::smatch m;
    if (std::regex_search(line, m, kFunction) && std::find(names.begin(), names.end(), m[1].str()) == names.end())
      names.push_back(m[1].str());
    start = end + 1;
  }
  return names;
}

}  // namespace vx::host
