// The module's effects as a host sees them: what registration wrote, and an
// effect instance with the operations the previewer calls.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/core/host.h"
#include "vornix/abi.h"

namespace vx::preview {

// A failing status from the module; `operation` names the call.
class ModuleError : public std::runtime_error {
 public:
  ModuleError(std::string operation, Status status);
  Status status() const { return status_; }

 private:
  Status status_;
};

// "0x80040002 (out of memory)".
std::string StatusText(Status status);

struct EffectInfo {
  Guid classId;
  std::string symbol;       // "symbolString" entry, e.g. "lineSkip"
  std::string displayName;  // "displayNameString" entry
  std::string setName;      // "Interface Movie" entry
  bool changesAlpha = false;
  int version = 0;  // "My Version"; 0 when the effect does not write it
};

// Registers the module's effects through a recording registry and returns
// them in registration order.
std::vector<EffectInfo> RegisteredEffects(host::Host& host);

// By registered symbol or the effect's own symbol ("lineskip"), with or
// without '#', in any case. Null when there is none.
const EffectInfo* FindEffect(const std::vector<EffectInfo>& effects, std::string name);

struct PropertyInfo {
  std::string key;  // empty for an entry the effect left unfilled
  std::int32_t type = 0;
  std::int32_t id = 0;
};

// One created effect and its interface; destroyed with the object.
class Effect {
 public:
  Effect(host::Host& host, const EffectInfo& info);
  Effect(const Effect&) = delete;
  Effect& operator=(const Effect&) = delete;

  EffectInterface* operator->() const { return iface_.get(); }
  EffectInterface* get() const { return iface_.get(); }
  Services* services() { return &services_; }
  const EffectInfo& info() const { return info_; }

  std::vector<PropertyInfo> Properties();
  // The raw property table (owned by the effect); null when it has none.
  const PropertyDesc* Table(std::int32_t* count);
  // The effect's own symbol text ("lineskip").
  std::string SymbolText();
  // GetDescription as UTF-8 with line feeds; empty when there is none.
  std::string Description();

 private:
  host::Host& host_;
  EffectInfo info_;
  std::unique_ptr<host::Instance> instance_;
  host::InterfaceRef<EffectInterface> iface_;
  Services services_;
};

// What an effect's description text lists: the script functions (the host
// layer reads them) and each key's type word (lines such as
// "#degrees   integer   ...").
using host::DescribedFunctions;
std::vector<std::pair<std::string, std::string>> DescribedTypes(const std::string& description);

// The candidate closest to `name` in spelling, when it is close enough to
// be a slip (case aside, at most a third of the letters differ).
std::optional<std::string> ClosestSpelling(const std::string& name, const std::vector<std::string>& candidates);

// Shift-JIS (code page 932) text with carriage-return line ends, as UTF-8
// with line feeds. Bytes that do not convert become U+FFFD.
std::string ShiftJisToUtf8(const std::string& text);

}  // namespace vx::preview
