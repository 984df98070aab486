// Script calls: every function name an effect describes, names it lacks,
// any number and types of arguments, first indexes and counts; with
// renders and hit tests in between to draw what the calls set up.
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
    std::unique_ptr<RenderScene> scene;
    for (int op = 0; op < 32 && in.More(); ++op) {
      switch (in.Below(8)) {
        case 0: SetRandomProperties(in, e, session); break;
        case 1: StateCall(in, e, session); break;
        case 2:
        case 3:
          if (!scene) scene = std::make_unique<RenderScene>(in, session);
          if (in.Flag())
            scene->Render(in, e, session);
          else if (in.Flag())
            scene->RenderWithAlpha(in, e, session);
          else
            scene->HitTest(in, e, session);
          break;
        default: ScriptCall(in, e, session); break;
      }
    }
    scene.reset();
    e.Close();
  }
  session.Finish("script target");
  return 0;
}
