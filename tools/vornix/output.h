// The previewer's outputs, fed one frame at a time so that memory does not
// grow with the frame count. Each writes beside its target and puts the
// result in place only in Finish: an output dropped unfinished leaves
// nothing behind, not even the folders it had to create.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image.h"

namespace vx::preview {

class FrameWriter {
 public:
  virtual ~FrameWriter() = default;
  // Every frame has the first frame's size.
  virtual void Add(const Image& frame) = 0;
  virtual void Finish() = 0;
  // What the form could not keep, said once finished.
  virtual std::vector<std::string> Warnings() const { return {}; }
};

// An endlessly looping GIF, one palette per frame made by a quantiser with
// dithering. Without alpha a frame holds only the rectangle that changed;
// with alpha, pixels below half opacity become transparent and the rest
// opaque (the warnings count the soft pixels cut so).
std::unique_ptr<FrameWriter> OpenGif(const std::string& path, int delayCentiseconds, bool withAlpha);

// An endlessly looping animated WebP, lossless, with full alpha. The
// encoder keeps the compressed frames until Finish.
std::unique_ptr<FrameWriter> OpenWebp(const std::string& path, int delayCentiseconds, bool withAlpha);

// The last frame as a PNG.
std::unique_ptr<FrameWriter> OpenLastFrame(const std::string& path, bool withAlpha);

// All `frameCount` frames on a contact sheet, numbered.
std::unique_ptr<FrameWriter> OpenContactSheet(const std::string& path, int frameCount, bool withAlpha);

// Numbered PNGs (frame-001.png, ...) in `folder`; numbered frames of an
// earlier render beyond these are removed.
std::unique_ptr<FrameWriter> OpenFolder(const std::string& folder, int frameCount, bool withAlpha);

// The sheet's grid for `count` frames of w x h: columns, rows, the gap and
// the cell of frame n (0-based).
struct SheetLayout {
  int columns, rows, gap, width, height, frameWidth, frameHeight;
  int CellX(int n) const { return gap + (n % columns) * (frameWidth + gap); }
  int CellY(int n) const { return gap + (n / columns) * (frameHeight + gap); }
};
SheetLayout LayOutSheet(int count, int frameWidth, int frameHeight);

// Draws `number` in light digits on a dark plate at (x, y), cut at the
// right and bottom limits.
void DrawNumber(Image& image, int x, int y, int number, int right, int bottom);

}  // namespace vx::preview
