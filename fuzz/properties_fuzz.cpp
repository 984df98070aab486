// Property lists of every kind (keys of every effect and unknown ones, any
// value types, NaN and infinities, nested lists) interleaved with renders,
// Stop, Resume, Reset, NeedsRedraw and IsStill.
#include "operations.h"

using namespace vx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The scene is decoded at the first render, after the lists that set the
  // effect up.
  RunEffectInput(data, size, "properties target", false, [](EffectRun& run) {
    switch (run.in.Below(8)) {
      case 0:
      case 1:
      case 2: SetRandomProperties(run.in, run.effect, run.session); break;
      case 3:
      case 4: StateCall(run.in, run.effect, run.session); break;
      default: run.DrawOrHit(); break;
    }
  });
  return 0;
}
