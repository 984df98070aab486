#include "render.h"

#include <algorithm>
#include <cstring>

#include "host/glissade/image.h"
#include "host/glissade/masks.h"
#include "host/glissade/palette.h"
#include "host_values.h"

namespace vx::preview {

using glissade::ImageKind;

std::vector<glissade::Colour> StagePalette() {
  std::vector<glissade::Colour> colours;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        colours.push_back({static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                           static_cast<std::uint8_t>(b * 51)});
  for (int i = 0; i < 40; ++i) {
    const auto v = static_cast<std::uint8_t>(3 + i * 252 / 39);
    colours.push_back({v, v, v});
  }
  return colours;
}

StageCodec::StageCodec() : palette_(StagePalette()) {}

void StageCodec::Store(const Image& picture, glissade::Image& image, int x0, int y0) const {
  const ImageKind kind = image.Kind();
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      const std::uint8_t* c = picture.At(x, y);
      std::uint8_t* p = image.Pixel(x0 + x, y0 + y);
      switch (kind) {
        case ImageKind::kIndexed8: p[0] = palette_.InverseOf(c[0], c[1], c[2]); break;
        case ImageKind::kRgb555: {
          const unsigned v = ((c[0] >> 3) << 10) | ((c[1] >> 3) << 5) | (c[2] >> 3);
          p[0] = static_cast<std::uint8_t>(v);
          p[1] = static_cast<std::uint8_t>(v >> 8);
          break;
        }
        case ImageKind::kExpanded8: {
          // The colour the index stands for, so both halves agree.
          const std::uint8_t index = palette_.InverseOf(c[0], c[1], c[2]);
          const glissade::Colour colour = palette_.ColourOf(index);
          p[0] = colour.b, p[1] = colour.g, p[2] = colour.r;
          if (image.BytesPerPixel() > 3) p[3] = index;
          break;
        }
        case ImageKind::kExpanded16:
          p[0] = static_cast<std::uint8_t>(c[2] >> 3);
          p[1] = static_cast<std::uint8_t>(c[1] >> 3);
          p[2] = static_cast<std::uint8_t>(c[0] >> 3);
          break;
        case ImageKind::kRgb24:
        case ImageKind::kRgb32:
          p[0] = c[2], p[1] = c[1], p[2] = c[0];
          break;
      }
    }
}

Image StageCodec::Load(const glissade::Image& image, const glissade::Image* alpha) const {
  Image picture(image.Width(), image.Height());
  Load(image, alpha, picture, 0, 0);
  return picture;
}

void StageCodec::Load(const glissade::Image& image, const glissade::Image* alpha, Image& picture, int x0,
                      int y0) const {
  const ImageKind kind = image.Kind();
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      const std::uint8_t* p = image.Pixel(x0 + x, y0 + y);
      std::uint8_t* c = picture.At(x, y);
      switch (kind) {
        case ImageKind::kIndexed8: {
          const glissade::Colour colour = palette_.ColourOf(p[0]);
          c[0] = colour.r, c[1] = colour.g, c[2] = colour.b;
          break;
        }
        case ImageKind::kRgb555: {
          const int v = p[0] | (p[1] << 8);
          c[0] = Widen((v >> 10) & 31), c[1] = Widen((v >> 5) & 31), c[2] = Widen(v & 31);
          break;
        }
        case ImageKind::kExpanded16:
          c[0] = Widen(p[2] & 31), c[1] = Widen(p[1] & 31), c[2] = Widen(p[0] & 31);
          break;
        case ImageKind::kExpanded8:
        case ImageKind::kRgb24:
        case ImageKind::kRgb32:
          c[0] = p[2], c[1] = p[1], c[2] = p[0];
          break;
      }
      c[3] = alpha ? alpha->Pixel(x0 + x, y0 + y)[0] : 255;
    }
}

std::uint8_t StageCodec::Widen(int five) { return static_cast<std::uint8_t>((five << 3) | (five >> 2)); }

glissade::ImageKind StageKind(int depth, bool expanded) {
  switch (depth) {
    case 8: return expanded ? ImageKind::kExpanded8 : ImageKind::kIndexed8;
    case 16: return expanded ? ImageKind::kExpanded16 : ImageKind::kRgb555;
    case 24: return ImageKind::kRgb24;
    default: return ImageKind::kRgb32;
  }
}

namespace {

std::string CallText(const Call& call) {
  std::string text = call.name + "(";
  for (std::size_t i = 0; i < call.args.size(); ++i) text += (i > 0 ? ", " : "") + Format(call.args[i]);
  return text + ")";
}

}  // namespace

Playback::Canvas Playback::LayOut(const Image& sprite, const Image& background, const StageSettings& settings) {
  const int stageWidth = background.width, stageHeight = background.height;
  const auto [spriteLeft, spriteTop] =
      settings.at.value_or(std::make_pair(stageWidth / 2 - sprite.width / 2, stageHeight / 2 - sprite.height / 2));
  const int centreX = spriteLeft + sprite.width / 2, centreY = spriteTop + sprite.height / 2;
  const bool centredX = spriteLeft == stageWidth / 2 - sprite.width / 2;
  const bool centredY = spriteTop == stageHeight / 2 - sprite.height / 2;
  const int halfWidth = std::max(centreX, stageWidth - centreX), halfHeight = std::max(centreY, stageHeight - centreY);
  return {spriteLeft,
          spriteTop,
          centredX ? stageWidth : 2 * halfWidth,
          centredY ? stageHeight : 2 * halfHeight,
          centredX ? 0 : halfWidth - centreX,
          centredY ? 0 : halfHeight - centreY};
}

// Sprites with their own alpha are drawn into an expanded buffer of the
// stage's depth, as Glissade keeps them, with a separate alpha plane.
Playback::Playback(host::Host& host, Effect& effect, const Image& sprite, const Image& background,
                   const StageSettings& settings)
    : values_(host.values()),
      effect_(effect),
      settings_(settings),
      canvas_(LayOut(sprite, background, settings)),
      stage_(StageKind(settings.depth, settings.withAlpha), 0, 0, canvas_.width, canvas_.height),
      stageAlpha_(ImageKind::kIndexed8, 0, 0, canvas_.width, canvas_.height),
      source_(StageKind(settings.depth, false), 0, 0, sprite.width, sprite.height),
      mask_(ImageKind::kIndexed8, 0, 0, sprite.width, sprite.height),
      frameImage_(background.width, background.height) {
  codec_.Store(sprite, source_);
  for (int y = 0; y < sprite.height; ++y)
    for (int x = 0; x < sprite.width; ++x) mask_.Pixel(x, y)[0] = sprite.At(x, y)[3];
  codec_.Store(background, stage_, canvas_.stageX, canvas_.stageY);
  backdrop_ = stage_.Memory();
  runs_ = glissade::MakeMaskRuns(mask_);

  // Glissade's record also carries its allocator and two rectangles the
  // effects that move pixels report their drawn bounds into.
  thresholds_ = glissade::MakeThresholdRecord(settings.upperThreshold, settings.lowerThreshold);
  thresholds_.words[kThresholdAllocatorWord] = reinterpret_cast<Word>(host.allocator().Interface());
  thresholds_.words[kThresholdOutRectWord] = reinterpret_cast<Word>(&drawnBounds_);
  thresholds_.words[kThresholdOutRect2Word] = reinterpret_cast<Word>(&drawnBounds2_);

  // Where the sprite sits on the stage, for hit tests in stage coordinates.
  spriteRect_ = glissade::HostRect(canvas_.spriteLeft, canvas_.spriteTop, canvas_.spriteLeft + sprite.width,
                                   canvas_.spriteTop + sprite.height);

  EffectInterface* fx = effect.get();
  if (Status s = fx->ops->GetEffectSymbol(fx, &effectSymbol_, 0); s != kOk) throw ModuleError("GetEffectSymbol", s);
}

void Playback::SetProperties(const Node& list) {
  EffectInterface* fx = effect_.get();
  HostValue value = ToHostValue(values_, list);
  std::int32_t restarted = 0, changedFlag = 0;
  const Status s = fx->ops->SetProperties(fx, &value, 0, 0, effect_.services(), &restarted, &changedFlag);
  values_.Release(&value);
  if (s != kOk) throw ModuleError("SetProperties", s);
  changed_ = changed_ || changedFlag != 0;
}

std::optional<std::string> Playback::Call(const std::string& name, const std::vector<Node>& callArgs,
                                          Status* status) {
  EffectInterface* fx = effect_.get();
  std::vector<HostValue> args = {values_.Integer(1), values_.SymbolValue(effectSymbol_)};
  for (const Node& arg : callArgs) args.push_back(ToHostValue(values_, arg));
  // A float has a slot of its own, so no value the effect writes back
  // can carry the same bits: any change means a result, 0 included.
  HostValue result = values_.Float(0);
  HostValue placeholder = result;
  std::int32_t restarted = 0, changedFlag = 0;
  *status = fx->ops->CallFunction(fx, values_.Intern(name), args.data(), static_cast<std::int32_t>(args.size()), 2,
                                  &result, effect_.services(), &restarted, &changedFlag);
  for (HostValue& v : args) values_.Release(&v);
  std::optional<std::string> text;
  if (result.bits != placeholder.bits) {
    text = ValueText(values_, result);
    values_.Release(&result);
  }
  values_.Release(&placeholder);
  changed_ = changed_ || changedFlag != 0;
  return text;
}

Playback::FrameAnswers Playback::Next() {
  EffectInterface* fx = effect_.get();
  const EffectOps* ops = fx->ops;
  FrameAnswers answers;
  if (Status s = ops->NeedsRedraw(fx, &answers.redraw, changed_ ? 2 : 0); s != kOk) throw ModuleError("NeedsRedraw", s);
  if (Status s = ops->IsStill(fx, &answers.still, 0); s != kOk) throw ModuleError("IsStill", s);
  changed_ = false;
  if (answers.redraw == 0 && drawn_) return answers;

  // Every frame draws the sprite anew over the bare stage.
  stage_.Assign(backdrop_);
  stageAlpha_.Fill(0);
  AreaRect update = glissade::HostRect(0, 0, stage_.Width(), stage_.Height());
  const std::uint16_t* maskRuns = settings_.maskRuns ? runs_.data() : nullptr;
  Status s;
  if (settings_.withAlpha)
    s = ops->RenderWithAlpha(fx, stage_.View(), stageAlpha_.View(), source_.View(), mask_.View(), &update, maskRuns,
                             codec_.colours(), settings_.blend, 1, 0, &thresholds_);
  else
    s = ops->Render(fx, stage_.View(), source_.View(), &update, mask_.View(), maskRuns, codec_.colours(),
                    settings_.blend, 1, 0, 0, &thresholds_);
  if (s != kOk) throw ModuleError(settings_.withAlpha ? "RenderWithAlpha" : "Render", s);
  codec_.Load(stage_, settings_.withAlpha ? &stageAlpha_ : nullptr, frameImage_, canvas_.stageX, canvas_.stageY);
  drawn_ = true;
  return answers;
}

std::optional<std::int32_t> Playback::HitTest(int x, int y) {
  EffectInterface* fx = effect_.get();
  SpriteDescription description{};
  description.words[kSpriteRectWord] = reinterpret_cast<Word>(&spriteRect_);
  const std::int32_t unanswered = -1;
  std::int32_t alpha = unanswered;
  if (Status s = fx->ops->GetAlphaAt(fx, mask_.View(), y, x, &alpha, &description); s != kOk)
    throw ModuleError("GetAlphaAt", s);
  if (alpha == unanswered) return std::nullopt;
  return alpha;
}

RenderReport RenderEffect(host::Host& host, Effect& effect, const Image& sprite, const Image& background,
                          const RenderSettings& settings, const RenderSinks& sinks) {
  RenderReport report;
  auto note = [&](std::string text) {
    if (sinks.note) sinks.note(text);
    else report.notes.push_back(std::move(text));
  };
  Playback playback(host, effect, sprite, background, settings);
  if (settings.props) playback.SetProperties(*settings.props);

  bool asksAngle = settings.trace;
  for (int frame = 1; frame <= settings.frames; ++frame) {
    for (const ScheduledCall& c : settings.calls) {
      if (c.beforeFrame != frame) continue;
      Status s = kOk;
      const std::optional<std::string> result = playback.Call(c.call.name, c.call.args, &s);
      if (s != kOk) throw ModuleError(c.text, s);
      if (result) note("frame " + std::to_string(frame) + ": " + CallText(c.call) + " = " + *result);
    }
    const Playback::FrameAnswers answers = playback.Next();
    if (settings.trace) {
      std::string line = "frame " + std::to_string(frame) + ": NeedsRedraw " + std::to_string(answers.redraw) +
                         ", IsStill " + std::to_string(answers.still);
      if (asksAngle) {
        Status s = kOk;
        const std::optional<std::string> angle = playback.Call("GetAngle", {}, &s);
        if (s != kOk) asksAngle = false;  // the effect has no angle to tell
        else if (angle) line += ", GetAngle() = " + *angle;
      }
      note(line);
    }
    if (sinks.frame) sinks.frame(playback.frame());
    else report.frames.push_back(playback.frame());
    if (sinks.progress) sinks.progress(frame, settings.frames);
  }

  if (settings.hit) {
    const auto [x, y] = *settings.hit;
    const std::string where = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
    report.hitAlpha = playback.HitTest(x, y);
    if (report.hitAlpha) note("hit " + where + ": alpha " + std::to_string(*report.hitAlpha));
    else note("hit " + where + ": " + effect.info().symbol + " does not answer hit tests");
  }
  return report;
}

}  // namespace vx::preview
