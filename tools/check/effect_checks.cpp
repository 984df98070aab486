// Each effect's static answers, property table, SetProperties with empty,
// odd and hostile lists, script calls with bad arguments, and allocation
// failure at every allocation of a create and a render.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <set>

#include "scene.h"

namespace vx::check {
namespace {

constexpr std::int32_t kTypeCodes[] = {1, 2, 6, 8, 9, 10};
// Script statuses a function may answer bad arguments with.
const std::set<Status> kScriptStatuses = {kOk,
                                          static_cast<Status>(0x800407D9u),  // not readable as the type
                                          static_cast<Status>(0x800407DDu),  // not a point
                                          static_cast<Status>(0x800407DEu),  // not a rectangle
                                          static_cast<Status>(0x800407E3u),  // wrong number of coordinates
                                          static_cast<Status>(0x800407E5u)};  // wrong number of arguments

// A block the module handed over: live, text inside it. Frees it.
std::string TakeText(Group& group, host::Host& host, char* text, const std::string& what) {
  if (text == nullptr) return {};
  const std::uint32_t size = host.allocator().BlockSize(text);
  if (!group.Expect(size > 0, what + ": the text is not a block from the services' allocator")) return {};
  const std::string result(text, ::strnlen(text, size));
  group.Expect(result.size() < size, what + ": the text has no terminator inside its block");
  host.allocator().Free(text);
  return result;
}

std::vector<std::string> TableKeys(host::Host& host, LiveEffect& e) {
  PropertyDesc* table = nullptr;
  std::int32_t count = 0;
  std::vector<std::string> keys;
  if (e.ops()->GetPropertyTable(e.self(), &table, &count, &e.services) != kOk || table == nullptr) return keys;
  for (std::int32_t i = 0; i < count; ++i)
    if (table[i].keySymbol != 0) keys.push_back(host.values().SymbolText(table[i].keySymbol));
  return keys;
}

// After whatever an effect was told, frames still draw inside their update.
void ExpectRenders(Group& group, host::Host& host, LiveEffect& e, const std::string& what, std::uint32_t seed,
                   int frames = 2) {
  Scene scene(kFormats[3], kFormats[3], host, seed);
  for (int frame = 0; frame < frames; ++frame) {
    // A small update first: some hostile settings make every pixel dear.
    const AreaRect given = frame == 0 ? MakeRect(0, 10, 12, 40) : MakeRect(-6, 4, 31, 33);
    AreaRect update = given;
    scene.Snapshot();
    group.ExpectStatus(e.ops()->Render(e.self(), scene.dst.View(), scene.src.View(), &update, scene.mask.View(),
                                       frame ? scene.runs.data() : nullptr, scene.palette.Record(), 255, 1, 0, 0,
                                       &scene.thresholds),
                       kOk, what + ", then Render");
    for (const std::string& fault : scene.Faults(given, true, false)) group.Expect(false, what + ", then Render: " + fault);
  }
  std::int32_t flag = -1;
  group.ExpectStatus(e.ops()->NeedsRedraw(e.self(), &flag, 0), kOk, what + ", then NeedsRedraw");
  group.Expect(flag == 0 || flag == 1, what + ", then NeedsRedraw answered " + std::to_string(flag));
  flag = -1;
  group.ExpectStatus(e.ops()->IsStill(e.self(), &flag, 0), kOk, what + ", then IsStill");
  group.Expect(flag == 0 || flag == 1, what + ", then IsStill answered " + std::to_string(flag));
}

}  // namespace

void CheckStaticAnswers(Group& group, host::Host& host, const ModuleFacts& facts) {
  for (const EffectFacts& fx : facts.effects) {
    LiveEffect e = ExpectEffect(group, host, fx);
    if (!e.fx) continue;
    Status status = kOk;  // its address marks outputs that must stay unwritten
    std::int32_t a = -1, b = -1;
    group.ExpectStatus(e.ops()->GetTraits(e.self(), &a, &b), kOk, fx.name + ": GetTraits");
    for (bool setName : {false, true}) {
      const std::string what = fx.name + (setName ? ": GetSetName" : ": GetDisplayName");
      auto op = setName ? e.ops()->GetSetName : e.ops()->GetDisplayName;
      char* text = nullptr;
      group.ExpectStatus(op(e.self(), &text, &e.services), kOk, what);
      group.Expect(!TakeText(group, host, text, what).empty(), what + ": no name");
      host.allocator().FailNth(1);
      char* untouched = reinterpret_cast<char*>(&status);
      group.ExpectStatus(op(e.self(), &untouched, &e.services), kOutOfMemory, what + " when the allocator fails");
      group.Expect(untouched == reinterpret_cast<char*>(&status), what + " wrote its output when the allocator failed");
      host.allocator().FailNth(0);
    }
    char* description = reinterpret_cast<char*>(&status);
    group.ExpectStatus(e.ops()->GetDescription(e.self(), &description, &e.services), kOk, fx.name + ": GetDescription");
    TakeText(group, host, description, fx.name + ": GetDescription");
    host.allocator().FailAll(true);
    description = reinterpret_cast<char*>(&status);
    group.ExpectStatus(e.ops()->GetDescription(e.self(), &description, &e.services), kOk,
                       fx.name + ": GetDescription when the allocator fails");
    host.allocator().FailAll(false);
    group.Expect(description == nullptr, fx.name + ": GetDescription left its output set when the allocator failed");

    Symbol symbol = 0;
    group.ExpectStatus(e.ops()->GetEffectSymbol(e.self(), &symbol, 0), kOk, fx.name + ": GetEffectSymbol");
    group.Expect(!host.values().SymbolText(symbol).empty(), fx.name + ": GetEffectSymbol gave no symbol the host made");
    std::int32_t flag = -1;
    group.ExpectStatus(e.ops()->QueryFlag(e.self(), &flag, 0), kOk, fx.name + ": QueryFlag");
    group.Expect(flag == (fx.changesAlpha ? 1 : 0), fx.name + ": QueryFlag answers " + std::to_string(flag) +
                                                        " but registration says \"Changes Alpha\" " + (fx.changesAlpha ? "1" : "is not set"));
    for (int reason : {0, 1, 2}) {
      flag = -1;
      group.ExpectStatus(e.ops()->NeedsRedraw(e.self(), &flag, reason), kOk, fx.name + ": NeedsRedraw");
      group.Expect(flag == 0 || flag == 1, fx.name + ": NeedsRedraw answered " + std::to_string(flag));
    }
    std::int32_t changed = -1, outA = -1, outB = -1;
    group.ExpectStatus(e.ops()->Stop(e.self(), 0, &changed), kOk, fx.name + ": Stop");
    group.ExpectStatus(e.ops()->Resume(e.self(), 0, &changed), kOk, fx.name + ": Resume");
    group.ExpectStatus(e.ops()->Reset(e.self(), &e.services, &outA, &outB), kOk, fx.name + ": Reset");
    group.Expect(outA == 1, fx.name + ": Reset wrote " + std::to_string(outA) + " to its first output");
    e.Close();
    ExpectClean(group, host, fx.name + " static answers");
  }
}

void CheckPropertyTables(Group& group, host::Host& host, const ModuleFacts& facts) {
  for (const EffectFacts& fx : facts.effects) {
    LiveEffect e = ExpectEffect(group, host, fx);
    if (!e.fx) continue;
    Status status = kOk;  // its address marks an output that must be replaced
    // A table the allocator cannot give: null, status 0, and tried again next time.
    host.allocator().FailAll(true);
    PropertyDesc* table = reinterpret_cast<PropertyDesc*>(&status);
    std::int32_t count = -1;
    group.ExpectStatus(e.ops()->GetPropertyTable(e.self(), &table, &count, &e.services), kOk,
                       fx.name + ": GetPropertyTable when the allocator fails");
    host.allocator().FailAll(false);
    group.Expect(table == nullptr, fx.name + ": GetPropertyTable gave a table the allocator never gave");

    group.ExpectStatus(e.ops()->GetPropertyTable(e.self(), &table, &count, &e.services), kOk, fx.name + ": GetPropertyTable");
    if (!group.Expect(table != nullptr && count > 0 && count < 1000,
                      fx.name + ": GetPropertyTable gave " + std::to_string(count) + " entries"))
      continue;
    group.Expect(host.allocator().BlockSize(table) >= count * sizeof(PropertyDesc),
                 fx.name + ": the table is not a block of the services' allocator large enough for its entries");
    std::set<std::string> keys;
    std::set<std::int32_t> ids;
    for (std::int32_t i = 0; i < count; ++i) {
      // A row may be left unfilled, cleared to zeros.
      if (table[i].keySymbol == 0 && table[i].valueType == 0 && table[i].propertyId == 0) continue;
      const std::string key = host.values().SymbolText(table[i].keySymbol);
      const std::string what = fx.name + ": table entry " + std::to_string(i) + " (#" + key + ")";
      group.Expect(!key.empty(), what + ": the key is no symbol the host made");
      group.Expect(keys.insert(key).second, what + ": key listed twice");
      group.Expect(ids.insert(table[i].propertyId).second, what + ": property id listed twice");
      group.Expect(std::find(std::begin(kTypeCodes), std::end(kTypeCodes), table[i].valueType) != std::end(kTypeCodes),
                   what + ": value type " + std::to_string(table[i].valueType) + " is none of the host's");
    }
    const std::size_t requests = host.allocator().RequestCount();
    PropertyDesc* again = nullptr;
    std::int32_t againCount = -1;
    group.ExpectStatus(e.ops()->GetPropertyTable(e.self(), &again, &againCount, &e.services), kOk,
                       fx.name + ": second GetPropertyTable");
    group.Expect(again == table && againCount == count && host.allocator().RequestCount() == requests,
                 fx.name + ": the second GetPropertyTable did not answer the cached table without allocating");
    e.Close();
    ExpectClean(group, host, fx.name + " property table");
  }
}

void CheckSetProperties(Group& group, host::Host& host, const ModuleFacts& facts) {
  host::Values& v = host.values();
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  std::uint32_t seed = 100;
  for (const EffectFacts& fx : facts.effects) {
    // Without a table nothing can be applied.
    {
      LiveEffect e = ExpectEffect(group, host, fx);
      if (!e.fx) continue;
      HostValue list = v.List({});
      std::int32_t restarted = -1, changed = -1;
      host.allocator().FailAll(true);
      group.ExpectStatus(e.ops()->SetProperties(e.self(), &list, 0, 0, &e.services, &restarted, &changed), kOutOfMemory,
                         fx.name + ": SetProperties when its table cannot be built");
      host.allocator().FailAll(false);
      v.Release(&list);
      e.Close();
    }

    LiveEffect e = ExpectEffect(group, host, fx);
    if (!e.fx) continue;
    const std::vector<std::string> keys = TableKeys(host, e);

    // Values no effect should trust: extremes, non-numbers, wrong types.
    const std::vector<std::pair<std::string, std::function<HostValue()>>> hostile = {
        {"0", [&] { return v.Integer(0); }},
        {"-1", [&] { return v.Integer(-1); }},
        {"1", [&] { return v.Integer(1); }},
        {"7", [&] { return v.Integer(7); }},
        {"INT_MIN", [&] { return v.Integer(INT_MIN); }},
        {"INT_MAX", [&] { return v.Integer(INT_MAX); }},
        {"1000000", [&] { return v.Integer(1000000); }},
        {"NaN", [&] { return v.Float(nan); }},
        {"inf", [&] { return v.Float(inf); }},
        {"-inf", [&] { return v.Float(-inf); }},
        {"1e300", [&] { return v.Float(1e300); }},
        {"-0.5", [&] { return v.Float(-0.5); }},
        {"#vornixCheck", [&] { return v.SymbolValue("vornixCheck"); }},
        {"#static", [&] { return v.SymbolValue("static"); }},
        {"#range", [&] { return v.SymbolValue("range"); }},
        {"#infinite", [&] { return v.SymbolValue("infinite"); }},
        {"#pendulum", [&] { return v.SymbolValue("pendulum"); }},
        {"point(INT_MAX, INT_MIN)", [&] { return v.Point(INT_MIN, INT_MAX); }},
        {"rect(INT_MIN, INT_MAX, INT_MAX, INT_MIN)", [&] { return v.Rect(INT_MAX, INT_MIN, INT_MIN, INT_MAX); }},
        {"rect(0, 0, 0, 0)", [&] { return v.Rect(0, 0, 0, 0); }},
        {"[]", [&] { return v.List({}); }},
    };

    struct Case {
      std::string text;
      HostValue value;
      int frames;
    };
    std::vector<Case> cases;
    cases.push_back({"[]", v.List({}), 2});
    cases.push_back({"7 (not a list)", v.Integer(7), 2});
    cases.push_back({"#range (not a list)", v.SymbolValue("range"), 2});
    cases.push_back({"2.5 (not a list)", v.Float(2.5), 2});
    cases.push_back({"[#vornixCheckUnknown: 5]", v.List({{"vornixCheckUnknown", v.Integer(5)}}), 2});
    for (const auto& [text, make] : hostile) {
      std::vector<std::pair<std::string, HostValue>> all;
      for (const std::string& key : keys) {
        cases.push_back({"[#" + key + ": " + text + "]", v.List({{key, make()}}), 0});
        all.emplace_back(key, make());
      }
      cases.push_back({"every key " + text, v.List(all), 1});
    }
    for (Case& c : cases) {
      const std::string what = fx.name + ": SetProperties " + c.text;
      std::int32_t restarted = -1, changed = -1;
      group.ExpectStatus(e.ops()->SetProperties(e.self(), &c.value, 0, 0, &e.services, &restarted, &changed), kOk, what);
      group.Expect(changed == 1, what + ": the changed flag is " + std::to_string(changed) + ", not 1");
      group.Expect(restarted == -1 || restarted == 0 || restarted == 1, what + ": the restarted flag is " + std::to_string(restarted));
      ExpectRenders(group, host, e, what, seed++, c.frames);
      v.Release(&c.value);
    }
    group.Expect(v.ServiceReferences() == 0, fx.name + ": kept a reference on the value service");
    e.Close();
    ExpectClean(group, host, fx.name + " SetProperties");
  }
}

void CheckScriptCalls(Group& group, host::Host& host, const ModuleFacts& facts) {
  host::Values& v = host.values();
  std::uint32_t seed = 300;
  for (const EffectFacts& fx : facts.effects) {
    LiveEffect e = ExpectEffect(group, host, fx);
    if (!e.fx) continue;
    Symbol effectSymbol = 0;
    e.ops()->GetEffectSymbol(e.self(), &effectSymbol, 0);

    // The functions its description offers ("Name(sprite n, #effect, ...)").
    char* text = nullptr;
    e.ops()->GetDescription(e.self(), &text, &e.services);
    const std::string description = TakeText(group, host, text, fx.name + ": GetDescription");
    const std::vector<std::string> functions = host::DescribedFunctions(description);

    // Argument lists: nothing, each wrong or extreme kind alone, too many.
    const std::vector<std::pair<std::string, std::function<std::vector<HostValue>()>>> argLists = {
        {"no arguments", [&] { return std::vector<HostValue>{}; }},
        {"(0)", [&] { return std::vector<HostValue>{v.Integer(0)}; }},
        {"(INT_MIN)", [&] { return std::vector<HostValue>{v.Integer(INT_MIN)}; }},
        {"(NaN)", [&] { return std::vector<HostValue>{v.Float(std::numeric_limits<double>::quiet_NaN())}; }},
        {"(#vornixCheck)", [&] { return std::vector<HostValue>{v.SymbolValue("vornixCheck")}; }},
        {"([])", [&] { return std::vector<HostValue>{v.List({})}; }},
        {"(#a, #b)", [&] { return std::vector<HostValue>{v.SymbolValue("a"), v.SymbolValue("b")}; }},
        {"(INT_MAX, INT_MIN, 1e300)",
         [&] { return std::vector<HostValue>{v.Integer(INT_MAX), v.Integer(INT_MIN), v.Float(1e300)}; }},
        {"(point, #a, rect)", [&] { return std::vector<HostValue>{v.Point(INT_MAX, INT_MIN), v.SymbolValue("a"), v.Rect(5, 5, 0, 0)}; }},
        {"seven integers", [&] {
           std::vector<HostValue> args;
           for (int i = 0; i < 7; ++i) args.push_back(v.Integer(i * 1000 - 3000));
           return args;
         }},
    };
    auto call = [&](const std::string& name, const std::vector<HostValue>& given, Status* out, bool* resultTouched,
                    std::int32_t* restarted, std::int32_t* changed) {
      // Exactly the values counted, in a block of their own.
      std::vector<HostValue> args = {v.Integer(1), v.SymbolValue(effectSymbol)};
      args.insert(args.end(), given.begin(), given.end());
      HostValue result = v.Float(0.25);
      const HostValue placeholder = result;
      *out = e.ops()->CallFunction(e.self(), v.Intern(name), args.data(), static_cast<std::int32_t>(args.size()), 2,
                                   &result, &e.services, restarted, changed);
      *resultTouched = result.bits != placeholder.bits;
      if (*resultTouched) v.Release(&result);
      HostValue p = placeholder;
      v.Release(&p);
      for (HostValue& a : args) v.Release(&a);
    };

    for (const auto& [argText, make] : argLists) {
      Status s = kOk;
      bool touched = false;
      std::int32_t restarted = 0, changed = 0;
      call("vornixCheckNoSuchFunction", make(), &s, &touched, &restarted, &changed);
      const std::string what = fx.name + ": CallFunction of a function it lacks, " + argText;
      group.ExpectStatus(s, kNoSuchFunction, what);
      group.Expect(!touched, what + ": wrote a result");
      for (const std::string& name : functions) {
        const std::string fwhat = fx.name + ": " + name + " " + argText;
        restarted = changed = 0;
        call(name, make(), &s, &touched, &restarted, &changed);
        group.Expect(kScriptStatuses.count(s) != 0, fwhat + ": status " + StatusText(s) + " is none of the script statuses");
        group.Expect((restarted == 0 || restarted == 1) && (changed == 0 || changed == 1),
                     fwhat + ": flags " + std::to_string(restarted) + ", " + std::to_string(changed));
      }
    }
    if (!functions.empty()) ExpectRenders(group, host, e, fx.name + ": after the bad calls", seed++);
    e.Close();
    ExpectClean(group, host, fx.name + " script calls");
  }
}

void CheckAllocationFailures(Group& group, host::Host& host, const ModuleFacts& facts) {
  host::Values& v = host.values();
  host::Allocator& allocator = host.allocator();
  for (const EffectFacts& fx : facts.effects) {
    // The life of one effect: create, interface, table, properties, names,
    // three renders and one with alpha. Returns the allocations it asked for.
    auto life = [&](std::uint32_t failAt) {
      const std::size_t first = allocator.RequestCount();
      allocator.FailNth(failAt);
      const std::string what = fx.name + (failAt ? ", allocation " + std::to_string(failAt) + " failing" : "");
      Status status = kOk;
      LiveEffect e = OpenEffect(host, fx.classId, &status);
      group.ExpectOkOrOutOfMemory(status, what + ": create and interface");
      if (e.fx) {
        PropertyDesc* table = nullptr;
        std::int32_t count = 0;
        group.ExpectStatus(e.ops()->GetPropertyTable(e.self(), &table, &count, &e.services), kOk, what + ": GetPropertyTable");
        std::vector<std::pair<std::string, HostValue>> entries;
        for (std::int32_t i = 0; table != nullptr && i < count; ++i) {
          const std::string key = v.SymbolText(table[i].keySymbol);
          if (key == "animMode") entries.emplace_back(key, v.SymbolValue("range"));
          if (key == "numFrames") entries.emplace_back(key, v.Integer(4));
        }
        HostValue list = v.List(entries);
        std::int32_t restarted = 0, changed = 0;
        group.ExpectOkOrOutOfMemory(e.ops()->SetProperties(e.self(), &list, 0, 0, &e.services, &restarted, &changed),
                                    what + ": SetProperties");
        v.Release(&list);
        char* text = nullptr;
        group.ExpectOkOrOutOfMemory(e.ops()->GetDisplayName(e.self(), &text, &e.services), what + ": GetDisplayName");
        if (text != nullptr) allocator.Free(text);
        text = nullptr;
        group.ExpectStatus(e.ops()->GetDescription(e.self(), &text, &e.services), kOk, what + ": GetDescription");
        if (text != nullptr) allocator.Free(text);
        for (int frame = 0; frame < 3; ++frame) {
          Scene scene(kFormats[frame == 1 ? 0 : 3], kFormats[frame == 1 ? 0 : 3], host, 500 + frame);
          const AreaRect given = frame == 2 ? MakeRect(0, 10, 12, 40) : MakeRect(-6, 4, 31, 33);
          AreaRect update = given;
          scene.Snapshot();
          group.ExpectOkOrOutOfMemory(e.ops()->Render(e.self(), scene.dst.View(), scene.src.View(), &update, scene.mask.View(),
                                                      frame == 1 ? scene.runs.data() : nullptr, scene.palette.Record(), 255, 1,
                                                      0, 0, &scene.thresholds),
                                      what + ": Render");
          for (const std::string& fault : scene.Faults(given, true, false)) group.Expect(false, what + ": Render: " + fault);
        }
        Scene scene(kFormats[7], kFormats[1], host, 510);
        AreaRect update = MakeRect(-6, 4, 31, 33);
        const AreaRect given = update;
        scene.Snapshot();
        group.ExpectOkOrOutOfMemory(e.ops()->RenderWithAlpha(e.self(), scene.dst.View(), scene.dstAlpha.View(), scene.src.View(),
                                                             scene.mask.View(), &update, scene.runs.data(),
                                                             scene.palette.Record(), 128, 1, 0, &scene.thresholds),
                                    what + ": RenderWithAlpha");
        for (const std::string& fault : scene.Faults(given, true, true)) group.Expect(false, what + ": RenderWithAlpha: " + fault);
        e.Close();
      }
      allocator.FailNth(0);
      ExpectClean(group, host, what);
      return static_cast<std::uint32_t>(allocator.RequestCount() - first);
    };
    const std::uint32_t allocations = life(0);
    for (std::uint32_t n = 1; n <= allocations; ++n) life(n);
  }
}

}  // namespace vx::check
