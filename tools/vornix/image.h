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

// "PATH.tmp-PID": the name a file or folder is staged under beside PATH.
std::string TemporaryBeside(const std::string& path);

// A file written under a temporary name beside `path` and renamed over it
// by Commit; dropped uncommitted, it leaves nothing, not even the folders
// it created above `path`.
class StagedFile {
 public:
  explicit StagedFile(const std::string& path);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  const std::string& temporary() const { return temporary_; }
  const std::string& path() const { return path_; }
  void Commit();
  // `message` naming the target where it named the temporary file.
  std::string Named(std::string message) const;

 private:
  MissingFolders parents_;
  std::string path_, temporary_;
  bool committed_ = false;
};

// Writes through a temporary file beside `path` and renames it over `path`
// only when `write` returns normally, so a failure leaves `path` untouched.
// Missing folders above `path` are created; errors name `path`.
void WriteAtomically(const std::string& path, const std::function<void(const std::string&)>& write);

}  // namespace vx::preview
