#include "scene.h"

#include <algorithm>

#include "host/glissade/masks.h"

namespace vx::check {

using glissade::Image;
using glissade::ImageKind;

const std::vector<Format> kFormats = {
    {ImageKind::kIndexed8, 1, "8-bit"},          {ImageKind::kRgb555, 2, "16-bit"},
    {ImageKind::kRgb24, 3, "24-bit"},            {ImageKind::kRgb32, 4, "32-bit"},
    {ImageKind::kExpanded8, 3, "8-bit expanded to 3 bytes"}, {ImageKind::kExpanded8, 4, "8-bit expanded to 4 bytes"},
    {ImageKind::kExpanded16, 3, "16-bit expanded to 3 bytes"}, {ImageKind::kExpanded16, 4, "16-bit expanded to 4 bytes"},
};

AreaRect MakeRect(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom) {
  AreaRect r{};
  r.left = static_cast<std::int32_t>(left), r.top = static_cast<std::int32_t>(top);
  r.right = static_cast<std::int32_t>(right), r.bottom = static_cast<std::int32_t>(bottom);
  const std::int64_t width = std::max<std::int64_t>(right - left, 0), height = std::max<std::int64_t>(bottom - top, 0);
  // Host rectangles can be absurd; their cached measures wrap as the host's would.
  r.width = static_cast<std::int32_t>(static_cast<std::uint32_t>(width));
  r.height = static_cast<std::int32_t>(static_cast<std::uint32_t>(height));
  r.area = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height)));
  r.originX = r.left, r.originY = r.top;
  return r;
}

std::string RectText(const AreaRect& r) {
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
         std::to_string(r.bottom) + ")";
}

namespace {

// Glissade's pixels are always valid for their kind: expanded 16-bit
// channels hold 5 bits.
void FillValid(Image& image, std::mt19937& rng) {
  image.FillRandom(rng);
  if (image.Kind() != ImageKind::kExpanded16) return;
  for (std::int32_t y = image.view().bounds.top; y < image.view().bounds.bottom; ++y)
    for (std::int32_t x = image.view().bounds.left; x < image.view().bounds.right; ++x)
      for (int c = 0; c < 3; ++c) image.Pixel(x, y)[c] &= 31;
}

// The pixel size of the expanded kinds (the others have their own).
std::int32_t ExpandedBytes(const Format& f) { return f.bytes >= 3 ? f.bytes : 4; }

}  // namespace

Scene::Scene(const Format& destination, const Format& source, host::Host& host, std::uint32_t seed)
    : dst(destination.kind, -6, 4, 31, 33, ExpandedBytes(destination)),
      dstAlpha(ImageKind::kIndexed8, -6, 4, 31, 33),
      src(source.kind, 0, 0, 21, 15, ExpandedBytes(source)),
      mask(ImageKind::kIndexed8, 0, 0, 21, 15),
      palette([]() -> glissade::PaletteTable& {
        static std::mt19937 rng(42);
        static glissade::PaletteTable shared = glissade::PaletteTable::Random(rng);
        return shared;
      }()) {
  std::mt19937 rng(seed + 1);
  FillValid(dst, rng);
  dstAlpha.FillRandom(rng);
  FillValid(src, rng);
  // A mask with transparent, opaque and partial stretches.
  std::uniform_int_distribution<int> pick(0, 5);
  for (std::int32_t y = 0; y < 15; ++y)
    for (std::int32_t x = 0; x < 21; ++x) {
      const int p = pick(rng);
      mask.Pixel(x, y)[0] = static_cast<std::uint8_t>(p < 2 ? 0 : p < 4 ? 255 : 1 + rng() % 254);
    }
  runs = glissade::MakeMaskRuns(mask);
  thresholds = glissade::MakeThresholdRecord(200, 40);
  thresholds.words[kThresholdAllocatorWord] = reinterpret_cast<Word>(host.allocator().Interface());
  thresholds.words[kThresholdOutRectWord] = reinterpret_cast<Word>(&drawn);
  thresholds.words[kThresholdOutRect2Word] = reinterpret_cast<Word>(&drawn2);
  spriteRect = MakeRect(2, 11, 23, 26);
  sprite.words[kSpriteRectWord] = reinterpret_cast<Word>(&spriteRect);
}

void Scene::Snapshot() {
  dstBefore_ = dst.Memory();
  alphaBefore_ = dstAlpha.Memory();
  srcBefore_ = src.Memory();
  maskBefore_ = mask.Memory();
  runsBefore_ = runs;
  inverseBefore_ = palette.Inverse();
}

std::string WritesOutside(const Image& image, const std::vector<std::uint8_t>& before, const AreaRect& allowed,
                          const std::string& name) {
  const std::vector<std::uint8_t> after = image.Memory();
  if (after.size() != before.size()) return "changed size";
  const AreaRect& b = image.view().bounds;
  const std::int32_t bpp = image.BytesPerPixel();
  const std::int32_t rowLength = image.RowLength();
  for (std::size_t i = 0; i < after.size(); ++i) {
    if (after[i] == before[i]) continue;
    // Memory runs bottom row first.
    const std::int32_t y = b.bottom - 1 - static_cast<std::int32_t>(i / static_cast<std::size_t>(rowLength));
    const std::int32_t column = static_cast<std::int32_t>(i % static_cast<std::size_t>(rowLength));
    if (column >= (b.right - b.left) * bpp)
      return "wrote into the padding of the " + name + "'s row " + std::to_string(y) + " (byte " + std::to_string(column) + " of " +
             std::to_string(rowLength) + ")";
    const std::int32_t x = b.left + column / bpp;
    if (x >= allowed.left && x < allowed.right && y >= allowed.top && y < allowed.bottom) continue;
    return "wrote " + name + " pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") outside the update " + RectText(allowed);
  }
  return {};
}

std::vector<std::string> Scene::Faults(const AreaRect& given, bool mayDraw, bool alphaMayChange) const {
  std::vector<std::string> faults;
  const AreaRect& b = dst.view().bounds;
  AreaRect allowed = MakeRect(std::max(given.left, b.left), std::max(given.top, b.top),
                              std::min(given.right, b.right), std::min(given.bottom, b.bottom));
  if (!mayDraw) allowed = MakeRect(0, 0, 0, 0);
  auto add = [&](const std::string& what) {
    if (!what.empty()) faults.push_back(what);
  };
  if (!dst.GuardsIntact()) add("wrote past the destination's pixel memory");
  if (!dstAlpha.GuardsIntact()) add("wrote past the alpha plane's pixel memory");
  if (!src.GuardsIntact() || src.Memory() != srcBefore_) add("wrote into the source");
  if (!mask.GuardsIntact() || mask.Memory() != maskBefore_) add("wrote into the mask");
  if (runs != runsBefore_) add("wrote into the mask runs");
  if (palette.Inverse() != inverseBefore_) add("wrote into the palette's inverse table");
  add(WritesOutside(dst, dstBefore_, allowed, "destination"));
  // The alpha plane of RenderWithAlpha may be cleared whole; only its
  // guards bound it then.
  if (!alphaMayChange) add(WritesOutside(dstAlpha, alphaBefore_, MakeRect(0, 0, 0, 0), "alpha plane"));
  return faults;
}

}  // namespace vx::check
