// The allocation-failure sweep: for every effect, one fixed life (create,
// interface, property lists, names, description, renders of every kind,
// hit test, script calls, Reset, destroy) is run again and again with the
// host allocator failing its 1st, 2nd, ... allocation, until a run asks
// for no more than it is given. The call that meets the failure answers
// its documented status, every later call works as it would have, and the
// allocator ends with the blocks it started with.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "scene.h"
#include "tests/effects/effect_table.h"

namespace vx::host {
namespace {

using check::kFormats;
using check::MakeRect;
using check::Scene;

// What the renders of each effect answer when an allocation of theirs
// fails: the sampled effects' private copies and temporary views report
// it; mosaic's tile row (the only other render buffer) draws nothing.
Status RenderFailure(const std::string& effect) {
  return effect == "rotate" || effect == "swirl" || effect == "magnify" ? kOutOfMemory : kOk;
}

// A script call each effect can take (effects without functions answer
// that they have none).
std::vector<std::pair<std::string, std::vector<std::int32_t>>> Calls(const std::string& effect) {
  if (effect == "rotate") return {{"RelToPoint", {40, 12}}, {"GetAngle", {}}, {"Flip", {1}}};
  if (effect == "swirl") return {{"SetInterpolation", {1}}, {"GetAngle", {}}};
  if (effect == "magnify") return {{"SetMagPoint", {3, 4}}, {"InterpolateNow", {}}};
  return {{"GetAngle", {}}};
}

struct Life {
  Host& host;
  const ExpectedEffect& fx;
  LiveEffect e;
  Services services;
};

struct Step {
  std::string name;
  std::function<Status(Life&)> call;
  // The documented answer when the `nth` allocation of the call fails.
  std::function<Status(std::size_t nth)> onFailure;
};

Status RenderOf(Life& l, int kind) {
  // Threshold path at 32 bits, the run path at 8 bits through the palette,
  // the hard-mask path into an expanded 16-bit stage; the sampled effects
  // copy their source (align 2).
  const check::Format& f = kind == 0 ? kFormats[3] : kind == 1 ? kFormats[0] : kFormats[7];
  const check::Format& source = kind == 2 ? kFormats[1] : f;
  Scene scene(f, source, l.host, 900 + kind);
  AreaRect update = MakeRect(-6, 4, 31, 33);
  const AreaRect given = update;
  scene.Snapshot();
  const Status s = l.e.effect->ops->Render(l.e.effect.get(), scene.dst.View(), scene.src.View(), &update,
                                           scene.mask.View(), kind == 1 ? scene.runs.data() : nullptr,
                                           scene.palette.Record(), 200, 1, 2, kind == 2 ? 1 : 0,
                                           &scene.thresholds);
  for (const std::string& fault : scene.Faults(given, true, false)) ADD_FAILURE() << l.fx.symbol << ": " << fault;
  return s;
}

Status RenderWithAlphaOf(Life& l) {
  Scene scene(kFormats[3], kFormats[3], l.host, 910);
  AreaRect update = MakeRect(-6, 4, 31, 33);
  const AreaRect given = update;
  scene.Snapshot();
  const Status s = l.e.effect->ops->RenderWithAlpha(l.e.effect.get(), scene.dst.View(), scene.dstAlpha.View(),
                                                    scene.src.View(), scene.mask.View(), &update, scene.runs.data(),
                                                    scene.palette.Record(), 255, 1, 2, &scene.thresholds);
  for (const std::string& fault : scene.Faults(given, l.fx.changesAlpha, l.fx.changesAlpha))
    ADD_FAILURE() << l.fx.symbol << ": " << fault;
  return s;
}

Status SetPropertiesOf(Life& l, const std::vector<std::pair<std::string, HostValue>>& entries) {
  Values& v = l.host.values();
  HostValue list = v.List(entries);
  std::int32_t restarted = 0, changed = 0;
  const Status s = l.e.effect->ops->SetProperties(l.e.effect.get(), &list, 0, 0, &l.services, &restarted, &changed);
  v.Release(&list);
  for (auto entry : entries) v.Release(&entry.second);
  EXPECT_EQ(changed, 1);
  return s;
}

Status NameOf(Life& l, bool setName) {
  char untouched = 0;
  char* text = &untouched;
  const auto op = setName ? l.e.effect->ops->GetSetName : l.e.effect->ops->GetDisplayName;
  const Status s = op(l.e.effect.get(), &text, &l.services);
  if (s == kOk) {
    EXPECT_GT(l.host.allocator().BlockSize(text), 0u);
    l.host.allocator().Free(text);
  } else {
    EXPECT_EQ(text, &untouched) << "a failed name call wrote its output";
  }
  return s;
}

std::vector<Step> Steps(const ExpectedEffect& fx) {
  const Status render = RenderFailure(fx.symbol);
  auto always = [](Status s) { return [s](std::size_t) { return s; }; };
  std::vector<Step> steps = {
      // The first allocation a list meets is the property table: without
      // it nothing is applied. Later ones are work buffers (the noise
      // layers), left unfilled.
      {"SetProperties",
       [](Life& l) {
         Values& v = l.host.values();
         return SetPropertiesOf(l, {{"animMode", v.SymbolValue("range")}, {"numFrames", v.Integer(4)},
                                    {"intensity", v.Integer(6)}});
       },
       [](std::size_t nth) { return nth == 1 ? kOutOfMemory : kOk; }},
      {"GetPropertyTable",
       [](Life& l) {
         PropertyDesc* table = nullptr;
         std::int32_t count = 0;
         const Status s = l.e.effect->ops->GetPropertyTable(l.e.effect.get(), &table, &count, &l.services);
         EXPECT_EQ(count, static_cast<std::int32_t>(l.fx.rows.size()));
         return table == nullptr ? kOutOfMemory : s;  // a null table is how it fails
       },
       always(kOutOfMemory)},
      {"GetDisplayName", [](Life& l) { return NameOf(l, false); }, always(kOutOfMemory)},
      {"GetSetName", [](Life& l) { return NameOf(l, true); }, always(kOutOfMemory)},
      {"GetDescription",
       [](Life& l) {
         char* text = reinterpret_cast<char*>(&l);
         const Status s = l.e.effect->ops->GetDescription(l.e.effect.get(), &text, &l.services);
         if (text == nullptr) return s == kOk ? kOutOfMemory : s;  // a null text is how it fails
         l.host.allocator().Free(text);
         return s;
       },
       always(kOutOfMemory)},
      {"Render, threshold path", [](Life& l) { return RenderOf(l, 0); }, always(render)},
      {"Render, run path", [](Life& l) { return RenderOf(l, 1); }, always(render)},
      {"Render, hard-mask path", [](Life& l) { return RenderOf(l, 2); }, always(render)},
      {"RenderWithAlpha", [](Life& l) { return RenderWithAlphaOf(l); }, always(render)},
      {"SetProperties again",
       [](Life& l) {
         Values& v = l.host.values();
         return SetPropertiesOf(l, {{"animMode", v.SymbolValue("pendulum")}, {"intensity", v.Integer(2)}});
       },
       always(kOk)},
      {"Reset",
       [](Life& l) {
         std::int32_t a = 0, b = 0;
         return l.e.effect->ops->Reset(l.e.effect.get(), &l.services, &a, &b);
       },
       always(kOk)},
      {"Render after Reset", [](Life& l) { return RenderOf(l, 0); }, always(render)},
  };
  for (const auto& [name, ints] : Calls(fx.symbol)) {
    const bool known = fx.hasScriptFunctions;
    steps.push_back({"CallFunction " + name,
                     [name, ints, known](Life& l) {
                       Values& v = l.host.values();
                       Symbol effect = 0;
                       l.e.effect->ops->GetEffectSymbol(l.e.effect.get(), &effect, 0);
                       std::vector<HostValue> args = {v.Integer(1), v.SymbolValue(effect)};
                       for (std::int32_t i : ints) args.push_back(v.Integer(i));
                       HostValue result{0};
                       std::int32_t restarted = 0, changed = 0;
                       const Status s = l.e.effect->ops->CallFunction(
                           l.e.effect.get(), v.Intern(name), args.data(), static_cast<std::int32_t>(args.size()), 2,
                           &result, &l.services, &restarted, &changed);
                       for (HostValue& a : args) v.Release(&a);
                       if (result.bits != 0) v.Release(&result);
                       // Effects without functions answer so; the others take these calls.
                       return s == (known ? kOk : kNoSuchFunction) ? kOk : s;
                     },
                     always(kOk)});
  }
  return steps;
}

class AllocationSweep : public ::testing::TestWithParam<ExpectedEffect> {};

TEST_P(AllocationSweep, EveryFailingAllocationAnswersItsStatusAndLeaksNothing) {
  const ExpectedEffect& fx = GetParam();
  Host host(VX_MODULE_PATH);
  Allocator& allocator = host.allocator();
  const std::vector<Step> steps = Steps(fx);
  const std::size_t liveAtStart = allocator.LiveBlocks();

  bool completed = false;
  std::uint32_t n = 1;
  for (; n <= 500 && !completed; ++n) {
    SCOPED_TRACE(fx.symbol + std::string(", allocation ") + std::to_string(n) + " failing");
    const std::size_t failedBefore = allocator.FailedCount(), armedAt = allocator.RequestCount();
    allocator.FailNth(n);
    Life life{host, fx, {}, host.MakeServices()};

    // Create and interface: the allocator's status and nothing made.
    Status status = kOk;
    life.e.instance = host.Create(*fx.classId, &status);
    if (!life.e.instance) {
      EXPECT_EQ(status, kOutOfMemory) << "create";
      allocator.FailNth(0);
      EXPECT_EQ(allocator.LiveBlocks(), liveAtStart) << "a failed create kept blocks";
      ASSERT_NE(allocator.FailedCount(), failedBefore) << "create failed with a working allocator";
      continue;
    }
    void* out = &life;
    status = life.e.instance->GetInterface(kEffectInterfaceId, &out);
    if (status != kOk) {
      EXPECT_EQ(status, kOutOfMemory) << "effect interface";
      EXPECT_EQ(out, nullptr) << "a failed interface left its output set";
      ASSERT_NE(allocator.FailedCount(), failedBefore) << "the interface failed with a working allocator";
      life.e.effect = life.e.instance->Effect();  // the instance is still usable
    } else {
      life.e.effect = InterfaceRef<EffectInterface>(static_cast<EffectInterface*>(out));
    }
    ASSERT_TRUE(life.e.effect) << "no interface after the failure had passed";

    for (const Step& step : steps) {
      const std::size_t requests = allocator.RequestCount(), failed = allocator.FailedCount();
      const Status s = step.call(life);
      if (allocator.FailedCount() != failed) {
        // The run's nth request failed; counted within this call:
        const std::size_t nth = armedAt + n - requests;
        EXPECT_EQ(s, step.onFailure(nth)) << step.name << " when its allocation " << nth << " failed";
      } else {
        EXPECT_EQ(s, kOk) << step.name;
      }
    }
    life.e.effect.Reset();
    life.e.instance.reset();
    allocator.FailNth(0);
    completed = allocator.FailedCount() == failedBefore;
    EXPECT_EQ(allocator.LiveBlocks(), liveAtStart) << "blocks left after destroy";
    EXPECT_TRUE(allocator.GuardsIntact());
    EXPECT_EQ(allocator.BadFreeCount(), 0u);
    EXPECT_EQ(allocator.BrokenGuardCount(), 0u);
    EXPECT_EQ(host.module().DllCanUnloadNow(), kOk) << "interface records left";
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_TRUE(completed) << "still asking for more after 500 allocations";
  // The interface record, the property table, two names and the
  // description are allocations of every life: at least five runs failed.
  EXPECT_GE(n - 2, 5u) << "runs that met a failure";
}

INSTANTIATE_TEST_SUITE_P(Effects, AllocationSweep, ::testing::ValuesIn(ExpectedEffects()),
                         [](const ::testing::TestParamInfo<ExpectedEffect>& info) {
                           return std::string(info.param.symbol);
                         });

}  // namespace
}  // namespace vx::host
