#include "image.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace vx::preview {

namespace fs = std::filesystem;

Image ReadPng(const std::string& path) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str()))
    throw ImageError(path + ": not a readable PNG image (" + png.message + ")");
  if (png.width == 0 || png.height == 0 || png.width > kMaxImageSide ||
      png.height > kMaxImageSide) {
    png_image_free(&png);
    throw ImageError(path + ": image of " + std::to_string(png.width) + "x" +
                     std::to_string(png.height) + " pixels is not supported (1 to " +
                     std::to_string(kMaxImageSide) + " per side)");
  }
  png.format = PNG_FORMAT_RGBA;
  Image image(static_cast<int>(png.width), static_cast<int>(png.height));
  if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) {
    std::string message = png.message;
    png_image_free(&png);
    throw ImageError(path + ": damaged PNG image (" + message + ")");
  }
  return image;
}

void WritePng(const std::string& path, const Image& image, bool withAlpha) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = withAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb;
  const void* pixels = image.rgba.data();
  if (!withAlpha) {
    rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    for (std::size_t i = 0, n = rgb.size() / 3; i < n; ++i)
      std::memcpy(&rgb[i * 3], &image.rgba[i * 4], 3);
    pixels = rgb.data();
  }
  if (!png_image_write_to_file(&png, path.c_str(), 0, pixels, 0, nullptr))
    throw ImageError(path + ": cannot write PNG (" + png.message + ")");
}

std::string TemporaryBeside(const std::string& path) { return path + ".tmp-" + std::to_string(::getpid()); }

MissingFolders::MissingFolders(const std::string& folder) {
  std::error_code ec;
  fs::path missing;
  for (fs::path p = fs::path(folder).lexically_normal(); !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    missing = p;
    if (p == p.parent_path()) break;
  }
  if (missing.empty()) return;
  fs::create_directories(folder, ec);
  if (ec) {
    const std::string reason = ec.message();
    fs::remove_all(missing, ec);
    throw ImageError(folder + ": cannot create folder (" + reason + ")");
  }
  created_ = missing.string();
}

MissingFolders::~MissingFolders() {
  std::error_code ignored;
  if (!created_.empty()) fs::remove_all(created_, ignored);
}

StagedFile::StagedFile(const std::string& path)
    : parents_(fs::path(path).parent_path().string()), path_(path), temporary_(TemporaryBeside(path)) {}

StagedFile::~StagedFile() {
  std::error_code ignored;
  if (!committed_) fs::remove(temporary_, ignored);
}

void StagedFile::Commit() {
  std::error_code ec;
  fs::rename(temporary_, path_, ec);
  if (ec) throw ImageError(path_ + ": cannot write (" + ec.message() + ")");
  committed_ = true;
  parents_.Keep();
}

std::string StagedFile::Named(std::string message) const {
  for (std::size_t at; (at = message.find(temporary_)) != std::string::npos;)
    message.replace(at, temporary_.size(), path_);
  return message;
}

void WriteAtomically(const std::string& path, const std::function<void(const std::string&)>& write) {
  StagedFile file(path);
  try {
    write(file.temporary());
  } catch (const ImageError& e) {
    // Messages name the file the author asked for, not the temporary one.
    throw ImageError(file.Named(e.what()));
  }
  file.Commit();
}

}  // namespace vx::preview
