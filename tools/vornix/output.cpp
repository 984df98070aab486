#include "output.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <libimagequant.h>
#include <unistd.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>

namespace vx::preview {

namespace fs = std::filesystem;

namespace {

void CheckSize(const Image& frame, int width, int height, const std::string& path) {
  if (frame.width != width || frame.height != height) throw ImageError(path + ": frames of different sizes");
}

// ---------------------------------------------------------------------------
// GIF

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    EGifCloseFile(gif, &error);
  }
};

struct QuantiserFree {
  void operator()(liq_attr* a) const { liq_attr_destroy(a); }
  void operator()(liq_image* i) const { liq_image_destroy(i); }
  void operator()(liq_result* r) const { liq_result_destroy(r); }
};

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
};

// The smallest rectangle holding every pixel that differs; 1 x 1 when none.
Box ChangedBox(const Image& before, const Image& after) {
  int left = after.width, right = -1, top = after.height, bottom = -1;
  const std::size_t rowBytes = static_cast<std::size_t>(after.width) * 4;
  for (int y = 0; y < after.height; ++y) {
    const std::uint8_t* a = before.At(0, y);
    const std::uint8_t* b = after.At(0, y);
    if (std::memcmp(a, b, rowBytes) == 0) continue;
    top = std::min(top, y), bottom = y;
    int x0 = 0, x1 = after.width - 1;
    while (std::memcmp(a + x0 * 4, b + x0 * 4, 4) == 0) ++x0;
    while (std::memcmp(a + x1 * 4, b + x1 * 4, 4) == 0) --x1;
    left = std::min(left, x0), right = std::max(right, x1);
  }
  if (bottom < 0) return {0, 0, 1, 1};
  return {left, top, right - left + 1, bottom - top + 1};
}

class GifWriter : public FrameWriter {
 public:
  GifWriter(const std::string& path, int delay, bool withAlpha)
      : file_(path), delay_(delay), alpha_(withAlpha), attr_(liq_attr_create()) {
    if (!attr_) throw ImageError(path + ": cannot start the GIF quantiser");
    liq_set_max_colors(attr_.get(), 256);
  }

  void Add(const Image& frame) override {
    if (!gif_) Open(frame);
    CheckSize(frame, previous_.width, previous_.height, file_.path());
    // With alpha every frame replaces the last; without, only what changed
    // is written over it.
    const Image* pixels = &frame;
    Box box{0, 0, frame.width, frame.height};
    if (alpha_) {
      pixels = &Threshold(frame);
    } else if (frames_ > 0) {
      box = ChangedBox(previous_, frame);
    }
    rows_.resize(static_cast<std::size_t>(box.height));
    for (int y = 0; y < box.height; ++y)
      rows_[static_cast<std::size_t>(y)] = const_cast<std::uint8_t*>(pixels->At(box.x, box.y + y));
    std::unique_ptr<liq_image, QuantiserFree> image(
        liq_image_create_rgba_rows(attr_.get(), rows_.data(), box.width, box.height, 0));
    liq_result* raw = nullptr;
    if (!image || liq_image_quantize(image.get(), attr_.get(), &raw) != LIQ_OK)
      throw ImageError(file_.path() + ": cannot build a palette for GIF frame " + std::to_string(frames_ + 1));
    std::unique_ptr<liq_result, QuantiserFree> result(raw);
    liq_set_dithering_level(result.get(), 1.0f);
    indices_.resize(static_cast<std::size_t>(box.width) * box.height);
    if (liq_write_remapped_image(result.get(), image.get(), indices_.data(), indices_.size()) != LIQ_OK)
      throw ImageError(file_.path() + ": cannot map GIF frame " + std::to_string(frames_ + 1));

    const liq_palette* palette = liq_get_palette(result.get());
    int size = 2;  // GIF colour tables hold a power of two entries
    while (size < static_cast<int>(palette->count)) size *= 2;
    GifColorType colours[256] = {};
    int transparent = NO_TRANSPARENT_COLOR;
    for (unsigned i = 0; i < palette->count; ++i) {
      colours[i] = {palette->entries[i].r, palette->entries[i].g, palette->entries[i].b};
      if (alpha_ && palette->entries[i].a == 0) transparent = static_cast<int>(i);
    }
    std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> map(GifMakeMapObject(size, colours),
                                                                  GifFreeMapObject);
    if (!map) throw ImageError(file_.path() + ": out of memory building a GIF palette");

    GraphicsControlBlock control{};
    control.DisposalMode = alpha_ ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    control.DelayTime = delay_;
    control.TransparentColor = transparent;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    Check(EGifPutExtension(gif_.get(), GRAPHICS_EXT_FUNC_CODE, 4, extension));
    Check(EGifPutImageDesc(gif_.get(), box.x, box.y, box.width, box.height, false, map.get()));
    for (int y = 0; y < box.height; ++y)
      Check(EGifPutLine(gif_.get(), &indices_[static_cast<std::size_t>(y) * box.width], box.width));
    previous_.rgba.assign(frame.rgba.begin(), frame.rgba.end());
    ++frames_;
  }

  void Finish() override {
    if (!gif_) throw ImageError(file_.path() + ": no frames to write");
    int error = 0;
    if (EGifCloseFile(gif_.release(), &error) == GIF_ERROR)
      throw ImageError(file_.path() + ": cannot write GIF (" + GifErrorString(error) + ")");
    file_.Commit();
  }

  std::vector<std::string> Warnings() const override {
    if (softPixels_ == 0) return {};
    return {"GIF keeps one bit of alpha: " + std::to_string(softPixels_) + " partly transparent pixels (" +
            Percent(softPixels_, pixels_) + " of all) were made clear or opaque; write .webp to keep them"};
  }

 private:
  static std::string Percent(std::int64_t part, std::int64_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return text;
  }

  void Open(const Image& first) {
    previous_ = Image(first.width, first.height);
    // Opened here rather than by name: giflib would create the file readable
    // by its owner only.
    const int fd = ::open(file_.temporary().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) throw ImageError(file_.path() + ": cannot write GIF (" + std::strerror(errno) + ")");
    int error = 0;
    gif_.reset(EGifOpenFileHandle(fd, &error));
    if (!gif_) {
      ::close(fd);
      throw ImageError(file_.path() + ": cannot write GIF (" + GifErrorString(error) + ")");
    }
    EGifSetGifVersion(gif_.get(), true);
    Check(EGifPutScreenDesc(gif_.get(), first.width, first.height, 8, 0, nullptr));
    static const GifByteType kLoopApp[] = "NETSCAPE2.0";
    static const GifByteType kLoopForever[] = {1, 0, 0};
    Check(EGifPutExtensionLeader(gif_.get(), APPLICATION_EXT_FUNC_CODE));
    Check(EGifPutExtensionBlock(gif_.get(), 11, kLoopApp));
    Check(EGifPutExtensionBlock(gif_.get(), 3, kLoopForever));
    Check(EGifPutExtensionTrailer(gif_.get()));
  }

  // Half opacity or more becomes opaque, less becomes clear; counts the
  // soft pixels it cuts.
  const Image& Threshold(const Image& frame) {
    cut_.width = frame.width, cut_.height = frame.height;
    cut_.rgba.assign(frame.rgba.begin(), frame.rgba.end());
    for (std::size_t i = 0; i < cut_.rgba.size(); i += 4) {
      std::uint8_t* p = &cut_.rgba[i];
      if (p[3] != 0 && p[3] != 255) ++softPixels_;
      if (p[3] < 128) p[0] = p[1] = p[2] = p[3] = 0;
      else p[3] = 255;
    }
    pixels_ += static_cast<std::int64_t>(cut_.rgba.size() / 4);
    return cut_;
  }

  void Check(int result) {
    if (result == GIF_ERROR)
      throw ImageError(file_.path() + ": cannot write GIF (" + GifErrorString(gif_->Error) + ")");
  }

  StagedFile file_;
  int delay_;
  bool alpha_;
  std::unique_ptr<liq_attr, QuantiserFree> attr_;
  std::unique_ptr<GifFileType, GifCloser> gif_;
  Image previous_, cut_;
  std::vector<void*> rows_;
  std::vector<std::uint8_t> indices_;
  int frames_ = 0;
  std::int64_t softPixels_ = 0, pixels_ = 0;
};

// ---------------------------------------------------------------------------
// WebP

class WebpWriter : public FrameWriter {
 public:
  WebpWriter(const std::string& path, int delay, bool withAlpha)
      : file_(path), delayMs_(delay * 10), alpha_(withAlpha) {
    if (!WebPConfigInit(&config_) || !WebPConfigLosslessPreset(&config_, 2))
      throw ImageError(path + ": cannot set up the WebP encoder");
  }
  ~WebpWriter() override {
    if (encoder_ != nullptr) WebPAnimEncoderDelete(encoder_);
  }

  void Add(const Image& frame) override {
    if (encoder_ == nullptr) {
      WebPAnimEncoderOptions options;
      if (!WebPAnimEncoderOptionsInit(&options)) throw ImageError(file_.path() + ": cannot start WebP");
      options.anim_params.loop_count = 0;  // for ever
      encoder_ = WebPAnimEncoderNew(frame.width, frame.height, &options);
      if (encoder_ == nullptr) throw ImageError(file_.path() + ": cannot start WebP");
      width_ = frame.width, height_ = frame.height;
    }
    CheckSize(frame, width_, height_, file_.path());
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) throw ImageError(file_.path() + ": cannot start WebP");
    picture.use_argb = 1;
    picture.width = frame.width, picture.height = frame.height;
    const bool imported = alpha_ ? WebPPictureImportRGBA(&picture, frame.rgba.data(), frame.width * 4)
                                 : WebPPictureImportRGBX(&picture, frame.rgba.data(), frame.width * 4);
    const bool added = imported && WebPAnimEncoderAdd(encoder_, &picture, timestamp_, &config_);
    WebPPictureFree(&picture);
    if (!added) throw ImageError(file_.path() + ": cannot encode WebP frame (" + Error() + ")");
    timestamp_ += delayMs_;
  }

  void Finish() override {
    if (encoder_ == nullptr) throw ImageError(file_.path() + ": no frames to write");
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAdd(encoder_, nullptr, timestamp_, nullptr) || !WebPAnimEncoderAssemble(encoder_, &data))
      throw ImageError(file_.path() + ": cannot write WebP (" + Error() + ")");
    std::FILE* out = std::fopen(file_.temporary().c_str(), "wb");
    const bool written = out != nullptr && std::fwrite(data.bytes, 1, data.size, out) == data.size;
    const bool closed = out != nullptr && std::fclose(out) == 0;
    WebPDataClear(&data);
    if (!written || !closed) throw ImageError(file_.path() + ": cannot write WebP (" + std::strerror(errno) + ")");
    file_.Commit();
  }

 private:
  std::string Error() const {
    const char* text = encoder_ != nullptr ? WebPAnimEncoderGetError(encoder_) : nullptr;
    return text != nullptr && *text != '\0' ? text : "encoder failure";
  }

  StagedFile file_;
  int delayMs_;
  bool alpha_;
  WebPConfig config_;
  WebPAnimEncoder* encoder_ = nullptr;
  int width_ = 0, height_ = 0, timestamp_ = 0;
};

// ---------------------------------------------------------------------------
// PNG forms

void CommitPng(StagedFile& file, const Image& image, bool withAlpha) {
  try {
    WritePng(file.temporary(), image, withAlpha);
  } catch (const ImageError& e) {
    throw ImageError(file.Named(e.what()));
  }
  file.Commit();
}

class LastFrameWriter : public FrameWriter {
 public:
  LastFrameWriter(const std::string& path, bool withAlpha) : file_(path), alpha_(withAlpha) {}
  void Add(const Image& frame) override {
    last_.width = frame.width, last_.height = frame.height;
    last_.rgba.assign(frame.rgba.begin(), frame.rgba.end());
  }
  void Finish() override {
    if (last_.rgba.empty()) throw ImageError(file_.path() + ": no frames to write");
    CommitPng(file_, last_, alpha_);
  }

 private:
  StagedFile file_;
  bool alpha_;
  Image last_;
};

class SheetWriter : public FrameWriter {
 public:
  SheetWriter(const std::string& path, int frameCount, bool withAlpha)
      : file_(path), count_(frameCount), alpha_(withAlpha) {}
  void Add(const Image& frame) override {
    if (added_ == 0) {
      layout_ = LayOutSheet(count_, frame.width, frame.height);
      sheet_ = Image(layout_.width, layout_.height);
      for (std::size_t i = 0; i < sheet_.rgba.size(); i += 4) {
        sheet_.rgba[i] = sheet_.rgba[i + 1] = sheet_.rgba[i + 2] = 48;
        sheet_.rgba[i + 3] = 255;
      }
    }
    if (added_ >= count_ || frame.width != layout_.frameWidth || frame.height != layout_.frameHeight)
      throw ImageError(file_.path() + ": frame " + std::to_string(added_ + 1) + " does not fit the sheet");
    const int x0 = layout_.CellX(added_), y0 = layout_.CellY(added_);
    for (int y = 0; y < frame.height; ++y)
      std::memcpy(sheet_.At(x0, y0 + y), frame.At(0, y), static_cast<std::size_t>(frame.width) * 4);
    ++added_;
    DrawNumber(sheet_, x0, y0, added_, x0 + frame.width, y0 + frame.height);
  }
  void Finish() override {
    if (added_ == 0) throw ImageError(file_.path() + ": no frames to write");
    CommitPng(file_, sheet_, alpha_);
  }

 private:
  StagedFile file_;
  int count_;
  bool alpha_;
  int added_ = 0;
  SheetLayout layout_{};
  Image sheet_;
};

class FolderWriter : public FrameWriter {
 public:
  FolderWriter(const std::string& folder, int frameCount, bool withAlpha)
      : base_(Trimmed(folder)),
        parents_(fs::path(base_).parent_path().string()),
        staging_(TemporaryBeside(base_)),
        digits_(std::max<int>(3, static_cast<int>(std::to_string(frameCount).size()))),
        alpha_(withAlpha) {
    std::error_code ec;
    fs::remove_all(staging_, ec);
    if (!fs::create_directory(staging_, ec) || ec)
      throw ImageError(base_ + ": cannot create folder (" + ec.message() + ")");
  }
  ~FolderWriter() override {
    std::error_code ignored;
    fs::remove_all(staging_, ignored);
  }

  void Add(const Image& frame) override {
    const std::string number = std::to_string(names_.size() + 1);
    names_.push_back("frame-" + std::string(static_cast<std::size_t>(std::max<int>(0, digits_ - static_cast<int>(number.size()))), '0') +
                     number + ".png");
    try {
      WritePng(staging_ + "/" + names_.back(), frame, alpha_);
    } catch (const ImageError& e) {
      std::string message = e.what();
      message.replace(0, staging_.size(), base_);  // the message starts with the file's name
      throw ImageError(message);
    }
  }

  void Finish() override {
    // A new folder is renamed into place at once; into an existing one the
    // finished files are moved.
    std::error_code ec;
    if (!fs::exists(base_, ec)) {
      fs::rename(staging_, base_, ec);
      if (!ec) {
        parents_.Keep();
        return;
      }
    } else if (!fs::is_directory(base_, ec)) {
      throw ImageError(base_ + ": exists and is not a folder");
    }
    for (const std::string& name : names_) {
      fs::rename(staging_ + "/" + name, base_ + "/" + name, ec);
      if (ec) throw ImageError(base_ + "/" + name + ": cannot write (" + ec.message() + ")");
    }
    // Frames of an earlier, longer render would pass for part of this one.
    static const std::regex kFrameName(R"(frame-\d+\.png)");
    for (const fs::directory_entry& entry : fs::directory_iterator(base_, ec)) {
      const std::string name = entry.path().filename().string();
      if (std::regex_match(name, kFrameName) && std::find(names_.begin(), names_.end(), name) == names_.end())
        fs::remove(entry.path(), ec);
    }
    parents_.Keep();
  }

 private:
  static std::string Trimmed(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }

  std::string base_;
  MissingFolders parents_;
  std::string staging_;
  int digits_;
  bool alpha_;
  std::vector<std::string> names_;
};

// Digits 0-9 in 3 x 5 cells, one row of bits per byte (bit 2 = left).
constexpr std::uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

}  // namespace

SheetLayout LayOutSheet(int count, int frameWidth, int frameHeight) {
  SheetLayout l{};
  l.gap = 4;
  l.columns = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count)))));
  l.rows = (count + l.columns - 1) / l.columns;
  l.frameWidth = frameWidth, l.frameHeight = frameHeight;
  l.width = l.columns * (frameWidth + l.gap) + l.gap;
  l.height = l.rows * (frameHeight + l.gap) + l.gap;
  return l;
}

void DrawNumber(Image& image, int x, int y, int number, int right, int bottom) {
  const std::string text = std::to_string(number);
  const int scale = 2, pad = 2;
  const int plateWidth = static_cast<int>(text.size()) * 4 * scale - scale + 2 * pad;
  const int plateHeight = 5 * scale + 2 * pad;
  auto put = [&](int px, int py, std::uint8_t v) {
    if (px < x || py < y || px >= right || py >= bottom || px >= image.width || py >= image.height) return;
    std::uint8_t* p = image.At(px, py);
    p[0] = p[1] = p[2] = v;
    p[3] = 255;
  };
  for (int py = 0; py < plateHeight; ++py)
    for (int px = 0; px < plateWidth; ++px) put(x + px, y + py, 24);
  for (std::size_t d = 0; d < text.size(); ++d) {
    const std::uint8_t* glyph = kDigits[text[d] - '0'];
    for (int row = 0; row < 5; ++row)
      for (int col = 0; col < 3; ++col)
        if (glyph[row] & (4 >> col))
          for (int sy = 0; sy < scale; ++sy)
            for (int sx = 0; sx < scale; ++sx)
              put(x + pad + (static_cast<int>(d) * 4 + col) * scale + sx, y + pad + row * scale + sy, 240);
  }
}

std::unique_ptr<FrameWriter> OpenGif(const std::string& path, int delayCentiseconds, bool withAlpha) {
  return std::make_unique<GifWriter>(path, delayCentiseconds, withAlpha);
}
std::unique_ptr<FrameWriter> OpenWebp(const std::string& path, int delayCentiseconds, bool withAlpha) {
  return std::make_unique<WebpWriter>(path, delayCentiseconds, withAlpha);
}
std::unique_ptr<FrameWriter> OpenLastFrame(const std::string& path, bool withAlpha) {
  return std::make_unique<LastFrameWriter>(path, withAlpha);
}
std::unique_ptr<FrameWriter> OpenContactSheet(const std::string& path, int frameCount, bool withAlpha) {
  return std::make_unique<SheetWriter>(path, frameCount, withAlpha);
}
std::unique_ptr<FrameWriter> OpenFolder(const std::string& folder, int frameCount, bool withAlpha) {
  return std::make_unique<FolderWriter>(folder, frameCount, withAlpha);
}

}  // namespace vx::preview
