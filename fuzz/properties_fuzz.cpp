// Property lists of every kind (keys of every effect and unknown ones, any
// value types, NaN and infinities, nested lists) interleaved with renders,
// Stop, Resume, Reset, NeedsRedraw and IsStill.
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
        case 0:
        case 1:
        case 2: SetRandomProperties(in, e, session); break;
        case 3:
        case 4: StateCall(in, e, session); break;
        default:
          // The scene is decoded once, after the lists that set the effect up.
          if (!scene) scene = std::make_unique<RenderScene>(in, session);
          if (in.Flag())
            scene->Render(in, e, session);
          else if (in.Flag())
            scene->RenderWithAlpha(in, e, session);
          else
            scene->HitTest(in, e, session);
          break;
      }
    }
    scene.reset();
    e.Close();
  }
  session.Finish("properties target");
  return 0;
}
