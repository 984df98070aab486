#include "catalogue.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <regex>
#include <sstream>

#include "host/core/allocator.h"
#include "host/core/registry.h"

namespace vx::preview {

std::string StatusText(Status status) {
  struct Named {
    std::uint32_t code;
    const char* name;
  };
  static const Named kNames[] = {
      {0, "success"},
      {0x80040002u, "out of memory"},
      {0x80040003u, "cannot unload"},
      {0x80040004u, "no such interface"},
      {0x80040005u, "no such class"},
      {0x800407D9u, "argument not readable as the expected type"},
      {0x800407DDu, "point missing or not a point"},
      {0x800407DEu, "not a rectangle"},
      {0x800407DFu, "no such function"},
      {0x800407E3u, "wrong number of arguments"},
      {0x800407E5u, "wrong number of arguments"},
      {static_cast<std::uint32_t>(kViewNoMemory), "view has no pixel memory"},
      {static_cast<std::uint32_t>(host::kHostFailure), "host failure"},
      {0x80004001u, "not implemented"},
  };
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<std::uint32_t>(status));
  for (const Named& n : kNames)
    if (n.code == static_cast<std::uint32_t>(status)) return std::string(code) + " (" + n.name + ")";
  return std::string(code) + " (unknown status)";
}

ModuleError::ModuleError(std::string operation, Status status)
    : std::runtime_error(operation + " failed: " + StatusText(status)), status_(status) {}

std::vector<EffectInfo> RegisteredEffects(host::Host& host) {
  host::RegistryRecorder registry;
  const Status status = host.RegisterEffects(registry);
  if (status != kOk) throw ModuleError("Register", status);
  std::vector<EffectInfo> effects(registry.Openings().size());
  for (std::size_t i = 0; i < effects.size(); ++i) effects[i].classId = registry.Openings()[i].classId;
  for (const auto& entry : registry.Entries()) {
    if (entry.dictionary < 0 || static_cast<std::size_t>(entry.dictionary) >= effects.size()) continue;
    EffectInfo& e = effects[entry.dictionary];
    if (entry.key == "symbolString") e.symbol = entry.text;
    else if (entry.key == "displayNameString") e.displayName = entry.text;
    else if (entry.key == "Interface Movie") e.setName = entry.text;
    else if (entry.key == "Changes Alpha") e.changesAlpha = entry.value != 0;
    else if (entry.key == "My Version") e.version = entry.value;
  }
  return effects;
}

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Frees a block the module handed over through the host allocator.
struct HostBlock {
  host::Allocator& allocator;
  char* text = nullptr;
  ~HostBlock() {
    if (text != nullptr) allocator.Free(text);
  }
};

}  // namespace

const EffectInfo* FindEffect(const std::vector<EffectInfo>& effects, std::string name) {
  if (!name.empty() && name[0] == '#') name.erase(0, 1);
  name = Lower(name);
  for (const EffectInfo& e : effects)
    if (Lower(e.symbol) == name || Lower(e.displayName) == name) return &e;
  // "lineskip" is the effect's own symbol and "Line Skip" its registered name.
  for (const EffectInfo& e : effects) {
    std::string compact;
    for (char c : Lower(e.displayName))
      if (c != ' ') compact += c;
    if (compact == name) return &e;
  }
  return nullptr;
}

Effect::Effect(host::Host& host, const EffectInfo& info)
    : host_(host), info_(info), services_(host.MakeServices()) {
  Status status = kOk;
  instance_ = host.Create(info.classId, &status);
  if (!instance_) throw ModuleError("creating " + info.symbol, status == kOk ? host::kHostFailure : status);
  iface_ = instance_->Effect();
  if (!iface_) throw ModuleError("the effect interface of " + info.symbol, kNoInterface);
}

const PropertyDesc* Effect::Table(std::int32_t* count) {
  PropertyDesc* table = nullptr;
  *count = 0;
  const Status status = iface_->ops->GetPropertyTable(iface_.get(), &table, count, &services_);
  if (status != kOk) throw ModuleError("GetPropertyTable", status);
  if (table == nullptr) *count = 0;
  return table;
}

std::vector<PropertyInfo> Effect::Properties() {
  std::int32_t count = 0;
  const PropertyDesc* table = Table(&count);
  std::vector<PropertyInfo> properties;
  for (std::int32_t i = 0; i < count; ++i)
    properties.push_back({host_.values().SymbolText(table[i].keySymbol), table[i].valueType,
                          table[i].propertyId});
  return properties;
}

std::string Effect::SymbolText() {
  Symbol symbol = 0;
  const Status status = iface_->ops->GetEffectSymbol(iface_.get(), &symbol, 0);
  if (status != kOk) throw ModuleError("GetEffectSymbol", status);
  return host_.values().SymbolText(symbol);
}

std::string Effect::Description() {
  HostBlock block{host_.allocator()};
  const Status status = iface_->ops->GetDescription(iface_.get(), &block.text, &services_);
  if (status != kOk) throw ModuleError("GetDescription", status);
  if (block.text == nullptr) return {};
  return ShiftJisToUtf8(block.text);
}

std::vector<std::pair<std::string, std::string>> DescribedTypes(const std::string& description) {
  static const std::regex kKey(R"(^#(\w+)\s+(integer|float|symbol|point|rect|list)\b)");
  std::vector<std::pair<std::string, std::string>> types;
  std::istringstream lines(description);
  std::smatch m;
  for (std::string line; std::getline(lines, line);)
    if (std::regex_search(line, m, kKey)) types.emplace_back(m[1].str(), m[2].str());
  return types;
}

std::optional<std::string> ClosestSpelling(const std::string& name, const std::vector<std::string>& candidates) {
  const std::string lowered = Lower(name);
  std::optional<std::string> best;
  std::size_t bestDistance = lowered.size() / 3 + 1;
  for (const std::string& candidate : candidates) {
    // Edit distance over one row of the usual table.
    const std::string other = Lower(candidate);
    std::vector<std::size_t> row(other.size() + 1);
    for (std::size_t j = 0; j < row.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= lowered.size(); ++i) {
      std::size_t diagonal = row[0];
      row[0] = i;
      for (std::size_t j = 1; j <= other.size(); ++j) {
        const std::size_t up = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (lowered[i - 1] == other[j - 1] ? 0 : 1)});
        diagonal = up;
      }
    }
    if (row.back() < bestDistance) bestDistance = row.back(), best = candidate;
  }
  return best;
}

std::string ShiftJisToUtf8(const std::string& text) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "SHIFT_JIS");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no Shift-JIS converter (iconv)");
  std::string out;
  char buffer[4096];
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  while (inLeft > 0) {
    char* o = buffer;
    std::size_t oLeft = sizeof buffer;
    const std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buffer, static_cast<std::size_t>(o - buffer));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // An invalid or cut-off sequence: mark it and go on after its first byte.
      out += "\xEF\xBF\xBD";
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  std::string lines;
  lines.reserve(out.size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\r') {
      lines += '\n';
      if (i + 1 < out.size() && out[i + 1] == '\n') ++i;
    } else {
      lines += out[i];
    }
  }
  return lines;
}

}  // namespace vx::preview
