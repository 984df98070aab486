// An effect instance driven through the module's exports and operation table
// as Glissade drives it, with the helpers the geometric effects' tests share.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/core/host.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"

namespace vx::host {

using glissade::Image;
using glissade::ImageKind;

using Entries = std::vector<std::pair<std::string, HostValue>>;

class EffectHost : public ::testing::Test {
 protected:
  EffectHost(const Guid& classId, const char* name) : classId_(classId), name_(name) {}

  void SetUp() override {
    baselineBlocks = host.allocator().LiveBlocks();
    instance = host.Create(classId_);
    ASSERT_TRUE(instance);
    fx = instance->Effect();
    ASSERT_TRUE(fx);
    services = host.MakeServices();
  }

  // Drops the effect and its instance; the module then owns no block.
  void Destroy() {
    fx.Reset();
    instance.reset();
  }

  Values& values() { return host.values(); }

  Status Set(const Entries& entries) {
    restarted = 0;
    changed = 0;
    const HostValue list = values().List(entries);
    return fx->ops->SetProperties(fx.get(), &list, 0, 0, &services, &restarted, &changed);
  }

  // A script call `name(sprite 1, #effect, args...)`.
  Status Call(const std::string& name, const std::vector<HostValue>& args = {}) {
    std::vector<HostValue> all = {values().Integer(1), values().SymbolValue(name_)};
    all.insert(all.end(), args.begin(), args.end());
    restarted = 0;
    changed = 0;
    result = HostValue{};
    return fx->ops->CallFunction(fx.get(), values().Intern(name), all.data(),
                                 static_cast<std::int32_t>(all.size()), 2, &result, &services,
                                 &restarted, &changed);
  }

  // The angle the script reports, in 1/256 turn (read back through radians,
  // which carry it without loss). Leaves the script unit at radians.
  std::int32_t ScriptAngle() {
    EXPECT_EQ(Call("UseRadians", {values().Integer(1)}), kOk);
    EXPECT_EQ(Call("GetAngle"), kOk);
    double radians = 0;
    EXPECT_EQ(values().ToFloat(result, &radians), kOk);
    return static_cast<std::int32_t>(std::lround(radians * 256.0 / 6.283185308));
  }
  std::int32_t ShownAngle() { return ScriptAngle() & 255; }

  std::int32_t NeedsRedraw(std::int32_t reason = 0) {
    std::int32_t out = -1;
    EXPECT_EQ(fx->ops->NeedsRedraw(fx.get(), &out, reason), kOk);
    return out;
  }
  std::int32_t IsStill(std::int32_t reason = 0) {
    std::int32_t out = -1;
    EXPECT_EQ(fx->ops->IsStill(fx.get(), &out, reason), kOk);
    return out;
  }

  // One frame on a small sprite with nothing drawn: advances the animation.
  Status Step(std::int32_t destWidth = 100, std::int32_t destHeight = 50) {
    Image dst(ImageKind::kRgb32, 0, 0, destWidth, destHeight);
    Image src(ImageKind::kRgb32, 0, 0, 4, 4);
    Image mask(ImageKind::kIndexed8, 0, 0, 4, 4);
    AreaRect update = dst.view().bounds;
    ThresholdRecord t = glissade::MakeThresholdRecord(255, 0);
    return fx->ops->Render(fx.get(), dst.View(), src.View(), &update, mask.View(), nullptr,
                           nullptr, 255, 0, 0, 0, &t);
  }

  Host host{VX_MODULE_PATH};
  std::size_t baselineBlocks = 0;
  std::unique_ptr<Instance> instance;
  InterfaceRef<EffectInterface> fx;
  Services services{};
  std::int32_t restarted = 0, changed = 0;
  HostValue result{};

 private:
  const Guid& classId_;
  const char* name_;
};

class RotateHost : public EffectHost {
 protected:
  RotateHost() : EffectHost(kRotateClassId, "rotate") {}
};

}  // namespace vx::host
