// The module's side of the object model: exports, class list and forms,
// interface records and their counts, the unload rule, registration.
#include <algorithm>
#include <map>
#include <set>

#include "checker.h"

namespace vx::check {
namespace {

constexpr Guid kForeignId = {0x0BADF00D, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};

std::string Label(const ModuleFacts& facts, const Guid& classId) {
  for (const EffectFacts& e : facts.effects)
    if (e.classId == classId) return e.name;
  const std::string known = host::ClassName(classId);
  return known != "unknown" ? known : host::GuidText(classId);
}

std::vector<Guid> Classes(const ModuleFacts& facts) {
  std::vector<Guid> ids;
  for (const ClassInfoRecord& r : facts.interfaces)
    if (std::find(ids.begin(), ids.end(), r.classId) == ids.end()) ids.push_back(r.classId);
  return ids;
}

Unknown* AsUnknown(void* p) { return static_cast<Unknown*>(p); }

// Stand-ins that show whether an output was written.
Status VX_CALL UntouchedCreate(void*) { return kOk; }
void VX_CALL UntouchedDestroy(void*) {}

}  // namespace

void CheckExports(Group& group, host::Host& host) {
  // The host has bound all five by now, or it would have thrown.
  group.Expect(true, "the five exports");
  void* out = nullptr;
  Guid a = kForeignId, b = kUnknownInterfaceId;
  group.ExpectStatus(host.module().DllGetClassObject(&a, &b, &out), kNoClass, "DllGetClassObject");
  group.ExpectStatus(host.module().DllCanUnloadNow(), kOk, "DllCanUnloadNow before any record exists");
}

void CheckClassList(Group& group, host::Host& host, ModuleFacts& facts) {
  host::Allocator& allocator = host.allocator();
  ClassInfoRecord* records = nullptr;
  const Status status = host.module().DllGetClassInfo(allocator.Interface(), &records);
  if (!group.ExpectStatus(status, kOk, "DllGetClassInfo") || !group.Expect(records != nullptr, "DllGetClassInfo gave no list"))
    return;
  const std::size_t capacity = allocator.BlockSize(records) / sizeof(ClassInfoRecord);
  if (!group.Expect(capacity > 0, "the class list is not a block from the allocator it was given")) return;
  const Guid zero{};
  std::size_t count = 0;
  while (count < capacity && !(records[count].classId == zero && records[count].interfaceId == zero)) ++count;
  group.Expect(count < capacity, "the class list has no all-zero terminator inside its block");
  group.Expect(count > 0 && count % 2 == 0, "the class list holds " + std::to_string(count) +
                                                " records; expected class and interface records in pairs");
  std::set<std::string> seen;
  for (std::size_t i = 0; i + 1 < count; i += 2) {
    const ClassInfoRecord& cls = records[i];
    const ClassInfoRecord& iface = records[i + 1];
    const std::string id = host::GuidText(cls.classId);
    group.Expect(cls.interfaceId == kUnknownInterfaceId, "record " + std::to_string(i) + " (" + id +
                                                             ") is not a class record (its interface is not the base interface)");
    group.Expect(iface.classId == cls.classId, "record " + std::to_string(i + 1) + " does not follow its class " + id);
    group.Expect(!(iface.interfaceId == kUnknownInterfaceId) && !(iface.interfaceId == zero),
                 "record " + std::to_string(i + 1) + " names no interface for " + id);
    group.Expect(cls.classVersion == 1 && iface.classVersion == 1 && iface.interfaceVersion == 1 && cls.interfaceVersion == 1,
                 "class " + id + ": versions are not 1");
    group.Expect(seen.insert(id).second, "class " + id + " is listed twice");
    facts.interfaces.push_back(iface);
    if (iface.interfaceId == kRegistrationInterfaceId) facts.registrationClasses.push_back(cls.classId);
    if (iface.interfaceId == kEffectInterfaceId) facts.effects.push_back({cls.classId, host::ClassName(cls.classId)});
  }
  for (EffectFacts& e : facts.effects)
    if (e.name == "unknown") e.name = host::GuidText(e.classId);
  group.Expect(!facts.registrationClasses.empty(), "no class offers the registration interface");
  group.Expect(!facts.effects.empty(), "no class offers the effect interface");
  group.Expect(allocator.Free(records), "the class list could not be freed");

  allocator.FailNth(1);
  records = reinterpret_cast<ClassInfoRecord*>(&facts);
  group.ExpectStatus(host.module().DllGetClassInfo(allocator.Interface(), &records), kOutOfMemory,
                     "DllGetClassInfo when the allocator fails");
  group.Expect(records == nullptr, "DllGetClassInfo left its output set when the allocator failed");
  allocator.FailNth(0);
  ExpectClean(group, host, "class list");
}

void CheckClassForms(Group& group, host::Host& host, const ModuleFacts& facts) {
  host::Module& module = host.module();
  for (const Guid& id : Classes(facts)) {
    const std::string name = Label(facts, id);
    std::int32_t size = -1;
    CreateFn create = nullptr;
    DestroyFn destroy = nullptr;
    group.ExpectStatus(module.DllGetClassForm(&id, &size, &create, &destroy), kOk, "DllGetClassForm " + name);
    group.Expect(size >= static_cast<std::int32_t>(sizeof(InstanceHeader)),
                 name + ": instance size " + std::to_string(size) + " is smaller than the host header");
    group.Expect(create != nullptr && destroy != nullptr, name + ": no create or destroy routine");
  }
  std::int32_t size = -7;
  CreateFn create = &UntouchedCreate;
  DestroyFn destroy = &UntouchedDestroy;
  group.ExpectStatus(module.DllGetClassForm(&kForeignId, &size, &create, &destroy), kNoClass,
                     "DllGetClassForm of a class the module does not have");
  group.Expect(size == -7 && create == &UntouchedCreate && destroy == &UntouchedDestroy,
               "DllGetClassForm of an unknown class wrote its outputs");

  // Interfaces a class does not offer, and classes the module does not have.
  std::set<std::string> interfaceIds;
  for (const ClassInfoRecord& r : facts.interfaces) interfaceIds.insert(host::GuidText(r.interfaceId));
  for (const Guid& id : Classes(facts)) {
    const std::string name = Label(facts, id);
    Status status = kOk;
    std::unique_ptr<host::Instance> instance = host.Create(id, &status);
    if (!group.ExpectStatus(status, kOk, "create " + name)) continue;
    std::vector<Guid> others = {kForeignId, kUnknownInterfaceId};
    for (const ClassInfoRecord& r : facts.interfaces)
      if (!(r.classId == id) && std::none_of(facts.interfaces.begin(), facts.interfaces.end(), [&](const ClassInfoRecord& own) {
            return own.classId == id && own.interfaceId == r.interfaceId;
          }))
        others.push_back(r.interfaceId);
    for (const Guid& iid : others) {
      void* out = &status;
      group.ExpectStatus(module.DllGetInterface(instance->Memory(), &id, &iid, &out), kNoInterface,
                         name + ": DllGetInterface for " + host::GuidText(iid));
      group.Expect(out == &status, name + ": DllGetInterface wrote its output for an interface it refused");
    }
    void* out = &status;
    const Guid iid = kEffectInterfaceId;
    group.ExpectStatus(module.DllGetInterface(instance->Memory(), &kForeignId, &iid, &out), kNoInterface,
                       "DllGetInterface for a class the module does not have");
    group.Expect(out == &status, "DllGetInterface wrote its output for an unknown class");
  }
  ExpectClean(group, host, "class forms");
}

void CheckInterfaces(Group& group, host::Host& host, const ModuleFacts& facts) {
  for (const ClassInfoRecord& row : facts.interfaces) {
    const std::string name = Label(facts, row.classId);
    Status status = kOk;
    std::unique_ptr<host::Instance> instance = host.Create(row.classId, &status);
    if (!group.ExpectStatus(status, kOk, "create " + name)) continue;
    group.Expect(host.values().ServiceReferences() == 0, name + ": create kept a reference on the value service");

    void* out = nullptr;
    status = instance->GetInterface(row.interfaceId, &out);
    if (!group.ExpectStatus(status, kOk, name + ": DllGetInterface") || !group.Expect(out != nullptr, name + ": null interface"))
      continue;
    Unknown* record = AsUnknown(out);
    const UnknownOps* ops = record->ops;
    if (!group.Expect(ops != nullptr && ops->QueryInterface && ops->AddRef && ops->Release,
                      name + ": the record's table lacks its lifetime operations"))
      continue;
    auto refs = [&](int want, const std::string& when) {
      group.Expect(instance->References() == want, name + ": " + when + ": the instance holds " +
                                                        std::to_string(instance->References()) +
                                                        " references, expected " + std::to_string(want));
    };
    refs(2, "one new record");
    ops->AddRef(record);
    refs(3, "after AddRef");
    group.Expect(ops->Release(record) == 1, name + ": Release after AddRef does not answer 1");
    refs(2, "after AddRef and Release");

    void* second = nullptr;
    group.ExpectStatus(ops->QueryInterface(record, &row.interfaceId, &second), kOk, name + ": QueryInterface through the record");
    if (group.Expect(second != nullptr && second != out, name + ": QueryInterface gave no new record")) {
      refs(4, "two records");
      group.Expect(AsUnknown(second)->ops == ops, name + ": two records of one class have different tables");
      group.Expect(ops->Release(AsUnknown(second)) == 0, name + ": the last Release of a record does not answer 0");
    }
    group.Expect(ops->Release(record) == 0, name + ": the last Release of a record does not answer 0");
    refs(0, "every record released");
    group.Expect(instance->OverReleases() == 0, name + ": released the instance more often than it referenced it");

    // A record the allocator cannot give.
    host.allocator().FailNth(1);
    out = &status;
    group.ExpectStatus(instance->GetInterface(row.interfaceId, &out), kOutOfMemory, name + ": DllGetInterface when the allocator fails");
    host.allocator().FailNth(0);
    group.Expect(out == nullptr, name + ": DllGetInterface left its output set when the allocator failed");
    refs(0, "after a record the allocator could not give");
    instance.reset();
    ExpectClean(group, host, name);
  }
}

void CheckUnloadRule(Group& group, host::Host& host, const ModuleFacts& facts) {
  host::Module& module = host.module();
  for (const ClassInfoRecord& row : facts.interfaces) {
    const std::string name = Label(facts, row.classId);
    Status status = kOk;
    std::unique_ptr<host::Instance> a = host.Create(row.classId, &status);
    std::unique_ptr<host::Instance> b = host.Create(row.classId, &status);
    if (!group.Expect(a && b, name + ": create failed")) continue;
    void* ra = nullptr;
    void* rb = nullptr;
    group.ExpectStatus(module.DllCanUnloadNow(), kOk, name + ": DllCanUnloadNow with instances but no records");
    if (a->GetInterface(row.interfaceId, &ra) != kOk || b->GetInterface(row.interfaceId, &rb) != kOk) {
      group.Expect(false, name + ": DllGetInterface failed");
      continue;
    }
    group.ExpectStatus(module.DllCanUnloadNow(), kCannotUnload, name + ": DllCanUnloadNow with two records");
    AsUnknown(ra)->ops->Release(AsUnknown(ra));
    group.ExpectStatus(module.DllCanUnloadNow(), kCannotUnload, name + ": DllCanUnloadNow with one record left");
    AsUnknown(rb)->ops->AddRef(AsUnknown(rb));
    AsUnknown(rb)->ops->Release(AsUnknown(rb));
    group.ExpectStatus(module.DllCanUnloadNow(), kCannotUnload, name + ": DllCanUnloadNow with one record referenced");
    AsUnknown(rb)->ops->Release(AsUnknown(rb));
    group.ExpectStatus(module.DllCanUnloadNow(), kOk, name + ": DllCanUnloadNow after the last record was released");
  }
  ExpectClean(group, host, "unload rule");
}

void CheckRegistration(Group& group, host::Host& host, ModuleFacts& facts) {
  constexpr Word kToken = 0x5A17;
  const Status kRefused = static_cast<Status>(0x8004C0DEu);
  for (const Guid& regClass : facts.registrationClasses) {
    Status status = kOk;
    std::unique_ptr<host::Instance> instance = host.Create(regClass, &status);
    if (!group.ExpectStatus(status, kOk, "create the registration class")) continue;
    host::InterfaceRef<RegistrationInterface> reg = instance->Registration();
    if (!group.Expect(bool(reg), "the registration class gives no registration interface")) continue;

    host::RegistryRecorder registry;
    group.ExpectStatus(reg->ops->Register(reg.get(), registry.Interface(), kToken), kOk, "Register");
    const auto& openings = registry.Openings();
    std::map<std::string, int> perClass;
    std::set<std::string> symbols;
    for (std::size_t d = 0; d < openings.size(); ++d) {
      const auto& o = openings[d];
      const std::string id = host::GuidText(o.classId);
      group.Expect(o.token == kToken, "dictionary " + id + " opened with another token than Register was given");
      group.Expect(o.interfaceId == kEffectInterfaceId, "dictionary " + id + " not opened for the effect interface");
      auto effect = std::find_if(facts.effects.begin(), facts.effects.end(), [&](const EffectFacts& e) { return e.classId == o.classId; });
      group.Expect(effect != facts.effects.end(), "registers " + id + ", which the class list offers as no effect");
      ++perClass[id];
      std::string symbol, display;
      for (const auto& e : registry.Entries()) {
        if (e.dictionary != static_cast<int>(d)) continue;
        group.Expect(e.type == kEntryText || e.type == kEntryInteger, id + ": entry \"" + e.key + "\" of type " + std::to_string(e.type));
        group.Expect(e.zero == 0, id + ": entry \"" + e.key + "\" passes " + std::to_string(e.zero) + " where 0 belongs");
        if (e.key == "symbolString" && e.type == kEntryText) symbol = e.text;
        if (e.key == "displayNameString" && e.type == kEntryText) display = e.text;
        if (e.key == "Changes Alpha" && e.type == kEntryInteger && effect != facts.effects.end())
          effect->changesAlpha = e.value == 1;
      }
      group.Expect(!symbol.empty() && !display.empty(), id + ": no \"symbolString\" or \"displayNameString\" text");
      group.Expect(symbol.empty() || symbols.insert(symbol).second, "symbol \"" + symbol + "\" registered twice");
      if (effect != facts.effects.end() && !symbol.empty()) effect->name = symbol;
    }
    for (const EffectFacts& e : facts.effects)
      group.Expect(perClass[host::GuidText(e.classId)] == 1, e.name + ": registered " +
                                                                  std::to_string(perClass[host::GuidText(e.classId)]) + " times");

    // The first failing open or store ends Register with its status.
    const int opens = static_cast<int>(openings.size());
    const int stores = static_cast<int>(registry.Entries().size());
    for (int n : {1, opens}) {
      host::RegistryRecorder failing;
      failing.FailNthOpen(n, kRefused);
      group.ExpectStatus(reg->ops->Register(reg.get(), failing.Interface(), kToken), kRefused,
                         "Register when open " + std::to_string(n) + " fails");
      group.Expect(static_cast<int>(failing.Openings().size()) == n - 1, "Register opened on after open " + std::to_string(n) + " failed");
    }
    for (int n : {1, stores / 2, stores}) {
      if (n < 1) continue;
      host::RegistryRecorder failing;
      failing.FailNthStore(n, kRefused);
      group.ExpectStatus(reg->ops->Register(reg.get(), failing.Interface(), kToken), kRefused,
                         "Register when store " + std::to_string(n) + " fails");
      group.Expect(static_cast<int>(failing.Entries().size()) == n - 1, "Register stored on after store " + std::to_string(n) + " failed");
    }
    reg.Reset();
    instance.reset();
  }
  ExpectClean(group, host, "registration");
}

}  // namespace vx::check
