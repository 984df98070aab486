#include "image.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>
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

namespace {

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    EGifCloseFile(gif, &error);
  }
};

void CheckGif(int result, GifFileType* gif, const std::string& path) {
  if (result == GIF_ERROR)
    throw ImageError(path + ": cannot write GIF (" + GifErrorString(gif->Error) + ")");
}

}  // namespace

void WriteGif(const std::string& path, const std::vector<Image>& frames, int delayCentiseconds,
              bool withAlpha) {
  if (frames.empty()) throw ImageError(path + ": no frames to write");
  const int width = frames[0].width, height = frames[0].height;
  const std::size_t framePixels = static_cast<std::size_t>(width) * height;
  const std::size_t total = framePixels * frames.size();

  // One palette for the whole animation keeps colours steady between frames.
  std::vector<GifByteType> red(total), green(total), blue(total), indices(total);
  for (std::size_t f = 0; f < frames.size(); ++f)
    for (std::size_t i = 0; i < framePixels; ++i) {
      const std::uint8_t* p = &frames[f].rgba[i * 4];
      red[f * framePixels + i] = p[0];
      green[f * framePixels + i] = p[1];
      blue[f * framePixels + i] = p[2];
    }
  const int transparent = 255;
  int colours = withAlpha ? 255 : 256;
  std::vector<GifColorType> quantized(256);
  if (GifQuantizeBuffer(static_cast<unsigned>(width), static_cast<unsigned>(total / width),
                        &colours, red.data(), green.data(), blue.data(), indices.data(),
                        quantized.data()) == GIF_ERROR)
    throw ImageError(path + ": cannot build a palette for the GIF");
  // The cut works on 5-bit cells; the true mean of each entry's pixels gives
  // back the lost precision (flat colours come out exact).
  std::vector<std::uint64_t> sums(256 * 4, 0);
  for (std::size_t i = 0; i < total; ++i) {
    std::uint64_t* sum = &sums[indices[i] * 4];
    sum[0] += red[i], sum[1] += green[i], sum[2] += blue[i], sum[3] += 1;
  }
  for (int c = 0; c < colours; ++c) {
    const std::uint64_t* sum = &sums[c * 4];
    if (sum[3] == 0) continue;
    quantized[c].Red = static_cast<GifByteType>((sum[0] + sum[3] / 2) / sum[3]);
    quantized[c].Green = static_cast<GifByteType>((sum[1] + sum[3] / 2) / sum[3]);
    quantized[c].Blue = static_cast<GifByteType>((sum[2] + sum[3] / 2) / sum[3]);
  }
  std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> map(
      GifMakeMapObject(256, quantized.data()), GifFreeMapObject);
  if (!map) throw ImageError(path + ": out of memory building the GIF palette");
  if (withAlpha) {
    for (std::size_t f = 0; f < frames.size(); ++f)
      for (std::size_t i = 0; i < framePixels; ++i)
        if (frames[f].rgba[i * 4 + 3] < 128) indices[f * framePixels + i] = transparent;
  }

  // Opened here rather than by name: giflib would create the file readable
  // by its owner only.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) throw ImageError(path + ": cannot write GIF (" + std::strerror(errno) + ")");
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(EGifOpenFileHandle(fd, &error));
  if (!gif) {
    ::close(fd);
    throw ImageError(path + ": cannot write GIF (" + GifErrorString(error) + ")");
  }
  EGifSetGifVersion(gif.get(), true);
  CheckGif(EGifPutScreenDesc(gif.get(), width, height, 8, 0, map.get()), gif.get(), path);

  static const GifByteType kLoopApp[] = "NETSCAPE2.0";
  static const GifByteType kLoopForever[] = {1, 0, 0};
  CheckGif(EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE), gif.get(), path);
  CheckGif(EGifPutExtensionBlock(gif.get(), 11, kLoopApp), gif.get(), path);
  CheckGif(EGifPutExtensionBlock(gif.get(), 3, kLoopForever), gif.get(), path);
  CheckGif(EGifPutExtensionTrailer(gif.get()), gif.get(), path);

  GraphicsControlBlock control{};
  control.DisposalMode = withAlpha ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT;
  control.UserInputFlag = false;
  control.DelayTime = delayCentiseconds;
  control.TransparentColor = withAlpha ? transparent : NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);

  for (std::size_t f = 0; f < frames.size(); ++f) {
    CheckGif(EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, 4, extension), gif.get(), path);
    CheckGif(EGifPutImageDesc(gif.get(), 0, 0, width, height, false, nullptr), gif.get(), path);
    for (int y = 0; y < height; ++y)
      CheckGif(EGifPutLine(gif.get(), &indices[f * framePixels + static_cast<std::size_t>(y) * width],
                           width),
               gif.get(), path);
  }
  GifFileType* raw = gif.release();
  if (EGifCloseFile(raw, &error) == GIF_ERROR)
    throw ImageError(path + ": cannot write GIF (" + GifErrorString(error) + ")");
}

Image MakeContactSheet(const std::vector<Image>& frames) {
  if (frames.empty()) return Image();
  const int gap = 4;
  const int count = static_cast<int>(frames.size());
  const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
  const int rows = (count + columns - 1) / columns;
  const int w = frames[0].width, h = frames[0].height;
  Image sheet(columns * (w + gap) + gap, rows * (h + gap) + gap);
  for (std::size_t i = 0; i < sheet.rgba.size(); i += 4) {
    sheet.rgba[i] = sheet.rgba[i + 1] = sheet.rgba[i + 2] = 48;
    sheet.rgba[i + 3] = 255;
  }
  for (int n = 0; n < count; ++n) {
    const int x0 = gap + (n % columns) * (w + gap), y0 = gap + (n / columns) * (h + gap);
    for (int y = 0; y < h; ++y)
      std::memcpy(sheet.At(x0, y0 + y), frames[n].At(0, y), static_cast<std::size_t>(w) * 4);
  }
  return sheet;
}

namespace {

std::string TemporaryBeside(const std::string& path) {
  return path + ".tmp-" + std::to_string(::getpid());
}

}  // namespace

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

void WriteAtomically(const std::string& path, const std::function<void(const std::string&)>& write) {
  MissingFolders parents(fs::path(path).parent_path().string());
  const std::string temporary = TemporaryBeside(path);
  try {
    write(temporary);
  } catch (const ImageError& e) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    // Messages name the file the author asked for, not the temporary one.
    std::string message = e.what();
    for (std::size_t at; (at = message.find(temporary)) != std::string::npos;)
      message.replace(at, temporary.size(), path);
    throw ImageError(message);
  } catch (...) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw;
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) {
    fs::remove(temporary, ec);
    throw ImageError(path + ": cannot write (" + ec.message() + ")");
  }
  parents.Keep();
}

void WritePngFolder(const std::string& folder, const std::vector<Image>& frames, bool withAlpha) {
  std::string base = folder;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  MissingFolders parents(fs::path(base).parent_path().string());
  const std::string staging = TemporaryBeside(base);
  std::error_code ec;
  fs::remove_all(staging, ec);
  if (!fs::create_directory(staging, ec) || ec)
    throw ImageError(base + ": cannot create folder (" + ec.message() + ")");

  const int digits = std::max<int>(3, static_cast<int>(std::to_string(frames.size()).size()));
  std::vector<std::string> names;
  try {
    for (std::size_t i = 0; i < frames.size(); ++i) {
      std::string number = std::to_string(i + 1);
      names.push_back("frame-" + std::string(digits - number.size(), '0') + number + ".png");
      WritePng(staging + "/" + names.back(), frames[i], withAlpha);
    }
  } catch (...) {
    fs::remove_all(staging, ec);
    throw;
  }

  // A new folder is renamed into place at once; into an existing one the
  // finished files are moved.
  if (!fs::exists(base, ec)) {
    fs::rename(staging, base, ec);
    if (!ec) {
      parents.Keep();
      return;
    }
  } else if (!fs::is_directory(base, ec)) {
    fs::remove_all(staging, ec);
    throw ImageError(base + ": exists and is not a folder");
  }
  for (const std::string& name : names) {
    fs::rename(staging + "/" + name, base + "/" + name, ec);
    if (ec) {
      std::error_code ignored;
      fs::remove_all(staging, ignored);
      throw ImageError(base + "/" + name + ": cannot write (" + ec.message() + ")");
    }
  }
  fs::remove_all(staging, ec);
  // Frames of an earlier, longer render would pass for part of this one.
  static const std::regex kFrameName(R"(frame-\d+\.png)");
  for (const fs::directory_entry& entry : fs::directory_iterator(base, ec)) {
    const std::string name = entry.path().filename().string();
    if (std::regex_match(name, kFrameName) && std::find(names.begin(), names.end(), name) == names.end())
      fs::remove(entry.path(), ec);
  }
  parents.Keep();
}

}  // namespace vx::preview
