// The effect operations a target interleaves, each decoded from the input
// and checked for its documented status and outputs.
#pragma once

#include <functional>
#include <memory>

#include "harness.h"
#include "scene.h"

namespace vx::fuzz {

// What a step of an effect target works on.
struct EffectRun {
  Input& in;
  Session& session;
  LiveEffect& effect;
  std::unique_ptr<RenderScene> scene;

  // The scene, decoded when first needed.
  RenderScene& Scene();
  // Render, RenderWithAlpha or GetAlphaAt on the scene, as the input says.
  void DrawOrHit();
};

// One input on one effect: opens the effect the input names (then decodes
// a scene when `sceneFirst`), runs `step` while the input lasts (32 steps at
// most), closes it and checks that nothing is left.
void RunEffectInput(const std::uint8_t* data, std::size_t size, const char* target, bool sceneFirst,
                    const std::function<void(EffectRun&)>& step);

// SetProperties with a random list (or no list at all).
void SetRandomProperties(Input& in, LiveEffect& e, Session& session);

// Stop, Resume, Reset, NeedsRedraw, IsStill, QueryFlag or GetPropertyTable.
void StateCall(Input& in, LiveEffect& e, Session& session);

// CallFunction with a name the effect describes, another one or none it
// has, and any number and types of arguments.
void ScriptCall(Input& in, LiveEffect& e, Session& session);

}  // namespace vx::fuzz
