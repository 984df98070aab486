// The effect operations a target interleaves, each decoded from the input
// and checked for its documented status and outputs.
#pragma once

#include "harness.h"

namespace vx::fuzz {

// SetProperties with a random list (or no list at all).
void SetRandomProperties(Input& in, LiveEffect& e, Session& session);

// Stop, Resume, Reset, NeedsRedraw, IsStill, QueryFlag or GetPropertyTable.
void StateCall(Input& in, LiveEffect& e, Session& session);

// CallFunction with a name the effect describes, another one or none it
// has, and any number and types of arguments.
void ScriptCall(Input& in, LiveEffect& e, Session& session);

}  // namespace vx::fuzz
