// Renders of any effect on hostile views: geometry, depth, sub-views, clip
// rectangles, updates, runs, thresholds, blend levels and flags, both
// renders and hit tests, between animation steps.
#include "operations.h"

using namespace vx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RunEffectInput(data, size, "render target", true, [](EffectRun& run) {
    switch (run.in.Below(8)) {
      case 0: run.scene = std::make_unique<RenderScene>(run.in, run.session); break;
      case 1:
      case 2: run.Scene().Draw(run.in, run.effect, run.session, false); break;
      case 3:
      case 4: run.Scene().Draw(run.in, run.effect, run.session, true); break;
      case 5: run.Scene().HitTest(run.in, run.effect, run.session); break;
      case 6: SetRandomProperties(run.in, run.effect, run.session); break;
      default: StateCall(run.in, run.effect, run.session); break;
    }
  });
  return 0;
}
