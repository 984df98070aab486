// RGBA images in memory and the files the previewer reads and writes.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vx::preview {

// Top row first, four bytes per pixel: red, green, blue, alpha.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;

  Image() = default;
  Image(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w) * h * 4, 0) {}
  std::uint8_t* At(int x, int y) { return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4; }
  const std::uint8_t* At(int x, int y) const {
    return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
  }
};

// A file that cannot be read or written; the message names the file.
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest side an input image may have.
inline constexpr int kMaxImageSide = 8192;

Image ReadPng(const std::string& path);
void WritePng(const std::string& path, const Image& image, bool withAlpha);

// An endlessly looping animation with one global palette made by median cut
// over all frames; with alpha, pixels below half opacity become transparent.
void WriteGif(const std::string& path, const std::vector<Image>& frames, int delayCentiseconds,
              bool withAlpha);

// All frames in a grid, left to right and top to bottom, on a dark backdrop.
Image MakeContactSheet(const std::vector<Image>& frames);

// Creates a folder and the missing folders above it, and removes what it
// created again unless kept: a failed write leaves no new folders behind.
class MissingFolders {
 public:
  explicit MissingFolders(const std::string& folder);
  ~MissingFolders();
  MissingFolders(const MissingFolders&) = delete;
  MissingFolders& operator=(const MissingFolders&) = delete;
  void Keep() { created_.clear(); }

 private:
  std::string created_;  // the topmost folder made here
};

// Writes through a temporary file beside `path` and renames it over `path`
// only when `write` returns normally, so a failure leaves `path` untouched.
// Missing folders above `path` are created; errors name `path`.
void WriteAtomically(const std::string& path, const std::function<void(const std::string&)>& write);

// Writes the frames as numbered PNGs (frame-001.png, ...) into `folder`,
// which is created; files appear in it only after all were written, and
// numbered frames of an earlier render beyond these are removed.
void WritePngFolder(const std::string& folder, const std::vector<Image>& frames, bool withAlpha);

}  // namespace vx::preview
