#include "check.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <algorithm>
#include <functional>

#include "checker.h"

namespace vx::check {

bool Report::Passed() const {
  for (const GroupResult& g : groups)
    if (!g.Passed()) return false;
  return !groups.empty();
}

std::string StatusText(Status status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

bool Group::ExpectStatus(Status got, Status want, const std::string& what) {
  return Expect(got == want, what + ": status " + StatusText(got) + ", expected " + StatusText(want));
}

bool Group::ExpectOkOrOutOfMemory(Status got, const std::string& what) {
  return Expect(got == kOk || got == kOutOfMemory,
                what + ": status " + StatusText(got) + ", expected 0 or " + StatusText(kOutOfMemory));
}

LiveEffect OpenEffect(host::Host& host, const Guid& classId, Status* status) {
  Status ignored = kOk;
  if (status == nullptr) status = &ignored;
  LiveEffect effect;
  effect.services = host.MakeServices();
  effect.instance = host.Create(classId, status);
  if (!effect.instance) return effect;
  void* out = nullptr;
  *status = effect.instance->GetInterface(kEffectInterfaceId, &out);
  if (*status == kOk && out != nullptr)
    effect.fx = host::InterfaceRef<EffectInterface>(static_cast<EffectInterface*>(out));
  else
    effect.instance.reset();
  return effect;
}

LiveEffect ExpectEffect(Group& group, host::Host& host, const EffectFacts& fx) {
  Status status = kOk;
  LiveEffect effect = OpenEffect(host, fx.classId, &status);
  group.ExpectStatus(status, kOk, fx.name + ": create and interface");
  return effect;
}

void ExpectClean(Group& group, host::Host& host, const std::string& label) {
  host::Allocator& a = host.allocator();
  group.Expect(a.LiveBlocks() == 0, label + ": " + std::to_string(a.LiveBlocks()) + " block(s) of " +
                                        std::to_string(a.LiveBytes()) + " bytes never freed");
  group.Expect(a.BadFreeCount() == 0, label + ": " + std::to_string(a.BadFreeCount()) +
                                          " free(s) of blocks the allocator did not hand out (or freed twice)");
  group.Expect(a.GuardsIntact() && a.BrokenGuardCount() == 0, label + ": wrote past the end of an allocated block");
  group.Expect(host.module().DllCanUnloadNow() == kOk, label + ": DllCanUnloadNow refuses after every record was released");
}

namespace {

using GroupFn = std::function<void(Group&, host::Host&, ModuleFacts&)>;

const std::vector<std::pair<const char*, GroupFn>>& Groups() {
  static const std::vector<std::pair<const char*, GroupFn>> groups = {
      {"exports", [](Group& g, host::Host& h, ModuleFacts&) { CheckExports(g, h); }},
      {"class list", CheckClassList},
      {"class forms", CheckClassForms},
      {"interface records", CheckInterfaces},
      {"unload rule", CheckUnloadRule},
      {"registration", CheckRegistration},
      {"static answers", CheckStaticAnswers},
      {"property tables", CheckPropertyTables},
      {"SetProperties", CheckSetProperties},
      {"renders", CheckRenders},
      {"hit tests", CheckHitTests},
      {"script calls", CheckScriptCalls},
      {"allocation failures", CheckAllocationFailures},
  };
  return groups;
}

bool Prerequisite(const std::string& name) {
  return name == "exports" || name == "class list" || name == "registration";
}

}  // namespace

std::vector<std::string> GroupNames() {
  std::vector<std::string> names;
  for (const auto& group : Groups()) names.emplace_back(group.first);
  return names;
}

Report CheckModule(const std::string& modulePath, const std::vector<std::string>& only) {
  Report report;
  report.module = modulePath;
  ModuleFacts facts;
  for (const auto& [name, run] : Groups()) {
    if (!only.empty() && !Prerequisite(name) && std::find(only.begin(), only.end(), name) == only.end()) continue;
    GroupResult& result = report.groups.emplace_back();
    result.name = name;
    Group group(result);
    const auto started = std::chrono::steady_clock::now();
    try {
      // A host of its own per group: counts start from zero, and one group's
      // leftovers cannot blame the next.
      host::Host host(modulePath);
      run(group, host, facts);
    } catch (const std::exception& error) {
      group.Expect(false, error.what());
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // Nothing else can be judged without the exports and the class list.
    if (report.groups.size() <= 2 && !result.Passed()) break;
  }
  return report;
}

void PrintText(std::ostream& out, const Report& report) {
  out << "vornix check: " << report.module << "\n";
  int passed = 0;
  for (const GroupResult& g : report.groups) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-4s  %-20s %6d checks %6.2f s", g.Passed() ? "ok" : "FAIL", g.name.c_str(),
                  g.checks, g.seconds);
    out << line;
    if (!g.Passed()) out << ", " << g.failed << " failed";
    out << "\n";
    for (const std::string& f : g.failures) out << "        " << f << "\n";
    if (g.failed > static_cast<int>(g.failures.size()))
      out << "        ... and " << g.failed - static_cast<int>(g.failures.size()) << " more\n";
    passed += g.Passed() ? 1 : 0;
  }
  const int total = static_cast<int>(report.groups.size());
  out << total << " groups: " << passed << " passed, " << total - passed << " failed"
      << (report.Passed() ? "" : " - the module does not meet the host contract") << "\n";
}

namespace {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace

void PrintJson(std::ostream& out, const Report& report) {
  int passed = 0;
  out << "{\"module\": " << JsonString(report.module) << ", \"passed\": " << (report.Passed() ? "true" : "false")
      << ", \"groups\": [";
  for (std::size_t i = 0; i < report.groups.size(); ++i) {
    const GroupResult& g = report.groups[i];
    passed += g.Passed() ? 1 : 0;
    out << (i ? ", " : "") << "\n  {\"name\": " << JsonString(g.name) << ", \"passed\": "
        << (g.Passed() ? "true" : "false") << ", \"checks\": " << g.checks << ", \"failed\": " << g.failed
        << ", \"failures\": [";
    for (std::size_t j = 0; j < g.failures.size(); ++j) out << (j ? ", " : "") << JsonString(g.failures[j]);
    out << "]}";
  }
  const int total = static_cast<int>(report.groups.size());
  out << "],\n \"summary\": {\"groups\": " << total << ", \"passed\": " << passed << ", \"failed\": " << total - passed
      << "}}\n";
}

int Run(const std::string& modulePath, bool json, std::ostream& out, const std::vector<std::string>& only) {
  const Report report = CheckModule(modulePath, only);
  if (json)
    PrintJson(out, report);
  else
    PrintText(out, report);
  return report.Passed() ? 0 : 1;
}

}  // namespace vx::check
