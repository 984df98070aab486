// Loads the installed module, creates an effect by its registered symbol
// (mosaic unless named) and renders one frame onto a 32-bit stage; exits 0
// when the frame drew.
//   consumer [SYMBOL [MODULE]]
#include <cstdio>
#include <exception>
#include <string>

#include "host/core/host.h"
#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "host/glissade/palette.h"

using namespace vx;

int main(int argc, char** argv) {
  const std::string symbol = argc > 1 ? argv[1] : "mosaic";
  const char* path = argc > 2 ? argv[2] : MODULE_PATH;
  try {
    host::Host host(path);
    host::RegistryRecorder registry;
    if (host.RegisterEffects(registry) != kOk) {
      std::fprintf(stderr, "consumer: registration failed\n");
      return 1;
    }
    const host::RegistryRecorder::Entry* entry = nullptr;
    for (const auto& e : registry.Entries())
      if (e.key == "symbolString" && e.text == symbol) entry = &e;
    if (entry == nullptr) {
      std::fprintf(stderr, "consumer: the module registers no effect %s\n", symbol.c_str());
      return 1;
    }
    Status status = kOk;
    auto instance = host.Create(registry.Openings()[entry->dictionary].classId, &status);
    auto effect = instance ? instance->Effect() : host::InterfaceRef<EffectInterface>();
    if (!effect) {
      std::fprintf(stderr, "consumer: create failed (0x%08X)\n", static_cast<unsigned>(status));
      return 1;
    }

    glissade::Image stage(glissade::ImageKind::kRgb32, 0, 0, 64, 48);
    glissade::Image sprite(glissade::ImageKind::kRgb32, 0, 0, 32, 24);
    glissade::Image mask(glissade::ImageKind::kIndexed8, 0, 0, 32, 24);
    stage.Fill(0);
    sprite.Fill(200);
    mask.Fill(255);
    const std::vector<std::uint8_t> before = stage.Memory();
    glissade::PaletteTable palette({{0, 0, 0}, {255, 255, 255}});
    ThresholdRecord thresholds = glissade::MakeThresholdRecord(255, 0);
    AreaRect drawn{}, drawn2{};
    thresholds.words[kThresholdAllocatorWord] = reinterpret_cast<Word>(host.allocator().Interface());
    thresholds.words[kThresholdOutRectWord] = reinterpret_cast<Word>(&drawn);
    thresholds.words[kThresholdOutRect2Word] = reinterpret_cast<Word>(&drawn2);
    AreaRect update{0, 0, 64, 48, 48, 64, 64 * 48, 0, 0, 0};

    status = effect->ops->Render(effect.get(), stage.View(), sprite.View(), &update, mask.View(), nullptr,
                                 palette.Record(), 255, 1, 0, 0, &thresholds);
    const bool drew = stage.Memory() != before;
    std::printf("consumer: %s rendered one frame: status 0x%08X, %s\n", symbol.c_str(),
                static_cast<unsigned>(status), drew ? "stage changed" : "stage unchanged");
    return status == kOk && drew && stage.GuardsIntact() ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "consumer: %s\n", error.what());
    return 2;
  }
}
