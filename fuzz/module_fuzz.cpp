// The exports and the registration class: class lists, class forms, creates
// and interface records with reference counts, registration into a
// registry, and an allocator and registry that fail at the Nth call.
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "host/core/registry.h"

using namespace vx;
using namespace vx::fuzz;

namespace {

constexpr Status kHostStatuses[] = {host::kHostFailure, kOutOfMemory, static_cast<Status>(0x80070005u), -1};

// Class ids: the module's (and the registration class), or one it lacks.
Guid DecodeClass(Input& in, const std::vector<ClassInfoRecord>& classes) {
  if (in.Below(8) != 0 && !classes.empty()) return classes[in.Below(static_cast<std::uint32_t>(classes.size()))].classId;
  Guid id = in.Flag() ? kRotateClassId : kRegistrationClassId;
  id.data4[in.Below(8)] ^= static_cast<std::uint8_t>(1 + in.Below(255));
  return id;
}

Guid DecodeInterface(Input& in) {
  switch (in.Below(5)) {
    case 0: return kUnknownInterfaceId;
    case 1: return kRegistrationInterfaceId;
    case 2: return kValueServiceId;
    default: return in.Flag() ? kEffectInterfaceId : Guid{in.Word32(), 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
  }
}

// Interface records the host holds, one reference each, called through
// the table of their own interface.
struct Held {
  void* record;
  bool registration;
};

template <class F>
auto WithRecord(const Held& h, F f) {
  if (h.registration) return f(static_cast<RegistrationInterface*>(h.record));
  return f(static_cast<EffectInterface*>(h.record));
}

struct State {
  Session& session;
  std::vector<ClassInfoRecord> classes;
  std::vector<std::unique_ptr<host::Instance>> instances;
  std::vector<Held> held;
};

void ArmAllocator(Input& in, host::Allocator& allocator) {
  allocator.FailNth(in.Below(4) == 0 ? 1 + in.Below(4) : 0);
}

void ClassList(Input& in, State& s) {
  host::Allocator& allocator = s.session.allocator();
  ArmAllocator(in, allocator);
  const std::size_t failed = allocator.FailedCount();
  ClassInfoRecord* records = reinterpret_cast<ClassInfoRecord*>(&s);
  const Status st = s.session.host().module().DllGetClassInfo(allocator.Interface(), &records);
  allocator.FailNth(0);
  if (allocator.FailedCount() != failed) {
    if (st != kOutOfMemory || records != nullptr) Fail("DllGetClassInfo: no out of memory and null list when the allocator failed");
    return;
  }
  if (st != kOk || records == nullptr) Fail("DllGetClassInfo failed with a working allocator");
  const std::size_t capacity = allocator.BlockSize(records) / sizeof(ClassInfoRecord);
  const Guid zero{};
  std::size_t n = 0;
  while (n < capacity && !(records[n].classId == zero)) ++n;
  if (n == capacity) Fail("DllGetClassInfo: the list has no terminator inside its block");
  s.classes.assign(records, records + n);
  allocator.Free(records);
}

void ClassForm(Input& in, State& s) {
  const Guid id = DecodeClass(in, s.classes);
  std::int32_t size = -1;
  CreateFn create = nullptr;
  DestroyFn destroy = nullptr;
  const Status st = s.session.host().module().DllGetClassForm(&id, &size, &create, &destroy);
  bool offered = false;
  for (const ClassInfoRecord& r : s.classes) offered = offered || r.classId == id;
  if (st == kOk && (size < static_cast<std::int32_t>(sizeof(InstanceHeader)) || create == nullptr || destroy == nullptr))
    Fail("DllGetClassForm: a form without its size or routines");
  if (st != kOk && st != kNoClass) Fail("DllGetClassForm: status " + std::to_string(st));
  if (!s.classes.empty() && (st == kOk) != offered) Fail("DllGetClassForm disagrees with the class list");
}

void CreateInstance(Input& in, State& s) {
  if (s.instances.size() >= 4) return;
  const Guid id = DecodeClass(in, s.classes);
  host::Allocator& allocator = s.session.allocator();
  ArmAllocator(in, allocator);
  // A value service the host cannot give: create passes its status on.
  const Status query = in.Below(8) == 0 ? kHostStatuses[in.Below(4)] : kOk;
  s.session.host().provider().FailValueQuery(query);
  const std::size_t failed = allocator.FailedCount();
  Status st = kOk;
  std::unique_ptr<host::Instance> instance = s.session.host().Create(id, &st);
  allocator.FailNth(0);
  s.session.host().provider().FailValueQuery(kOk);
  s.session.CheckHeap("create");
  if (instance) {
    s.instances.push_back(std::move(instance));
    return;
  }
  if (st == kNoClass || (query != kOk && st == query)) return;
  if (st != kOutOfMemory) Fail("create: status " + std::to_string(st));
  if (allocator.FailedCount() == failed) Fail("create: out of memory from a working allocator");
}

void GetInterface(Input& in, State& s) {
  if (s.instances.empty()) return;
  const std::size_t which = in.Below(static_cast<std::uint32_t>(s.instances.size()));
  const Guid iid = DecodeInterface(in);
  host::Allocator& allocator = s.session.allocator();
  ArmAllocator(in, allocator);
  const std::size_t failed = allocator.FailedCount();
  // An interface the class lacks leaves the output as it was.
  void* out = &s;
  const Status st = s.instances[which]->GetInterface(iid, &out);
  allocator.FailNth(0);
  if (st == kOk) {
    if (out == nullptr || out == &s) Fail("DllGetInterface: success without a record");
    s.held.push_back({out, iid == kRegistrationInterfaceId});
    return;
  }
  if (st == kOutOfMemory && out != nullptr) Fail("DllGetInterface: out of memory with its output set");
  if (st == kNoInterface && out != &s) Fail("DllGetInterface: wrote its output for an interface it lacks");
  if (st == kOutOfMemory && allocator.FailedCount() == failed) Fail("DllGetInterface: out of memory from a working allocator");
  if (st != kOutOfMemory && st != kNoInterface) Fail("DllGetInterface: status " + std::to_string(st));
}

void RecordCall(Input& in, State& s) {
  if (s.held.empty()) return;
  const std::size_t which = in.Below(static_cast<std::uint32_t>(s.held.size()));
  const Held h = s.held[which];
  switch (in.Below(3)) {
    case 0:
      WithRecord(h, [](auto* r) { return r->ops->AddRef(r); });
      s.held.push_back(h);
      break;
    case 1:
      WithRecord(h, [](auto* r) { return r->ops->Release(r); });
      s.held.erase(s.held.begin() + static_cast<std::ptrdiff_t>(which));
      break;
    default: {
      void* out = &s;
      host::Allocator& allocator = s.session.allocator();
      ArmAllocator(in, allocator);
      const Guid iid = DecodeInterface(in);
      const Status st = WithRecord(h, [&](auto* r) { return r->ops->QueryInterface(r, &iid, &out); });
      allocator.FailNth(0);
      if (st == kOk && out != nullptr && out != &s) s.held.push_back({out, iid == kRegistrationInterfaceId});
      else if (st == kOutOfMemory && out != nullptr) Fail("QueryInterface: out of memory with its output set");
      break;
    }
  }
}

void Register(Input& in, State& s) {
  host::RegistryRecorder registry;
  if (in.Flag()) registry.FailNthOpen(1 + static_cast<int>(in.Below(12)), kHostStatuses[in.Below(4)]);
  if (in.Flag()) registry.FailNthStore(1 + static_cast<int>(in.Below(128)), kHostStatuses[in.Below(4)]);
  host::Allocator& allocator = s.session.allocator();
  ArmAllocator(in, allocator);
  const Status st = s.session.host().RegisterEffects(registry, in.Word32());
  allocator.FailNth(0);
  s.session.CheckHeap("Register");
  bool passed = st == kOk || st == kOutOfMemory || st == kNoInterface;
  for (Status h : kHostStatuses) passed = passed || st == h;
  if (!passed) Fail("Register: status " + std::to_string(st));
}

// The static answers of an effect instance with a failing allocator.
void StaticAnswers(Input& in, State& s) {
  for (const Held& h : s.held) {
    void* fx = nullptr;
    const Status query = WithRecord(h, [&](auto* r) { return r->ops->QueryInterface(r, &kEffectInterfaceId, &fx); });
    if (query != kOk || fx == nullptr) continue;
    auto* e = static_cast<EffectInterface*>(fx);
    host::Allocator& allocator = s.session.allocator();
    Services& services = s.session.services();
    const bool failing = in.Flag();
    allocator.FailAll(failing);
    char* text = reinterpret_cast<char*>(&s);
    Status st = in.Flag() ? e->ops->GetDisplayName(e, &text, &services) : e->ops->GetSetName(e, &text, &services);
    if (failing != (st == kOutOfMemory) || (failing && text != reinterpret_cast<char*>(&s)))
      Fail("GetDisplayName/GetSetName: status " + std::to_string(st) + " with the allocator " + (failing ? "failing" : "working"));
    if (!failing) allocator.Free(text);
    text = reinterpret_cast<char*>(&s);
    st = e->ops->GetDescription(e, &text, &services);
    if (st != kOk || (failing && text != nullptr)) Fail("GetDescription: status or text wrong with the allocator failing");
    if (text != nullptr) allocator.Free(text);
    // A table built before is answered from the instance's cache.
    PropertyDesc* table = nullptr;
    std::int32_t count = 0;
    const std::size_t requests = allocator.RequestCount();
    st = e->ops->GetPropertyTable(e, &table, &count, &services);
    allocator.FailAll(false);
    const bool cached = allocator.RequestCount() == requests;
    if (st != kOk || (failing && table != nullptr && !cached) || (!failing && table == nullptr))
      Fail("GetPropertyTable: status or table wrong");
    e->ops->Release(e);
    s.session.CheckHeap("static answers");
    return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  Session session;
  {
    State s{session, {}, {}, {}};
    for (int op = 0; op < 48 && in.More(); ++op) {
      switch (in.Below(9)) {
        case 0: ClassList(in, s); break;
        case 1: ClassForm(in, s); break;
        case 2: CreateInstance(in, s); break;
        case 3:
        case 4: GetInterface(in, s); break;
        case 5: RecordCall(in, s); break;
        case 6: Register(in, s); break;
        case 7: StaticAnswers(in, s); break;
        default: {
          const Status st = session.host().module().DllCanUnloadNow();
          if ((st == kOk) != s.held.empty()) Fail("DllCanUnloadNow: " + std::to_string(st) + " with " + std::to_string(s.held.size()) + " records held");
          void* out = nullptr;
          if (session.host().module().DllGetClassObject(&kRotateClassId, &kUnknownInterfaceId, &out) != kNoClass)
            Fail("DllGetClassObject answered something");
          break;
        }
      }
    }
    for (const Held& h : s.held) WithRecord(h, [](auto* r) { return r->ops->Release(r); });
    for (const auto& instance : s.instances)
      if (instance->References() != 0) Fail("an instance keeps references after every record was released");
    s.instances.clear();
  }
  session.Finish("module target");
  return 0;
}
