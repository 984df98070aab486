// Renders at every depth and path, RenderWithAlpha, and hit tests, with
// guard bytes around every buffer and every byte outside the update watched.
#include <climits>

#include "scene.h"

namespace vx::check {
namespace {

bool Expanded(const Format& f) { return f.bytes >= 3; }

struct Path {
  const char* name;
  bool runs;
  bool hardMask;
};
constexpr Path kPaths[] = {{"threshold path", false, false}, {"run path", true, false}, {"hard-mask path", false, true}};

std::int32_t ChangesAlpha(const LiveEffect& e) {
  std::int32_t value = -1;
  e.ops()->QueryFlag(e.self(), &value, 0);
  return value;
}

// Sets the effect animating when its table has the common keys.
void Animate(host::Host& host, LiveEffect& e) {
  PropertyDesc* table = nullptr;
  std::int32_t count = 0;
  if (e.ops()->GetPropertyTable(e.self(), &table, &count, &e.services) != kOk || table == nullptr) return;
  std::vector<std::pair<std::string, HostValue>> entries;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::string key = host.values().SymbolText(table[i].keySymbol);
    if (key == "animMode") entries.emplace_back(key, host.values().SymbolValue("pendulum"));
    if (key == "numFrames") entries.emplace_back(key, host.values().Integer(3));
  }
  HostValue list = host.values().List(entries);
  std::int32_t restarted = 0, changed = 0;
  e.ops()->SetProperties(e.self(), &list, 0, 0, &e.services, &restarted, &changed);
  host.values().Release(&list);
}

}  // namespace

void CheckRenders(Group& group, host::Host& host, const ModuleFacts& facts) {
  const AreaRect updates[] = {
      MakeRect(-6, 4, 31, 33),                              // the whole destination (covers the mask)
      MakeRect(0, 10, 12, 40),                              // part, past the bottom edge
      MakeRect(INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2),  // far beyond every edge
      MakeRect(5, 5, 5, 9),                                 // empty
  };
  std::uint32_t seed = 1;
  for (const EffectFacts& fx : facts.effects) {
    LiveEffect e = ExpectEffect(group, host, fx);
    if (!e.fx) continue;
    const bool alphaEffect = ChangesAlpha(e) == 1;
    for (int setup = 0; setup < 2; ++setup) {
      if (setup == 1) Animate(host, e);
      for (const Format& format : kFormats) {
        // Expanded destinations are Glissade's working buffers; their
        // sprite keeps its own depth.
        const Format& source = Expanded(format) && format.kind != glissade::ImageKind::kRgb24 &&
                                       format.kind != glissade::ImageKind::kRgb32
                                   ? kFormats[format.kind == glissade::ImageKind::kExpanded8 ? 0 : 1]
                                   : format;
        for (const Path& path : kPaths) {
          if (path.hardMask && !Expanded(format)) continue;
          for (std::int32_t blend : {255, 100}) {
            Scene scene(format, source, host, seed++);
            for (const AreaRect& given : updates) {
              const std::string what = fx.name + ": Render " + format.name + ", " + path.name + ", blend " +
                                       std::to_string(blend) + ", update " + RectText(given);
              AreaRect update = given;
              scene.Snapshot();
              const Status s = e.ops()->Render(e.self(), scene.dst.View(), scene.src.View(), &update, scene.mask.View(),
                                               path.runs ? scene.runs.data() : nullptr, scene.palette.Record(), blend, 1, 0,
                                               path.hardMask ? 1 : 0, &scene.thresholds);
              group.ExpectStatus(s, kOk, what);
              for (const std::string& fault : scene.Faults(given, true, false)) group.Expect(false, what + ": " + fault);
              group.Expect(true, what);

              // RenderWithAlpha: drawn by the effects that change alpha,
              // ignored by the others.
              AreaRect alphaUpdate = given;
              scene.Snapshot();
              const Status a = e.ops()->RenderWithAlpha(e.self(), scene.dst.View(), scene.dstAlpha.View(), scene.src.View(),
                                                        scene.mask.View(), &alphaUpdate, path.runs ? scene.runs.data() : nullptr,
                                                        scene.palette.Record(), blend, 1, 0, &scene.thresholds);
              const std::string withAlpha = fx.name + ": RenderWithAlpha " + format.name + ", " + path.name + ", blend " +
                                            std::to_string(blend) + ", update " + RectText(given);
              group.ExpectStatus(a, kOk, withAlpha);
              for (const std::string& fault : scene.Faults(given, alphaEffect, alphaEffect))
                group.Expect(false, withAlpha + ": " + fault);
            }
          }
        }
      }
    }

    // Views without pixel memory: nothing is drawn, and the render still succeeds.
    for (int missing = 0; missing < 3; ++missing) {
      Scene scene(kFormats[3], kFormats[3], host, seed++);
      glissade::Image& dropped = missing == 0 ? scene.dst : missing == 1 ? scene.src : scene.mask;
      dropped.DropMemory();
      scene.Snapshot();
      AreaRect update = MakeRect(-6, 4, 31, 33);
      const std::string what = fx.name + ": Render with a " + (missing == 0 ? "destination" : missing == 1 ? "source" : "mask") +
                               " view without memory";
      group.ExpectStatus(e.ops()->Render(e.self(), scene.dst.View(), scene.src.View(), &update, scene.mask.View(), nullptr,
                                         scene.palette.Record(), 255, 1, 0, 0, &scene.thresholds),
                         kOk, what);
      for (const std::string& fault : scene.Faults(update, false, false)) group.Expect(false, what + ": " + fault);
    }
    e.Close();
    ExpectClean(group, host, fx.name + " renders");
  }
}

void CheckHitTests(Group& group, host::Host& host, const ModuleFacts& facts) {
  struct Point {
    std::int32_t v, h;
    bool far;
  };
  const Point points[] = {{18, 12, false},     {11, 2, false},           {25, 22, false}, {0, 0, false},
                          {26, 23, false},     {-5000, 9000, true},      {INT_MIN, INT_MIN, true},
                          {INT_MAX, INT_MAX, true}, {INT_MIN, INT_MAX, true}};
  std::uint32_t seed = 7;
  for (const EffectFacts& fx : facts.effects) {
    LiveEffect e = ExpectEffect(group, host, fx);
    if (!e.fx) continue;
    const bool answers = ChangesAlpha(e) == 1;
    for (int round = 0; round < 3; ++round) {
      Scene scene(kFormats[3], kFormats[3], host, seed++);
      if (round == 1) {  // after frames have set the geometry up
        Animate(host, e);
        for (int frame = 0; frame < 2; ++frame) {
          AreaRect update = MakeRect(-6, 4, 31, 33);
          e.ops()->Render(e.self(), scene.dst.View(), scene.src.View(), &update, scene.mask.View(), scene.runs.data(),
                          scene.palette.Record(), 255, 1, 0, 0, &scene.thresholds);
        }
      }
      if (round == 2) scene.mask.DropMemory();
      const std::vector<std::uint8_t> maskBefore = scene.mask.Memory();
      for (const Point& p : points) {
        const std::string what = fx.name + ": GetAlphaAt (" + std::to_string(p.h) + ", " + std::to_string(p.v) + ")" +
                                 (round == 2 ? " on a view without memory" : "");
        constexpr std::int32_t kUnset = -12345;
        std::int32_t value = kUnset;
        group.ExpectStatus(e.ops()->GetAlphaAt(e.self(), scene.mask.View(), p.v, p.h, &value, &scene.sprite), kOk, what);
        if (!answers) {
          group.Expect(value == kUnset, what + ": an effect that keeps the sprite's shape wrote " + std::to_string(value));
        } else {
          group.Expect(value >= 0 && value <= 255, what + ": answered " + std::to_string(value));
          if (p.far || round == 2) group.Expect(value == 0, what + ": answered " + std::to_string(value) + " where nothing lies");
        }
        group.Expect(scene.mask.GuardsIntact() && scene.mask.Memory() == maskBefore, what + ": wrote into the alpha view");
      }
    }
    e.Close();
    ExpectClean(group, host, fx.name + " hit tests");
  }
}

}  // namespace vx::check
