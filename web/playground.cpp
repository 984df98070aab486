// The page's interface to the module: one effect on one stage, driven by
// the previewer's own code (catalogue, parser, Playback) through the host
// layer, with the module linked in. Texts go out as JSON; the strings
// returned stay valid until the next call.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.h"
#include "host/core/host.h"
#include "host_values.h"
#include "plist.h"
#include "render.h"
#include "scene.h"

namespace {

using namespace vx;
using namespace vx::preview;

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string QuotedList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + Quoted(items[i]);
  return out + "]";
}

std::string Failure(const std::string& message, int column = 0) {
  return "{\"ok\":false,\"column\":" + std::to_string(column) + ",\"error\":" + Quoted(message) + "}";
}

struct Playground {
  host::Host host{""};
  std::vector<EffectInfo> effects = RegisteredEffects(host);
  const EffectInfo* info = nullptr;
  std::unique_ptr<Effect> effect;
  std::unique_ptr<Playback> playback;
  Image sprite = MakeSampleSprite();
  std::optional<Rgb> stageColour;  // the checkerboard when unset
  Image stagePicture;              // used when it has pixels
  Image background;
  StageSettings settings;
  std::optional<Node> props;  // the last list that parsed
  std::string answer;

  Playground() { MakeBackground(); }

  void MakeBackground() {
    if (!stagePicture.rgba.empty()) {
      background = TileOverCheckerboard(stagePicture, stagePicture.width, stagePicture.height);
      return;
    }
    const int side = DefaultStageSide(sprite);
    background = stageColour ? MakeSolid(side, side, *stageColour) : MakeCheckerboard(side, side);
  }

  // The effect keeps its animation; only the stage is drawn anew.
  void Restage() {
    playback.reset();
    if (effect) playback = std::make_unique<Playback>(host, *effect, sprite, background, settings);
  }

  // A fresh instance with the current list, as a host starts a sprite.
  void Restart() {
    playback.reset();
    effect.reset();
    if (info == nullptr) return;
    effect = std::make_unique<Effect>(host, *info);
    Restage();
    if (props) playback->SetProperties(*props);
  }

  const char* Answer(std::string text) {
    answer = std::move(text);
    return answer.c_str();
  }
};

Playground& The() {
  static Playground playground;
  return playground;
}

// Runs `body`, turning module and parse failures into a JSON answer.
template <class Body>
const char* Guarded(Body body) {
  Playground& p = The();
  try {
    return p.Answer(body(p));
  } catch (const ParseError& e) {
    return p.Answer(Failure("expected " + e.expected() + ", found " + e.found(), e.column()));
  } catch (const std::exception& e) {
    return p.Answer(Failure(e.what()));
  }
}

}  // namespace

extern "C" {

// [{symbol, name, changesAlpha, description, functions, properties: [{key, type, described}]}]
EMSCRIPTEN_KEEPALIVE const char* vx_effects() {
  return Guarded([](Playground& p) {
    std::string out = "[";
    for (const EffectInfo& info : p.effects) {
      Effect effect(p.host, info);
      const std::string description = effect.Description();
      const auto described = DescribedTypes(description);
      std::string properties = "[";
      for (const PropertyInfo& property : effect.Properties()) {
        if (property.key.empty()) continue;
        std::string word;
        for (const auto& [key, type] : described)
          if (key == property.key) word = type;
        properties += (properties.size() > 1 ? "," : "") + std::string("{\"key\":") + Quoted(property.key) +
                      ",\"type\":" + Quoted(TypeName(property.type)) + ",\"described\":" + Quoted(word) + "}";
      }
      out += (out.size() > 1 ? "," : "") + std::string("{\"symbol\":") + Quoted(effect.SymbolText()) +
             ",\"name\":" + Quoted(info.displayName) + ",\"changesAlpha\":" + (info.changesAlpha ? "true" : "false") +
             ",\"description\":" + Quoted(description) + ",\"functions\":" + QuotedList(DescribedFunctions(description)) +
             ",\"properties\":" + properties + "]}";
    }
    return out + "]";
  });
}

// Creates the named effect afresh with the last good list.
EMSCRIPTEN_KEEPALIVE const char* vx_select(const char* symbol) {
  return Guarded([symbol](Playground& p) {
    const EffectInfo* info = FindEffect(p.effects, symbol);
    if (info == nullptr) return Failure(std::string("no effect ") + symbol);
    p.info = info;
    p.props.reset();  // the list of the effect before is not this one's
    p.Restart();
    return std::string("{\"ok\":true}");
  });
}

EMSCRIPTEN_KEEPALIVE const char* vx_restart() {
  return Guarded([](Playground& p) {
    p.Restart();
    return std::string("{\"ok\":true}");
  });
}

// SetProperties with a list as authors write it. A list that does not parse
// answers its column and leaves the last good one in force.
EMSCRIPTEN_KEEPALIVE const char* vx_apply(const char* text) {
  return Guarded([text](Playground& p) {
    Node list = ParseValue(text);
    std::vector<std::string> warnings = LinearListWarnings(list);
    if (p.effect) {
      std::int32_t count = 0;
      const PropertyDesc* table = p.effect->Table(&count);
      for (std::string& w : CheckAgainstTable(p.host.values(), list, table, count)) warnings.push_back(std::move(w));
    }
    if (p.playback) p.playback->SetProperties(list);
    p.props = std::move(list);  // only a list the effect took
    return "{\"ok\":true,\"warnings\":" + QuotedList(warnings) + "}";
  });
}

// A script call written as `Name(arg, ...)`; answers its result's text.
EMSCRIPTEN_KEEPALIVE const char* vx_call(const char* text) {
  return Guarded([text](Playground& p) {
    const Call call = ParseCall(text);
    if (!p.playback) return Failure("no effect");
    Status status = kOk;
    const std::optional<std::string> result = p.playback->Call(call.name, call.args, &status);
    if (status != kOk) return Failure(call.name + ": " + StatusText(status));
    return "{\"ok\":true,\"result\":" + (result ? Quoted(*result) : std::string("null")) + "}";
  });
}

// The sprite from RGBA pixels (its alpha is the mask); width 0 restores the
// built-in one. The stage follows its size unless it has a picture.
EMSCRIPTEN_KEEPALIVE const char* vx_sprite(const std::uint8_t* rgba, int width, int height) {
  return Guarded([=](Playground& p) {
    if (width <= 0 || height <= 0) {
      p.sprite = MakeSampleSprite();
    } else {
      if (width > kMaxImageSide || height > kMaxImageSide) return Failure("the sprite is larger than 8192 a side");
      p.sprite = Image(width, height);
      p.sprite.rgba.assign(rgba, rgba + p.sprite.rgba.size());
    }
    p.MakeBackground();
    p.Restage();
    return std::string("{\"ok\":true}");
  });
}

// The stage: a colour (0xRRGGBB), or the checkerboard for a negative one,
// in a square that holds the turned sprite.
EMSCRIPTEN_KEEPALIVE const char* vx_stage_colour(int rgb) {
  return Guarded([rgb](Playground& p) {
    p.stagePicture = Image();
    p.stageColour.reset();
    if (rgb >= 0)
      p.stageColour = Rgb{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                          static_cast<std::uint8_t>(rgb)};
    p.MakeBackground();
    p.Restage();
    return std::string("{\"ok\":true}");
  });
}

// The stage from RGBA pixels, at their size; the checkerboard shows through.
EMSCRIPTEN_KEEPALIVE const char* vx_stage_rgba(const std::uint8_t* rgba, int width, int height) {
  return Guarded([=](Playground& p) {
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide)
      return Failure("the stage must be 1 to 8192 a side");
    p.stagePicture = Image(width, height);
    p.stagePicture.rgba.assign(rgba, rgba + p.stagePicture.rgba.size());
    p.MakeBackground();
    p.Restage();
    return std::string("{\"ok\":true}");
  });
}

// Depth 8, 16, 24 or 32; blend 0-255; thresholds LOW..HIGH, or the mask's
// runs when `low` is negative. RenderWithAlpha when `alpha` is set.
EMSCRIPTEN_KEEPALIVE const char* vx_drawing(int depth, int blend, int low, int high, int alpha) {
  return Guarded([=](Playground& p) {
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return Failure("depth is 8, 16, 24 or 32");
    if (blend < 0 || blend > 255 || high > 255 || low > high) return Failure("blend and thresholds are 0 to 255");
    p.settings.depth = depth;
    p.settings.blend = blend;
    p.settings.maskRuns = low < 0;
    p.settings.lowerThreshold = low < 0 ? 0 : low;
    p.settings.upperThreshold = low < 0 ? 255 : high;
    p.settings.withAlpha = alpha != 0;
    p.Restage();
    return std::string("{\"ok\":true}");
  });
}

// The next frame: {ok, redraw, still, width, height}; its RGBA pixels are
// at vx_frame_pixels() until the next frame or stage change.
EMSCRIPTEN_KEEPALIVE const char* vx_next_frame() {
  return Guarded([](Playground& p) {
    if (!p.playback) return Failure("no effect");
    const Playback::FrameAnswers answers = p.playback->Next();
    const Image& frame = p.playback->frame();
    return "{\"ok\":true,\"redraw\":" + std::to_string(answers.redraw) + ",\"still\":" +
           std::to_string(answers.still) + ",\"width\":" + std::to_string(frame.width) + ",\"height\":" +
           std::to_string(frame.height) + "}";
  });
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* vx_frame_pixels() {
  const Playground& p = The();
  return p.playback ? p.playback->frame().rgba.data() : nullptr;
}

// GetAlphaAt a stage point: the alpha, -1 when the effect does not answer,
// -2 on a failing status.
EMSCRIPTEN_KEEPALIVE int vx_hit(int x, int y) {
  Playground& p = The();
  if (!p.playback) return -2;
  try {
    return p.playback->HitTest(x, y).value_or(-1);
  } catch (const std::exception&) {
    return -2;
  }
}

}  // extern "C"
