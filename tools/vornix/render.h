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

struct RenderSettings {
  std::optional<Node> props;  // given to SetProperties before the first frame
  std::vector<ScheduledCall> calls;
  int depth = 32;  // 8 (palette), 16 (5-5-5), 24 or 32
  int blend = 255;
  // Glissade hands over the mask's runs when it has them, and the
  // thresholds matter only without them.
  bool maskRuns = true;
  int lowerThreshold = 0;
  int upperThreshold = 255;
  int frames = 30;
  bool withAlpha = false;  // RenderWithAlpha into a stage that starts transparent
  std::optional<std::pair<int, int>> hit;  // stage x, y asked of GetAlphaAt after the last frame
  // The sprite's top left corner on the stage; centred when unset.
  std::optional<std::pair<int, int>> at;
  // Per frame a line of what the host saw: NeedsRedraw, IsStill and, for
  // effects that answer GetAngle, the angle after the frame.
  bool trace = false;
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

// The stage has the background's size; the sprite's alpha is its mask.
// Frames stream to the sinks, so memory does not grow with their count.
// Throws ModuleError on a failing status.
RenderReport RenderEffect(host::Host& host, Effect& effect, const Image& sprite,
                          const Image& background, const RenderSettings& settings,
                          const RenderSinks& sinks = {});

}  // namespace vx::preview
