#include "operations.h"

#include <algorithm>

namespace vx::fuzz {
namespace {

// Statuses a script function may answer bad arguments with.
constexpr Status kScriptStatuses[] = {kOk,
                                      static_cast<Status>(0x800407D9u),   // not readable as the type
                                      static_cast<Status>(0x800407DDu),   // not a point
                                      static_cast<Status>(0x800407DEu),   // not a rectangle
                                      static_cast<Status>(0x800407E3u),   // wrong number of coordinates
                                      static_cast<Status>(0x800407E5u)};  // wrong number of arguments

bool Flag01(std::int32_t v) { return v == 0 || v == 1; }

}  // namespace

RenderScene& EffectRun::Scene() {
  if (!scene) scene = std::make_unique<RenderScene>(in, session);
  return *scene;
}

void EffectRun::DrawOrHit() {
  RenderScene& s = Scene();
  if (in.Flag())
    s.Draw(in, effect, session, false);
  else if (in.Flag())
    s.Draw(in, effect, session, true);
  else
    s.HitTest(in, effect, session);
}

void RunEffectInput(const std::uint8_t* data, std::size_t size, const char* target, bool sceneFirst,
                    const std::function<void(EffectRun&)>& step) {
  Input in(data, size);
  const std::vector<EffectClass>& effects = Effects();
  Session session;
  {
    LiveEffect e;
    if (!OpenEffect(session, effects[in.Below(static_cast<std::uint32_t>(effects.size()))], &e))
      Fail("create failed with a working allocator");
    EffectRun run{in, session, e, nullptr};
    if (sceneFirst) run.Scene();
    for (int n = 0; n < 32 && in.More(); ++n) step(run);
    run.scene.reset();
    e.Close();
  }
  session.Finish(target);
}

void SetRandomProperties(Input& in, LiveEffect& e, Session& session) {
  const HostValue list = RandomPropertyList(in, session, *e.cls);
  const std::string what = e.cls->name + " SetProperties";
  VX_FUZZ_TRACE(what);
  std::int32_t restarted = 0, changed = -1;
  const std::size_t failed = session.allocator().FailedCount();
  const Status s = e.ops().SetProperties(e.self(), &list, 0, 0, &session.services(), &restarted, &changed);
  session.CheckHeap(what);
  const bool allocationFailed = session.allocator().FailedCount() != failed;
  VX_FUZZ_EXPECT(s == kOk || (s == kOutOfMemory && allocationFailed), what + ": status " + std::to_string(s));
  VX_FUZZ_EXPECT(changed == 1, what + ": the changed flag is " + std::to_string(changed));
  VX_FUZZ_EXPECT(Flag01(restarted), what + ": the restarted flag is " + std::to_string(restarted));
  VX_FUZZ_EXPECT(session.values().ServiceReferences() == 0, what + ": kept a reference on the value service");
}

void StateCall(Input& in, LiveEffect& e, Session& session) {
  const std::string name = e.cls->name;
  std::int32_t a = 0, b = 0;
  Status s = kOk;
  switch (in.Below(7)) {
    case 0:
      s = e.ops().Stop(e.self(), 0, &a);
      VX_FUZZ_EXPECT(Flag01(a), name + " Stop: changed flag " + std::to_string(a));
      break;
    case 1:
      s = e.ops().Resume(e.self(), 0, &a);
      VX_FUZZ_EXPECT(Flag01(a), name + " Resume: changed flag " + std::to_string(a));
      break;
    case 2:
      a = b = -1;
      s = e.ops().Reset(e.self(), &session.services(), &a, &b);
      VX_FUZZ_EXPECT(a == 1 && (b == 1 || b == -1), name + " Reset: outputs " + std::to_string(a) + ", " + std::to_string(b));
      break;
    case 3:
      a = -1;
      s = e.ops().NeedsRedraw(e.self(), &a, in.Flag() ? in.Int() : static_cast<std::int32_t>(in.Below(3)));
      VX_FUZZ_EXPECT(Flag01(a), name + " NeedsRedraw answered " + std::to_string(a));
      break;
    case 4:
      a = -1;
      s = e.ops().IsStill(e.self(), &a, in.Int());
      VX_FUZZ_EXPECT(Flag01(a), name + " IsStill answered " + std::to_string(a));
      break;
    case 5:
      a = -1;
      s = e.ops().QueryFlag(e.self(), &a, 0);
      VX_FUZZ_EXPECT(a == (e.cls->changesAlpha ? 1 : 0), name + " QueryFlag answered " + std::to_string(a));
      break;
    default: {
      PropertyDesc* table = nullptr;
      s = e.ops().GetPropertyTable(e.self(), &table, &a, &session.services());
      VX_FUZZ_EXPECT(table != nullptr && a > 0 && session.allocator().BlockSize(table) >= a * sizeof(PropertyDesc),
             name + " GetPropertyTable: no table of its count in a host block");
      break;
    }
  }
  VX_FUZZ_TRACE(name + " state call");
  session.CheckHeap(name + " state call");
  VX_FUZZ_EXPECT(s == kOk, name + " state call: status " + std::to_string(s));
}

void ScriptCall(Input& in, LiveEffect& e, Session& session) {
  const EffectClass& cls = *e.cls;
  host::Values& values = session.values();
  std::string name;
  if (cls.hasFunctions && in.Below(4) != 0)
    name = cls.functions[in.Below(static_cast<std::uint32_t>(cls.functions.size()))];
  else
    name = DecodeSymbol(in);
  const bool known = std::find(cls.functions.begin(), cls.functions.end(), name) != cls.functions.end();

  // The host's form: the sprite, the effect, then the arguments; or any
  // first index, and a count that says fewer than the array holds.
  const std::uint32_t given = in.Below(7);
  std::int32_t first = 2;
  if (in.Below(8) == 0) first = in.Int();
  const std::uint32_t n = 2 + given;
  Fenced args(n * sizeof(HostValue));
  auto* arg = reinterpret_cast<HostValue*>(args.data());
  arg[0] = session.Keep(values.Integer(1));
  Symbol effectSymbol = 0;
  e.ops().GetEffectSymbol(e.self(), &effectSymbol, 0);
  arg[1] = session.Keep(values.SymbolValue(effectSymbol));
  for (std::uint32_t i = 2; i < n; ++i) arg[i] = RandomValue(in, session, 1);
  std::int32_t count = static_cast<std::int32_t>(n);
  if (in.Below(8) == 0) count = std::min(in.Int(), count);

  FencedRecord<HostValue> result;
  const HostValue placeholder = session.Keep(values.Float(0.25));
  *result.get() = placeholder;
  std::int32_t restarted = 0, changed = 0;
  const std::string what = cls.name + " CallFunction " + name + " with " + std::to_string(given) + " arguments";
  VX_FUZZ_TRACE(what + " (count " + std::to_string(count) + ", first " + std::to_string(first) + ")");
  const Status s = e.ops().CallFunction(e.self(), values.Intern(name), arg, count, first, result.get(),
                                        &session.services(), &restarted, &changed);
  session.CheckHeap(what);
  VX_FUZZ_EXPECT(args.Intact() && result.Intact(), what + ": wrote past the arguments or the result");
  if (known)
    VX_FUZZ_EXPECT(std::find(std::begin(kScriptStatuses), std::end(kScriptStatuses), s) != std::end(kScriptStatuses),
           what + ": status " + std::to_string(s));
  else
    VX_FUZZ_EXPECT(s == kNoSuchFunction, what + ": status " + std::to_string(s) + " for a function it lacks");
  VX_FUZZ_EXPECT(Flag01(restarted) && Flag01(changed), what + ": flags " + std::to_string(restarted) + ", " + std::to_string(changed));
  if (result->bits != placeholder.bits) {
    std::int32_t type = 0;
    VX_FUZZ_EXPECT(values.TypeOf(*result.get(), &type) == kOk, what + ": a result that is no value");
    values.Release(result.get());
  }
  VX_FUZZ_EXPECT(session.values().ServiceReferences() == 0, what + ": kept a reference on the value service");
}

}  // namespace vx::fuzz
