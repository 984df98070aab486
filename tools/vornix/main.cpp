// vornix: list, describe and render the module's effects.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <regex>

#include "catalogue.h"
#include "host_values.h"
#include "image.h"
#include "plist.h"
#include "render.h"
#include "scene.h"

namespace fs = std::filesystem;
using namespace vx;
using namespace vx::preview;

namespace {

constexpr int kExitFailure = 1;  // the module or the output failed
constexpr int kExitUsage = 2;    // the command line or an input was wrong

// Bad input from the command line; exit 2 with the message.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The built module when the program runs from its build tree; otherwise the
// library beside the program.
std::string FindModule(const std::string& given) {
  if (!given.empty()) return given;
  std::vector<fs::path> candidates;
#ifdef VX_MODULE_PATH
  candidates.emplace_back(VX_MODULE_PATH);
#endif
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path dir = exe.parent_path();
    for (const char* relative : {"libvornix.so", "../lib/libvornix.so", "../module/libvornix.so"})
      candidates.push_back(dir / relative);
  }
  for (const fs::path& p : candidates)
    if (fs::exists(p, ec)) return p.string();
  return candidates.empty() ? "libvornix.so" : candidates.front().string();
}

void PrintEffectList(std::ostream& out, const std::vector<EffectInfo>& effects) {
  for (const EffectInfo& e : effects) out << "  " << e.symbol << "\n";
}

const EffectInfo& RequireEffect(const std::vector<EffectInfo>& effects, const std::string& name) {
  const EffectInfo* info = FindEffect(effects, name);
  if (info != nullptr) return *info;
  std::cerr << "vornix: unknown effect '" << name << "'; the effects are:\n";
  PrintEffectList(std::cerr, effects);
  throw UsageError("");
}

int ListEffects(host::Host& host) {
  const std::vector<EffectInfo> effects = RegisteredEffects(host);
  std::printf("%-10s %-12s %-14s %s\n", "symbol", "name", "set", "changes alpha");
  for (const EffectInfo& e : effects)
    std::printf("%-10s %-12s %-14s %s\n", e.symbol.c_str(), e.displayName.c_str(), e.setName.c_str(),
                e.changesAlpha ? "yes" : "no");
  for (const EffectInfo& e : effects) {
    Effect effect(host, e);
    std::printf("\n#%s properties:\n", effect.SymbolText().c_str());
    for (const PropertyInfo& p : effect.Properties()) {
      if (p.key.empty())
        std::printf("  %-20s (unused entry)\n", "-");
      else
        std::printf("  #%-19s %-8s %d\n", p.key.c_str(), TypeName(p.type).c_str(), p.id);
    }
  }
  return 0;
}

int Describe(host::Host& host, const std::string& name) {
  const std::vector<EffectInfo> effects = RegisteredEffects(host);
  Effect effect(host, RequireEffect(effects, name));
  const std::string text = effect.Description();
  if (text.empty()) {
    std::cerr << "vornix: " << effect.info().symbol << " has no description\n";
    return kExitFailure;
  }
  std::cout << text;
  if (text.back() != '\n') std::cout << '\n';
  return 0;
}

enum class OutputKind { Gif, Png, Sheet, Folder };

OutputKind OutputKindOf(const std::string& out, bool sheet) {
  std::string ext = fs::path(out).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  OutputKind kind;
  if ((!out.empty() && out.back() == '/') || ext.empty()) kind = OutputKind::Folder;
  else if (ext == ".gif") kind = OutputKind::Gif;
  else if (ext == ".png") kind = sheet ? OutputKind::Sheet : OutputKind::Png;
  else throw UsageError("unsupported output '" + out + "': use a .png or .gif file, or a folder");
  if (sheet && kind != OutputKind::Sheet)
    throw UsageError("--sheet needs a .png output, not '" + out + "'");
  return kind;
}

void ShiftColumns(Node& node, int by) {
  node.column += by;
  for (Node& item : node.items) ShiftColumns(item, by);
}

// "3:RelToPoint(320, 40)" runs before frame 3; a plain call before frame 1.
ScheduledCall ParseScheduledCall(const std::string& text) {
  ScheduledCall scheduled;
  scheduled.text = text;
  std::smatch m;
  std::size_t offset = 0;
  static const std::regex kFramePrefix(R"(^\s*(\d+)\s*:)");
  if (std::regex_search(text, m, kFramePrefix)) {
    scheduled.beforeFrame = std::stoi(m[1].str().substr(0, 9));
    if (scheduled.beforeFrame < 1) throw ParseError(1 + static_cast<int>(m.position(1)), "a frame number of 1 or more", m[1].str());
    offset = static_cast<std::size_t>(m.length(0));
  }
  try {
    scheduled.call = ParseCall(std::string_view(text).substr(offset));
  } catch (const ParseError& e) {
    throw ParseError(e.column() + static_cast<int>(offset), e.expected(), e.found());
  }
  // Columns count from the start of the option's text, prefix included.
  scheduled.call.column += static_cast<int>(offset);
  for (Node& arg : scheduled.call.args) ShiftColumns(arg, static_cast<int>(offset));
  return scheduled;
}

void ReportParseError(const std::string& what, const std::string& text, const ParseError& e) {
  std::cerr << "vornix: " << what << ": column " << e.column() << ": expected " << e.expected()
            << ", found " << e.found() << "\n  " << text << "\n  "
            << std::string(static_cast<std::size_t>(std::max(0, e.column() - 1)), ' ') << "^\n";
}

std::optional<std::pair<int, int>> ParsePair(const std::string& text, const char* what) {
  static const std::regex kPair(R"(^\s*(-?\d{1,9})\s*,\s*(-?\d{1,9})\s*$)");
  std::smatch m;
  if (!std::regex_match(text, m, kPair))
    throw UsageError(std::string(what) + " must be two integers like 10,20, not '" + text + "'");
  return std::make_pair(std::stoi(m[1].str()), std::stoi(m[2].str()));
}

// Draws "[=====     ] 12/30" on stderr once the render has run a moment.
class Progress {
 public:
  Progress() : enabled_(::isatty(STDERR_FILENO) != 0), start_(std::chrono::steady_clock::now()) {}
  ~Progress() {
    if (shown_) std::fputs("\r\033[K", stderr);
  }
  void operator()(int done, int total) {
    if (!enabled_) return;
    if (!shown_ && std::chrono::steady_clock::now() - start_ < std::chrono::milliseconds(400)) return;
    shown_ = true;
    const int width = 30, filled = total > 0 ? done * width / total : width;
    std::fprintf(stderr, "\rrendering [%s%s] %d/%d", std::string(filled, '=').c_str(),
                 std::string(width - filled, ' ').c_str(), done, total);
    std::fflush(stderr);
  }

 private:
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
};

struct RenderOptions {
  std::string effect;
  std::string output;
  std::string props;
  std::vector<std::string> calls;
  std::string input;
  std::string background;
  int depth = 32;
  int blend = 255;
  std::string thresholds;
  std::optional<int> frames;
  bool alpha = false;
  std::string hit;
  bool sheet = false;
  int delay = 5;
};

// The frame count an animation's property list asks for, if any.
std::optional<int> FramesOf(const Node& props) {
  if (props.kind != Node::Kind::PropList) return std::nullopt;
  for (std::size_t i = 0; i < props.keys.size(); ++i)
    if (props.keys[i] == "numFrames" && props.items[i].kind == Node::Kind::Integer)
      return std::max(1, props.items[i].integer);
  return std::nullopt;
}

int RenderCommand(const std::string& modulePath, const RenderOptions& o) {
  RenderSettings settings;
  settings.depth = o.depth;
  settings.blend = o.blend;
  settings.withAlpha = o.alpha;
  const OutputKind kind = OutputKindOf(o.output, o.sheet);

  if (!o.props.empty()) {
    try {
      settings.props = ParseValue(o.props);
    } catch (const ParseError& e) {
      ReportParseError("--props", o.props, e);
      return kExitUsage;
    }
  }
  for (const std::string& text : o.calls) {
    try {
      settings.calls.push_back(ParseScheduledCall(text));
    } catch (const ParseError& e) {
      ReportParseError("--call", text, e);
      return kExitUsage;
    }
  }
  if (!o.thresholds.empty()) {
    auto pair = ParsePair(o.thresholds, "--thresholds");
    settings.maskRuns = false;
    settings.lowerThreshold = pair->first;
    settings.upperThreshold = pair->second;
    if (pair->first < 0 || pair->second > 255 || pair->first > pair->second)
      throw UsageError("--thresholds must be LOW,HIGH with 0 <= LOW <= HIGH <= 255");
  }
  if (!o.hit.empty()) settings.hit = ParsePair(o.hit, "--hit");
  settings.frames = o.frames ? *o.frames : settings.props ? FramesOf(*settings.props).value_or(30) : 30;

  Image sprite;
  try {
    sprite = o.input.empty() ? MakeSampleSprite() : ReadPng(o.input);
  } catch (const ImageError& e) {
    throw UsageError(e.what());
  }
  // A square stage leaves room for the sprite turned on its side.
  const int side = std::max(sprite.width, sprite.height) + 32;
  Image background;
  if (o.background.empty()) {
    background = MakeCheckerboard(side, side);
  } else if (auto colour = ParseColour(o.background)) {
    background = MakeSolid(side, side, *colour);
  } else if (o.background[0] == '#') {
    throw UsageError("--background " + o.background + " is not a colour: use #rrggbb or #rgb");
  } else {
    try {
      background = ReadPng(o.background);
    } catch (const ImageError& e) {
      throw UsageError(std::string(e.what()) + " (--background takes a PNG, #rrggbb or a colour name)");
    }
  }

  // Every frame is kept until the file is written.
  const double frameBytes = 4.0 * background.width * background.height;
  if (frameBytes * settings.frames > 2.0 * 1024 * 1024 * 1024)
    throw UsageError(std::to_string(settings.frames) + " frames of " + std::to_string(background.width) + "x" +
                     std::to_string(background.height) + " pixels would not fit in memory; ask for fewer --frames");

  host::Host host(modulePath);
  const std::vector<EffectInfo> effects = RegisteredEffects(host);
  Effect effect(host, RequireEffect(effects, o.effect));

  if (settings.props) {
    std::int32_t count = 0;
    const PropertyDesc* table = effect.Table(&count);
    for (const std::string& warning : CheckAgainstTable(host.values(), *settings.props, table, count))
      std::cerr << "vornix: warning: --props: " << warning << "\n";
  }
  for (const ScheduledCall& c : settings.calls) {
    if (c.beforeFrame > settings.frames)
      std::cerr << "vornix: warning: --call " << c.text << ": frame " << c.beforeFrame
                << " comes after the last frame (" << settings.frames << "); it is not run\n";
    for (const Node& arg : c.call.args)
      for (const std::string& warning : LinearListWarnings(arg))
        std::cerr << "vornix: warning: --call " << c.text << ": " << warning << "\n";
  }
  if (o.alpha && !effect.info().changesAlpha)
    std::cerr << "vornix: warning: " << effect.info().symbol
              << " does not draw with alpha; the frames stay transparent\n";

  RenderReport report;
  {
    Progress progress;
    report = RenderEffect(host, effect, sprite, background, settings,
                          [&](int done, int total) { progress(done, total); });
  }
  for (const std::string& note : report.notes) std::cout << note << "\n";

  switch (kind) {
    case OutputKind::Gif:
      WriteAtomically(o.output, [&](const std::string& path) { WriteGif(path, report.frames, o.delay, o.alpha); });
      break;
    case OutputKind::Png:
      WriteAtomically(o.output, [&](const std::string& path) { WritePng(path, report.frames.back(), o.alpha); });
      break;
    case OutputKind::Sheet:
      WriteAtomically(o.output,
                      [&](const std::string& path) { WritePng(path, MakeContactSheet(report.frames), o.alpha); });
      break;
    case OutputKind::Folder: WritePngFolder(o.output, report.frames, o.alpha); break;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vornix: preview the module's sprite effects"};
  app.require_subcommand(1);
  app.fallthrough();
  std::string modulePath;
  app.add_option("--module", modulePath, "the module library to load (default: the built libvornix.so)");

  app.add_subcommand("effects", "list the effects with their property tables");

  std::string describeName;
  CLI::App* describe = app.add_subcommand("describe", "print an effect's description");
  describe->add_option("EFFECT", describeName, "effect symbol, e.g. mosaic")->required();

  RenderOptions o;
  CLI::App* render = app.add_subcommand("render", "render an effect's frames to an image file");
  render->add_option("EFFECT", o.effect, "effect symbol, e.g. mosaic")->required();
  render->add_option("-o,--output", o.output,
                     "OUT.gif (animated), OUT.png (last frame, or all with --sheet) or a folder")
      ->required();
  render->add_option("--props", o.props, "property list, e.g. '[#animMode: #range, #numFrames: 30]'");
  // One call per --call, so a call never swallows the effect's name.
  render->add_option("--call", o.calls, "script call, before frame N with 'N:', e.g. '3:RelToPoint(320, 40)'")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  render->add_option("--input", o.input, "sprite PNG; its alpha is the mask (default: a sample sprite)");
  render->add_option("--background", o.background, "PNG, #rrggbb or colour name (default: checkerboard)");
  render->add_option("--depth", o.depth, "stage depth: 8, 16, 24 or 32")->check(CLI::IsMember({8, 16, 24, 32}))
      ->capture_default_str();
  render->add_option("--blend", o.blend, "blend level 0-255")
      ->check(CLI::Range(0, 255))
      ->capture_default_str();
  render->add_option("--thresholds", o.thresholds,
                     "draw through the mask thresholds LOW,HIGH instead of the mask's runs");
  render->add_option("--frames", o.frames, "frames to render (default: #numFrames, else 30)")
      ->check(CLI::Range(1, 10000));
  render->add_flag("--alpha", o.alpha, "draw with RenderWithAlpha and write RGBA");
  render->add_option("--hit", o.hit, "stage point X,Y to hit-test after the last frame");
  render->add_flag("--sheet", o.sheet, "with a .png output: all frames as a contact sheet");
  render->add_option("--delay", o.delay, "GIF frame delay in 1/100 s (default 5)")->check(CLI::Range(1, 1000));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kExitUsage;
  }

  try {
    const std::string path = FindModule(modulePath);
    if (render->parsed()) return RenderCommand(path, o);
    host::Host host(path);
    if (describe->parsed()) return Describe(host, describeName);
    return ListEffects(host);
  } catch (const UsageError& e) {
    if (*e.what() != '\0') std::cerr << "vornix: " << e.what() << "\n";
    return kExitUsage;
  } catch (const ModuleError& e) {
    std::cerr << "vornix: " << e.what() << "\n";
    return kExitFailure;
  } catch (const std::exception& e) {
    std::cerr << "vornix: " << e.what() << "\n";
    return kExitFailure;
  }
}
