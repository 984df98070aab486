// Renders of any effect on hostile views: geometry, depth, sub-views, clip
// rectangles, updates, runs, thresholds, blend levels and flags, both
// renders and hit tests, between animation steps.
#include "operations.h"
#include "scene.h"

using namespace vx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::vector<EffectClass>& effects = Effects();
  Session session;
  {
    LiveEffect e;
    if (!OpenEffect(session, effects[in.Below(static_cast<std::uint32_t>(effects.size()))], &e))
      Fail("create failed with a working allocator");
    auto scene = std::make_unique<RenderScene>(in, session);
    for (int op = 0; op < 32 && in.More(); ++op) {
      switch (in.Below(8)) {
        case 0: scene = std::make_unique<RenderScene>(in, session); break;
        case 1:
        case 2: scene->Render(in, e, session); break;
        case 3:
        case 4: scene->RenderWithAlpha(in, e, session); break;
        case 5: scene->HitTest(in, e, session); break;
        case 6: SetRandomProperties(in, e, session); break;
        default: StateCall(in, e, session); break;
      }
    }
    scene.reset();
    e.Close();
  }
  session.Finish("render target");
  return 0;
}
