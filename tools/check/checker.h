// What the check groups share: the running group, the facts about the
// module that later groups build on, and effect instances set up as a host
// sets them up.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "host/core/host.h"
#include "vornix/abi.h"

namespace vx::check {

class Group {
 public:
  explicit Group(GroupResult& result) : result_(result) {}
  // Counts one check; a failed one is recorded with `what`.
  bool Expect(bool ok, const std::string& what) {
    ++result_.checks;
    if (!ok && ++result_.failed <= kKeptFailures) result_.failures.push_back(what);
    return ok;
  }
  bool ExpectStatus(Status got, Status want, const std::string& what);
  // 0 or the allocator's failure status.
  bool ExpectOkOrOutOfMemory(Status got, const std::string& what);
  bool Failed() const { return result_.failed != 0; }
  static constexpr int kKeptFailures = 12;

 private:
  GroupResult& result_;
};

std::string StatusText(Status status);

struct EffectFacts {
  Guid classId;
  std::string name;           // registered symbol, else the class id
  bool changesAlpha = false;  // registered "Changes Alpha" = 1
};

struct ModuleFacts {
  std::vector<ClassInfoRecord> interfaces;  // the interface records of the class list
  std::vector<Guid> registrationClasses;
  std::vector<EffectFacts> effects;  // classes offering the effect interface
};

// One effect instance and its interface; `Close` releases and destroys.
struct LiveEffect {
  std::unique_ptr<host::Instance> instance;
  host::InterfaceRef<EffectInterface> fx;
  Services services{};

  const EffectOps* ops() const { return fx->ops; }
  EffectInterface* self() const { return fx.get(); }
  void Close() {
    fx.Reset();
    instance.reset();
  }
};

// Null `fx` (and `*status` set) when create or the interface fails.
LiveEffect OpenEffect(host::Host& host, const Guid& classId, Status* status = nullptr);

// OpenEffect, counted as a check of the group.
LiveEffect ExpectEffect(Group& group, host::Host& host, const EffectFacts& fx);

// After everything a group made is gone: nothing left in the allocator, no
// foreign or double frees, no broken guards, and the module may unload.
void ExpectClean(Group& group, host::Host& host, const std::string& label);

// Module-level groups (fill `facts` as they learn the class list).
void CheckExports(Group& group, host::Host& host);
void CheckClassList(Group& group, host::Host& host, ModuleFacts& facts);
void CheckClassForms(Group& group, host::Host& host, const ModuleFacts& facts);
void CheckInterfaces(Group& group, host::Host& host, const ModuleFacts& facts);
void CheckUnloadRule(Group& group, host::Host& host, const ModuleFacts& facts);
void CheckRegistration(Group& group, host::Host& host, ModuleFacts& facts);

// Effect groups, each over every effect the class list offers.
void CheckStaticAnswers(Group& group, host::Host& host, const ModuleFacts& facts);
void CheckPropertyTables(Group& group, host::Host& host, const ModuleFacts& facts);
void CheckSetProperties(Group& group, host::Host& host, const ModuleFacts& facts);
void CheckRenders(Group& group, host::Host& host, const ModuleFacts& facts);
void CheckHitTests(Group& group, host::Host& host, const ModuleFacts& facts);
void CheckScriptCalls(Group& group, host::Host& host, const ModuleFacts& facts);
void CheckAllocationFailures(Group& group, host::Host& host, const ModuleFacts& facts);

}  // namespace vx::check
