// vornix: list, describe and render the module's effects.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <set>

#include "catalogue.h"
#include "check.h"
#include "host_values.h"
#include "image.h"
#include "output.h"
#include "plist.h"
#include "render.h"
#include "scene.h"

namespace fs = std::filesystem;
using namespace vx;
using namespace vx::preview;

namespace {

constexpr int kExitFailure = 1;  // the module failed, or the output could not be written
constexpr int kExitUsage = 2;    // the command line or an input was wrong

constexpr int kMaxFrames = 10000;
constexpr Status kNoSuchFunction = static_cast<Status>(0x800407DFu);

// Bad input from the command line; exit 2 with the message.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The library beside the program: where an install puts it, else where the
// build tree keeps it; failing both, the module it was built with.
std::string FindModule(const std::string& given) {
  if (!given.empty()) return given;
  std::vector<fs::path> candidates;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path dir = exe.parent_path();
#ifdef VX_MODULE_INSTALLED
    candidates.push_back(dir / VX_MODULE_INSTALLED);
#endif
    for (const char* relative : {"libvornix.so", "../lib/libvornix.so", "../module/libvornix.so"})
      candidates.push_back(dir / relative);
  }
#ifdef VX_MODULE_PATH
  candidates.emplace_back(VX_MODULE_PATH);
#endif
  for (const fs::path& p : candidates)
    if (fs::exists(p, ec)) return p.string();
  return candidates.empty() ? "libvornix.so" : candidates.back().string();
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
  bool differs = false;
  for (const EffectInfo& e : effects) {
    Effect effect(host, e);
    const auto described = DescribedTypes(effect.Description());
    std::printf("\n#%s properties:\n", effect.SymbolText().c_str());
    for (const PropertyInfo& p : effect.Properties()) {
      if (p.key.empty()) {
        std::printf("  %-20s (unused entry)\n", "-");
        continue;
      }
      const std::string type = TypeName(p.type);
      std::string note;
      for (const auto& [key, word] : described)
        if (key == p.key && word != type) note = "  (described as " + word + ")", differs = true;
      std::printf("  #%-19s %-8s %d%s\n", p.key.c_str(), type.c_str(), p.id, note.c_str());
    }
  }
  if (differs)
    std::printf("\nTypes are those of each effect's property table. Where the description names another\n"
                "type, the effect reads the value with a getter of that type; the host converts integers\n"
                "and floats into each other (floats truncated toward zero), so either form is accepted.\n");
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

enum class OutputKind { Gif, Webp, Png, Sheet, Folder };

struct Output {
  OutputKind kind = OutputKind::Png;
  std::string path;  // "-" for standard output
  bool toStdout() const { return path == "-"; }
};

std::string Lowered(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The form comes from the extension, or from --format for standard output.
Output OutputOf(const std::string& out, const std::string& format, bool sheet) {
  if (out.empty()) throw UsageError("-o needs a file or folder name (or - for standard output)");
  Output o{OutputKind::Png, out};
  const std::string name = Lowered(fs::path(out).filename().string());
  std::string ext = Lowered(fs::path(out).extension().string());
  if (out == "-") {
    ext = "." + (format.empty() ? std::string("png") : format);
  } else if (out.back() != '/' && (name == ".png" || name == ".gif" || name == ".webp")) {
    throw UsageError("-o " + out + " is only an extension; name the file, e.g. out" + name);
  }
  if (out.back() == '/' || ext.empty()) o.kind = OutputKind::Folder;
  else if (ext == ".gif") o.kind = OutputKind::Gif;
  else if (ext == ".webp") o.kind = OutputKind::Webp;
  else if (ext == ".png") o.kind = sheet ? OutputKind::Sheet : OutputKind::Png;
  else throw UsageError("unsupported output '" + out + "': use a .png, .gif or .webp file, a folder, or - for standard output");
  if (!format.empty() && out != "-" && ext != "." + format)
    throw UsageError("--format " + format + " does not match the output '" + out + "'");
  if (sheet && o.kind != OutputKind::Sheet)
    throw UsageError("--sheet needs a .png output, not '" + out + "'");
  if (o.toStdout() && ::isatty(STDOUT_FILENO))
    throw UsageError("-o - writes image data to standard output, which is a terminal; redirect it to a file or a pipe");
  return o;
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

// A text of several lines (a --props file) is reported by line and column.
void ReportParseError(const std::string& what, const std::string& text, const ParseError& e) {
  const std::size_t offset = std::min(text.size(), static_cast<std::size_t>(std::max(0, e.column() - 1)));
  const std::size_t newline = offset == 0 ? std::string::npos : text.rfind('\n', offset - 1);
  const std::size_t lineStart = newline == std::string::npos ? 0 : newline + 1;
  const std::size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
  std::cerr << "vornix: " << what << ": ";
  if (text.find('\n') != std::string::npos)
    std::cerr << "line " << std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(lineStart), '\n') + 1
              << ", ";
  std::cerr << "column " << offset - lineStart + 1 << ": expected " << e.expected() << ", found " << e.found()
            << "\n  " << text.substr(lineStart, lineEnd - lineStart) << "\n  " << std::string(offset - lineStart, ' ')
            << "^\n";
}

// "@FILE" stands for the file's text.
std::string ReadProps(const std::string& props, std::string* what) {
  *what = "--props";
  if (props.empty() || props[0] != '@') return props;
  const std::string path = props.substr(1);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("--props @" + path + ": cannot read " + path + " (" + std::strerror(errno) + ")");
  *what = "--props " + path;
  return std::string(std::istreambuf_iterator<char>(in), {});
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
  std::string format;
  std::optional<int> cycles;
  std::string stage;
  std::string at;
  bool trace = false;
};

std::pair<int, int> ParseSize(const std::string& text) {
  static const std::regex kSize(R"(^\s*(\d{1,5})\s*[xX]\s*(\d{1,5})\s*$)");
  std::smatch m;
  if (!std::regex_match(text, m, kSize))
    throw UsageError("--stage must be WIDTHxHEIGHT like 320x240, not '" + text + "'");
  const int w = std::stoi(m[1].str()), h = std::stoi(m[2].str());
  if (w < 1 || h < 1 || w > kMaxImageSide || h > kMaxImageSide)
    throw UsageError("--stage " + text + ": each side must be 1 to " + std::to_string(kMaxImageSide));
  return std::make_pair(w, h);
}

// The stage: the size asked for, else the background picture's, else a
// square that holds the sprite turned at any angle.
Image MakeStage(const RenderOptions& o, const Image& sprite) {
  std::optional<std::pair<int, int>> size;
  if (!o.stage.empty()) size = ParseSize(o.stage);
  const int side = DefaultStageSide(sprite);
  const int width = size ? size->first : side, height = size ? size->second : side;
  if (o.background.empty()) return MakeCheckerboard(width, height);
  if (auto colour = ParseColour(o.background)) return MakeSolid(width, height, *colour);
  if (o.background[0] == '#')
    throw UsageError("--background " + o.background + " is not a colour: use #rrggbb or #rgb");
  if (!fs::exists(o.background) && fs::path(o.background).extension().empty())
    throw UsageError("--background " + o.background + " is neither a colour nor a file; the colour names are " +
                     ColourNames());
  Image picture;
  try {
    picture = ReadPng(o.background);
  } catch (const ImageError& e) {
    throw UsageError(std::string(e.what()) + " (--background takes a PNG, #rrggbb, #rgb or a colour name)");
  }
  return TileOverCheckerboard(picture, size ? size->first : picture.width, size ? size->second : picture.height);
}

// One cycle of the animation a property list sets up, when the list tells:
// static shows one frame, range runs to its last, infinite repeats every
// #numFrames, pendulum goes there and back in twice that.
std::optional<int> CycleOf(const Node& props) {
  if (props.kind != Node::Kind::PropList) return std::nullopt;
  std::optional<std::string> mode;
  std::optional<std::int64_t> count;
  for (std::size_t i = 0; i < props.keys.size(); ++i) {
    const Node& v = props.items[i];
    if (props.keys[i] == "animMode" && v.kind == Node::Kind::Symbol) mode = v.symbol;
    if (props.keys[i] == "numFrames" && v.kind == Node::Kind::Integer) count = v.integer;
    if (props.keys[i] == "numFrames" && v.kind == Node::Kind::Float && std::abs(v.real) < 1e9)
      count = static_cast<std::int64_t>(v.real);
  }
  if (mode == "static") return 1;
  if (!count) return std::nullopt;
  const std::int64_t n = std::max<std::int64_t>(1, *count);  // the effects take 0 as 1
  const std::int64_t cycle = mode == "pendulum" ? 2 * n : n;
  return static_cast<int>(std::min<std::int64_t>(cycle, std::numeric_limits<int>::max()));
}


// After a call the effect does not know: the functions its description
// lists, and the closest spelling.
void SuggestFunctions(Effect& effect, const std::vector<ScheduledCall>& calls) {
  const std::vector<std::string> functions = DescribedFunctions(effect.Description());
  if (functions.empty()) {
    std::cerr << "vornix: #" << effect.SymbolText() << " describes no script functions\n";
    return;
  }
  for (const ScheduledCall& c : calls) {
    if (std::find(functions.begin(), functions.end(), c.call.name) != functions.end()) continue;
    if (auto close = ClosestSpelling(c.call.name, functions))
      std::cerr << "vornix: " << c.call.name << ": did you mean " << *close << "?\n";
  }
  std::string list;
  for (const std::string& f : functions) list += (list.empty() ? "" : ", ") + f;
  std::cerr << "vornix: the functions of #" << effect.SymbolText() << " are " << list << "\n";
}

std::string StdoutStaging(const Output& output) {
  return (fs::temp_directory_path() / ("vornix-stdout-" + std::to_string(::getpid()) +
                                       (output.kind == OutputKind::Gif ? ".gif" : output.kind == OutputKind::Webp ? ".webp" : ".png")))
      .string();
}

void CopyToStdout(const std::string& path) {
  {
    std::ifstream in(path, std::ios::binary);
    std::cout << in.rdbuf();
    std::cout.flush();
  }
  std::error_code ignored;
  fs::remove(path, ignored);
  if (!std::cout) throw ImageError("standard output: cannot write");
}

int RenderCommand(const std::string& modulePath, const RenderOptions& o) {
  RenderSettings settings;
  settings.depth = o.depth;
  settings.blend = o.blend;
  settings.withAlpha = o.alpha;
  const Output output = OutputOf(o.output, o.format, o.sheet);
  // With the picture on standard output, the notes go to stderr.
  std::ostream& notes = output.toStdout() ? std::cerr : std::cout;

  std::string propsWhat;
  const std::string propsText = ReadProps(o.props, &propsWhat);
  if (!o.props.empty()) {
    try {
      settings.props = ParseValue(propsText);
    } catch (const ParseError& e) {
      ReportParseError(propsWhat, propsText, e);
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
  settings.trace = o.trace;
  if (o.frames) {
    settings.frames = *o.frames;
  } else {
    const std::int64_t frames =
        static_cast<std::int64_t>(settings.props ? CycleOf(*settings.props).value_or(30) : 30) * o.cycles.value_or(1);
    if (frames > kMaxFrames)
      throw UsageError(std::to_string(o.cycles.value_or(1)) + " cycles make " + std::to_string(frames) +
                       " frames; at most " + std::to_string(kMaxFrames) + " are rendered");
    settings.frames = static_cast<int>(frames);
  }

  Image sprite;
  try {
    sprite = o.input.empty() ? MakeSampleSprite() : ReadPng(o.input);
  } catch (const ImageError& e) {
    throw UsageError(e.what());
  }
  const Image background = MakeStage(o, sprite);
  if (!o.at.empty()) {
    settings.at = ParsePair(o.at, "--at");
    const auto [x, y] = *settings.at;
    if (x <= -sprite.width || y <= -sprite.height || x >= background.width || y >= background.height)
      throw UsageError("--at " + o.at + " puts the sprite (" + std::to_string(sprite.width) + "x" +
                       std::to_string(sprite.height) + ") wholly off the stage (" + std::to_string(background.width) +
                       "x" + std::to_string(background.height) + ")");
  }

  // The sheet is the one form that holds every frame at once.
  if (output.kind == OutputKind::Sheet) {
    const SheetLayout sheet = LayOutSheet(settings.frames, background.width, background.height);
    if (4.0 * sheet.width * sheet.height > 1024.0 * 1024 * 1024)
      throw UsageError("a sheet of " + std::to_string(settings.frames) + " frames of " +
                       std::to_string(background.width) + "x" + std::to_string(background.height) +
                       " pixels would pass 1 GiB; ask for fewer --frames");
  }

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

  // Standard output gets a finished file, so a failure sends nothing.
  const std::string target = output.toStdout() ? StdoutStaging(output) : o.output;
  std::unique_ptr<FrameWriter> writer;
  switch (output.kind) {
    case OutputKind::Gif: writer = OpenGif(target, o.delay, o.alpha); break;
    case OutputKind::Webp: writer = OpenWebp(target, o.delay, o.alpha); break;
    case OutputKind::Png: writer = OpenLastFrame(target, o.alpha); break;
    case OutputKind::Sheet: writer = OpenContactSheet(target, settings.frames, o.alpha); break;
    case OutputKind::Folder: writer = OpenFolder(target, settings.frames, o.alpha); break;
  }

  try {
    Progress progress;
    RenderSinks sinks;
    sinks.frame = [&](const Image& frame) { writer->Add(frame); };
    sinks.note = [&](const std::string& note) { notes << note << std::endl; };
    sinks.progress = [&](int done, int total) { progress(done, total); };
    RenderEffect(host, effect, sprite, background, settings, sinks);
  } catch (const ModuleError& e) {
    if (e.status() == kNoSuchFunction) {
      std::cerr << "vornix: " << e.what() << "\n";
      SuggestFunctions(effect, settings.calls);
      return kExitFailure;
    }
    throw;
  }
  writer->Finish();
  for (const std::string& warning : writer->Warnings()) std::cerr << "vornix: warning: " << warning << "\n";
  if (output.toStdout()) CopyToStdout(target);
  return 0;
}


// The previewer's version and the module's, as the host sees it: the class
// list's versions and the effects' "My Version" entries.
int PrintVersion(const std::string& modulePath) {
  std::cout << "vornix previewer " << VX_PREVIEWER_VERSION << "\n";
  host::Host host(modulePath);
  const std::vector<ClassInfoRecord> classes = host.ListClasses();
  std::set<std::uint32_t> classVersions, interfaceVersions;
  for (const ClassInfoRecord& c : classes) classVersions.insert(c.classVersion), interfaceVersions.insert(c.interfaceVersion);
  auto joined = [](const auto& items) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : ", ") + std::to_string(item);
    return text;
  };
  std::cout << "module " << modulePath << ": " << classes.size() << " class records, class version "
            << joined(classVersions) << ", interface version " << joined(interfaceVersions) << "\n";
  std::map<int, std::string> versions;
  for (const EffectInfo& e : RegisteredEffects(host))
    versions[e.version] += (versions[e.version].empty() ? "" : ", ") + e.symbol;
  for (const auto& [version, symbols] : versions)
    std::cout << (version == 0 ? "  no effect version: " : "  effect version " + std::to_string(version) + ": ")
              << symbols << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vornix: preview the module's sprite effects", "vornix"};
  app.require_subcommand(0, 1);
  app.fallthrough();
  std::string modulePath;
  app.add_option("--module", modulePath, "the module library to load (default: the built libvornix.so)");
  bool version = false;
  app.add_flag("--version", version, "print the previewer's and the module's versions");
  app.footer(
      "Exit status: 0 done; 1 the module failed or the output could not be written; 2 the command line or an "
      "input was wrong.");

  app.add_subcommand("effects", "list the effects with their property tables");

  std::string describeName;
  CLI::App* describe = app.add_subcommand("describe", "print an effect's description");
  describe->add_option("EFFECT", describeName, "effect symbol, e.g. mosaic")->required();

  std::string checkPath;
  bool checkJson = false;
  CLI::App* check = app.add_subcommand("check", "validate a module against the host contract (exit 0 when it passes)");
  check->add_option("MODULE", checkPath, "the module library (default: the one the previewer loads)");
  check->add_flag("--json", checkJson, "the report as JSON");
  std::vector<std::string> checkGroups;
  check->add_option("--group", checkGroups, "run only this check group (repeatable)")
      ->check(CLI::IsMember(check::GroupNames()));

  RenderOptions o;
  CLI::App* render = app.add_subcommand("render", "render an effect's frames to an image file");
  render->add_option("EFFECT", o.effect, "effect symbol, e.g. mosaic")->required();
  render->add_option("-o,--output", o.output,
                     "OUT.gif or OUT.webp (animated), OUT.png (last frame, or all with --sheet), a folder, or - "
                     "for standard output")
      ->required();
  render->add_option("--format", o.format, "png, gif or webp: the form written to standard output (-o -)")
      ->check(CLI::IsMember({"png", "gif", "webp"}));
  render->add_option("--props", o.props,
                     "property list, e.g. '[#animMode: #range, #numFrames: 30]', or @FILE to read it from FILE");
  // One call per --call, so a call never swallows the effect's name.
  render->add_option("--call", o.calls, "script call, before frame N with 'N:', e.g. '3:RelToPoint(320, 40)'")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  render->add_option("--input", o.input, "sprite PNG; its alpha is the mask (default: a sample sprite)");
  render->add_option("--background", o.background,
                     "PNG, #rrggbb, #rgb or a colour name (" + ColourNames() + "); default: checkerboard");
  render->add_option("--depth", o.depth, "stage depth: 8, 16, 24 or 32")->check(CLI::IsMember({8, 16, 24, 32}))
      ->capture_default_str();
  render->add_option("--blend", o.blend, "blend level 0-255")
      ->check(CLI::Range(0, 255))
      ->capture_default_str();
  render->add_option("--thresholds", o.thresholds,
                     "draw through the mask thresholds LOW,HIGH instead of the mask's runs");
  CLI::Option* frames = render->add_option("--frames", o.frames,
                                            "frames to render (default: one cycle of the animation, else 30)")
                            ->check(CLI::Range(1, kMaxFrames));
  render->add_option("--cycles", o.cycles, "cycles of the animation to render (default 1)")
      ->check(CLI::Range(1, kMaxFrames))
      ->excludes(frames);
  render->add_option("--stage", o.stage,
                     "stage size WxH (default: the background picture's, else a square that holds the sprite "
                     "turned at any angle)");
  render->add_option("--at", o.at, "the sprite's top left corner X,Y on the stage (default: centred)");
  render->add_flag("--trace", o.trace, "print per frame NeedsRedraw, IsStill and, where the effect has it, GetAngle()");
  render->add_flag("--alpha", o.alpha, "draw with RenderWithAlpha and write RGBA");
  render->add_option("--hit", o.hit, "stage point X,Y to hit-test after the last frame");
  render->add_flag("--sheet", o.sheet, "with a .png output: all frames as a numbered contact sheet");
  render->add_option("--delay", o.delay, "GIF and WebP frame delay in 1/100 s (default 5)")->check(CLI::Range(1, 1000));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help
    std::cerr << "vornix: " << e.what() << "\nvornix: run 'vornix --help' or 'vornix render --help' for the options\n";
    return kExitUsage;
  }

  try {
    const std::string path = FindModule(modulePath);
    if (version || app.get_subcommands().empty()) {
      const int status = PrintVersion(path);
      if (!version) std::cout << "\n" << app.help();
      return status;
    }
    if (render->parsed()) return RenderCommand(path, o);
    if (check->parsed()) return check::Run(checkPath.empty() ? path : checkPath, checkJson, std::cout, checkGroups);
    host::Host host(path);
    if (describe->parsed()) return Describe(host, describeName);
    return ListEffects(host);
  } catch (const UsageError& e) {
    if (*e.what() != '\0') std::cerr << "vornix: " << e.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "vornix: " << e.what() << "\n";
    return kExitFailure;
  }
}
