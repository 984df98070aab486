// Script calls: every function name an effect describes, names it lacks,
// any number and types of arguments, first indexes and counts; with
// renders and hit tests in between to draw what the calls set up.
#include "operations.h"

using namespace vx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RunEffectInput(data, size, "script target", false, [](EffectRun& run) {
    switch (run.in.Below(8)) {
      case 0: SetRandomProperties(run.in, run.effect, run.session); break;
      case 1: StateCall(run.in, run.effect, run.session); break;
      case 2:
      case 3: run.DrawOrHit(); break;
      default: ScriptCall(run.in, run.effect, run.session); break;
    }
  });
  return 0;
}
