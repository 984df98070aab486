// Snow and Pointel as objects: create and destroy with the speck map, what
// create does without memory or without the map, property rules and the
// animation answers.
#include <algorithm>
#include <cstdint>
#include <new>

#include "effects/noise/pointel.h"
#include "effects/noise/snow.h"
#include "framework/effect_class.h"
#include "tests/noise/noise_support.h"

namespace {
bool gFailNothrowNew = false;
}  // namespace

// The module's code linked into this test takes its view object from here.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (gFailNothrowNew) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace vx::noise_test {
namespace {

// An instance whose create and destroy run in this program, not the module.
template <class E>
struct LocalInstance {
  explicit LocalInstance(host::Host& host) {
    std::memset(&e, 0xCD, sizeof e);
    e.header.provider = host.provider().Interface();
    e.header.allocator = host.allocator().Interface();
  }
  E e;
};

template <class E>
void ExpectCreateFailsCleanly(host::Host& host, const char* name) {
  SCOPED_TRACE(name);
  LocalInstance<E> local(host);
  EXPECT_EQ(EffectClass<E>::Create(&local.e), kOutOfMemory);
  EXPECT_EQ(host.allocator().LiveBlocks(), 0u);
  EffectClass<E>::Destroy(&local.e);
  EXPECT_EQ(host.allocator().BadFreeCount(), 0u);
}

TEST_F(NoiseEffect, CreateCopiesTheMapAndDestroyFreesEverything) {
  for (const Guid* id : {&kSnowClassId, &kPointelClassId}) {
    {
      host::LiveEffect live = Open(*id);
      ASSERT_TRUE(live.effect);
      // The interface record and the map.
      EXPECT_EQ(host_.allocator().LiveBlocks(), 2u);
      const NoiseLayers& n = *id == kSnowClassId ? Instance<Snow>(live).noise
                                                 : Instance<Pointel>(live).noise;
      EXPECT_EQ(host_.allocator().BlockSize(n.plasmaMap->base), 64000u);
      EXPECT_EQ(std::count(n.plasmaMap->base, n.plasmaMap->base + kMapBytes, 255), 1853);
      EXPECT_EQ(Set(live, {}), kOk);  // four layers and a table
      EXPECT_GT(host_.allocator().LiveBlocks(), 1u);
    }
    EXPECT_EQ(host_.allocator().LiveBlocks(), 0u);
    EXPECT_EQ(host_.allocator().BadFreeCount(), 0u);
  }
}

TEST_F(NoiseEffect, CreateWithoutMemoryFailsAndLeavesNothing) {
  host_.allocator().FailNth(1);
  ExpectCreateFailsCleanly<Snow>(host_, "snow without the map block");
  host_.allocator().FailNth(1);
  ExpectCreateFailsCleanly<Pointel>(host_, "pointel without the map block");
  gFailNothrowNew = true;
  ExpectCreateFailsCleanly<Snow>(host_, "snow without the view");
  ExpectCreateFailsCleanly<Pointel>(host_, "pointel without the view");
  gFailNothrowNew = false;
  // Through the module as a host does.
  host_.allocator().FailNth(1);
  Status status = kOk;
  EXPECT_EQ(host_.Create(kSnowClassId, &status), nullptr);
  EXPECT_EQ(status, kOutOfMemory);
  EXPECT_EQ(host_.allocator().LiveBlocks(), 0u);
}

TEST_F(NoiseEffect, AMissingMapIsAnEmptyOne) {
  host_.provider().HideModuleResources(true);
  host::LiveEffect live = Open(kPointelClassId);
  ASSERT_TRUE(live.effect);
  const NoiseLayers& n = Instance<Pointel>(live).noise;
  ASSERT_NE(n.plasmaMap, nullptr);
  ASSERT_NE(n.plasmaMap->base, nullptr);
  EXPECT_EQ(host_.allocator().BlockSize(n.plasmaMap->base), 64000u);
  for (int i = 0; i < kMapBytes; ++i) ASSERT_EQ(n.plasmaMap->base[i], 0) << i;
  // Without memory for the empty map either, create fails.
  host_.allocator().FailNth(1);
  Status status = kOk;
  EXPECT_EQ(host_.Create(kSnowClassId, &status), nullptr);
  EXPECT_EQ(status, kOutOfMemory);
}

TEST_F(NoiseEffect, SnowProperties) {
  host::LiveEffect live = Open(kSnowClassId);
  ASSERT_TRUE(live.effect);
  Snow& s = Instance<Snow>(live);
  EXPECT_EQ(s.noise.layerCount, 0);
  std::int32_t restarted = 0, changed = 0;
  ASSERT_EQ(Set(live, {}, &restarted, &changed), kOk);
  EXPECT_EQ(s.noise.layerCount, 4);  // the default intensity
  EXPECT_EQ(UsableLayers(s.noise), 4);
  EXPECT_EQ(s.snowShift, 2);
  EXPECT_EQ(restarted, 0);
  EXPECT_EQ(changed, 1);

  Set(live, {{"strength", Int(6)}});
  EXPECT_EQ(s.snowShift, 0);
  for (std::int32_t bad : {-1, 7, 62000}) {
    Set(live, {{"strength", Int(bad)}});
    EXPECT_EQ(s.snowShift, 0) << bad;
  }
  struct Chroma {
    std::int32_t value, bits, walk;
  };
  for (Chroma c : {Chroma{0, 0, 0}, {1, 7, 0}, {2, 0, 65535}, {3, 1, 0}, {5, 3, 0}, {8, 6, 0},
                   {9, 7, 0}, {10, 8, 0}, {-1, -3, 0}}) {
    Set(live, {{"chroma", Int(c.value)}});
    EXPECT_EQ(s.colourBits, c.bits) << c.value;
    EXPECT_EQ(s.colourWalkMask, c.walk) << c.value;
  }

  // Speed: a phase step of speed / 7; 0 freezes.
  Set(live, {{"speed", Int(14)}}, &restarted);
  EXPECT_EQ(s.noise.phaseStep, 2.0f);
  EXPECT_EQ(restarted, 1);
  Set(live, {{"speed", Int(-7)}});
  EXPECT_EQ(s.noise.phaseStep, -1.0f);
  Set(live, {{"speed", Int(0)}});
  std::int32_t redraw = -1, still = -1;
  live.effect->ops->NeedsRedraw(live.effect.get(), &redraw, 2);
  live.effect->ops->IsStill(live.effect.get(), &still, 0);
  EXPECT_EQ(redraw, 0);
  EXPECT_EQ(still, 1);
  Set(live, {{"chroma", Int(3)}});
  live.effect->ops->NeedsRedraw(live.effect.get(), &redraw, 0);
  EXPECT_EQ(redraw, 1);
  EXPECT_EQ(s.noise.phaseStep, 0.0f);

  // Every intensity reseeds, also the same one twice.
  Set(live, {{"intensity", Int(4)}});
  const std::vector<float> first(s.noise.layerPhases, s.noise.layerPhases + 8);
  Set(live, {{"intensity", Int(4)}});
  EXPECT_NE(std::vector<float>(s.noise.layerPhases, s.noise.layerPhases + 8), first);
  Set(live, {{"intensity", Int(16)}});
  EXPECT_EQ(UsableLayers(s.noise), 16);
  for (std::int32_t none : {0, -5}) {
    Set(live, {{"intensity", Int(none)}});
    EXPECT_EQ(UsableLayers(s.noise), 0) << none;
  }
  // An intensity whose arrays do not fit leaves no layers and no blocks.
  const std::size_t before = host_.allocator().LiveBlocks();
  Set(live, {{"intensity", Int(2000000000)}});
  EXPECT_EQ(UsableLayers(s.noise), 0);
  EXPECT_LE(host_.allocator().LiveBlocks(), before);

  // Stop on frozen snow still reports a change; Reset restores the defaults.
  changed = 0;
  live.effect->ops->Stop(live.effect.get(), 0, &changed);
  EXPECT_EQ(changed, 1);
  std::int32_t outA = 0, outB = 7;
  live.effect->ops->Reset(live.effect.get(), &services_, &outA, &outB);
  EXPECT_EQ(outA, 1);
  EXPECT_EQ(outB, 7);
  EXPECT_EQ(UsableLayers(s.noise), 4);
  EXPECT_EQ(host_.allocator().BlockSize(s.noise.layerRows), 16u);
  EXPECT_EQ(s.snowShift, 2);
  EXPECT_EQ(s.colourBits, 0);
  EXPECT_EQ(s.colourWalkMask, 0);
  EXPECT_EQ(s.noise.phaseStep, 1.0f);
  EXPECT_EQ(s.anim.mode, kModeInfinite);
  EXPECT_EQ(s.anim.finished, 0);
}

TEST_F(NoiseEffect, PointelProperties) {
  host::LiveEffect live = Open(kPointelClassId);
  ASSERT_TRUE(live.effect);
  Pointel& p = Instance<Pointel>(live);
  EXPECT_EQ(p.dotRadius, 3);
  std::int32_t restarted = 0;
  Set(live, {{"speed", Int(0)}, {"radius", Int(-4)}}, &restarted);
  EXPECT_EQ(restarted, 0);  // never written
  EXPECT_EQ(p.noise.phaseStep, 0.0f);
  EXPECT_EQ(p.dotRadius, -4);
  EXPECT_EQ(p.noise.layerCount, 4);
  // Speed 0 stops the drift, not the effect.
  std::int32_t redraw = 0, still = 1;
  live.effect->ops->NeedsRedraw(live.effect.get(), &redraw, 0);
  live.effect->ops->IsStill(live.effect.get(), &still, 0);
  EXPECT_EQ(redraw, 1);
  EXPECT_EQ(still, 0);
  EXPECT_EQ(p.anim.finished, 0);
  std::int32_t changed = 5;
  live.effect->ops->Stop(live.effect.get(), 0, &changed);
  EXPECT_EQ(changed, 5);
  EXPECT_EQ(p.anim.finished, 1);
  live.effect->ops->Resume(live.effect.get(), 0, &changed);
  EXPECT_EQ(changed, 1);
  Set(live, {{"intensity", Int(9)}});
  EXPECT_EQ(UsableLayers(p.noise), 9);
  std::int32_t outA = 0, outB = 7;
  live.effect->ops->Reset(live.effect.get(), &services_, &outA, &outB);
  EXPECT_EQ(outA, 1);
  EXPECT_EQ(outB, 7);
  EXPECT_EQ(UsableLayers(p.noise), 4);
  EXPECT_EQ(p.dotRadius, 3);
  EXPECT_EQ(p.noise.phaseStep, 1.0f);
}

}  // namespace
}  // namespace vx::noise_test
