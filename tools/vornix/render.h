// Drives one effect frame by frame as Glissade does and turns the stage
// back into RGB(A) images.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalogue.h"
#include "host/glissade/image.h"
#include "host/glissade/palette.h"
#include "host/core/host.h"
#include "image.h"
#include "plist.h"

namespace vx::preview {

// The palette of 8-bit stages: a 6x6x6 colour cube and 40 greys.
std::vector<glissade::Colour> StagePalette();

// The stage image kind of a depth: 8-bit indices, 5-5-5, 24 or 32 bits, or
// for 8 and 16 bits the expanded working form (one byte per channel).
glissade::ImageKind StageKind(int depth, bool expanded);

// RGBA pictures into and out of Glissade images of every kind, through the
// stage palette for 8-bit ones.
class StageCodec {
 public:
  StageCodec();
  StageCodec(const StageCodec&) = delete;
  StageCodec& operator=(const StageCodec&) = delete;

  ColourTable* colours() { return palette_.Record(); }
  const glissade::PaletteTable& palette() const { return palette_; }

  // Colour only; the picture goes to (x, y) of the image, and must fit.
  void Store(const Image& picture, glissade::Image& image, int x = 0, int y = 0) const;
  // The whole image; alpha from `alpha` (one byte per pixel) when given,
  // else opaque.
  Image Load(const glissade::Image& image, const glissade::Image* alpha) const;
  // The picture's size from (x, y) of the image, into the picture's memory.
  void Load(const glissade::Image& image, const glissade::Image* alpha, Image& picture, int x, int y) const;

 private:
  static std::uint8_t Widen(int five);

  glissade::PaletteTable palette_;
};

struct ScheduledCall {
  int beforeFrame = 1;  // 1-based
  Call call;
  std::string text;  // as written, for messages
};

// How the stage is drawn; a change means a new Playback.
struct StageSettings {
  int depth = 32;  // 8 (palette), 16 (5-5-5), 24 or 32
  int blend = 255;
  // Glissade hands over the mask's runs when it has them, and the
  // thresholds matter only without them.
  bool maskRuns = true;
  int lowerThreshold = 0;
  int upperThreshold = 255;
  bool withAlpha = false;  // RenderWithAlpha into a stage that starts transparent
  // The sprite's top left corner on the stage; centred when unset.
  std::optional<std::pair<int, int>> at;
};

struct RenderSettings : StageSettings {
  std::optional<Node> props;  // given to SetProperties before the first frame
  std::vector<ScheduledCall> calls;
  int frames = 30;
  std::optional<std::pair<int, int>> hit;  // stage x, y asked of GetAlphaAt after the last frame
  // Per frame a line of what the host saw: NeedsRedraw, IsStill and, for
  // effects that answer GetAngle, the angle after the frame.
  bool trace = false;
};

// One effect drawn on one stage frame after frame, as Glissade does: the
// stage has the background's size and the sprite's alpha is its mask.
// Operations throw ModuleError on a failing status.
class Playback {
 public:
  Playback(host::Host& host, Effect& effect, const Image& sprite, const Image& background,
           const StageSettings& settings);
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  // SetProperties with a list as authors write it; the next frame tells
  // the effect something changed.
  void SetProperties(const Node& list);
  // A script call; the result's text, or nothing when the effect left the
  // result alone. `status` gets the effect's answer.
  std::optional<std::string> Call(const std::string& name, const std::vector<Node>& args, Status* status);

  struct FrameAnswers {
    std::int32_t redraw = 0, still = 0;
  };
  // NeedsRedraw, IsStill and, when asked to or never drawn, Render into frame().
  FrameAnswers Next();
  const Image& frame() const { return frameImage_; }

  // GetAlphaAt a stage point; unset when the effect does not answer.
  std::optional<std::int32_t> HitTest(int x, int y);

 private:
  // Glissade centres the mask on the destination, so the sprite sits at
  // the middle of a canvas around the stage; the stage is cut from it.
  struct Canvas {
    int spriteLeft, spriteTop, width, height, stageX, stageY;
  };
  static Canvas LayOut(const Image& sprite, const Image& background, const StageSettings& settings);

  host::Values& values_;
  Effect& effect_;
  StageSettings settings_;
  StageCodec codec_;
  Canvas canvas_;
  glissade::Image stage_, stageAlpha_, source_, mask_;
  std::vector<std::uint8_t> backdrop_;
  std::vector<std::uint16_t> runs_;
  AreaRect drawnBounds_{}, drawnBounds2_{};
  ThresholdRecord thresholds_{};
  AreaRect spriteRect_{};
  Symbol effectSymbol_ = 0;
  bool changed_ = false;
  bool drawn_ = false;
  Image frameImage_;
};

struct RenderReport {
  std::vector<Image> frames;  // only when no frame sink was given
  std::vector<std::string> notes;  // call results, the trace and the hit test, when no note sink was given
  std::optional<std::int32_t> hitAlpha;  // unset when the effect does not answer
};

// Where finished frames and notes go as they come; the frame is valid
// during the call only.
struct RenderSinks {
  std::function<void(const Image& frame)> frame;
  std::function<void(const std::string& note)> note;
  std::function<void(int done, int total)> progress;
};

// A Playback run for `settings.frames` frames. Frames stream to the sinks,
// so memory does not grow with their count.
RenderReport RenderEffect(host::Host& host, Effect& effect, const Image& sprite,
                          const Image& background, const RenderSettings& settings,
                          const RenderSinks& sinks = {});

}  // namespace vx::preview
