#include "mosaic_support.h"

#include <algorithm>
#include <cstring>

namespace vx::mosaic_test {
namespace {

using glissade::ReferenceColour;

std::int32_t FloorMod(std::int64_t x, std::int64_t m) {
  const std::int64_t r = x % m;
  return static_cast<std::int32_t>(r < 0 ? r + m : r);
}

std::uint8_t Widen5(std::uint32_t v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); }

std::uint16_t Pack5(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return static_cast<std::uint16_t>((r << 10) | (g << 5) | b);
}

// A sample pixel read in its own format: 8-bit colour, palette index (when
// the format has one) and five-bit colour.
struct SampleColour {
  std::uint8_t r8, g8, b8;
  std::uint8_t r5, g5, b5;
  std::uint16_t pixel;    // the 16-bit pixel of a 5-5-5 image, as stored
  int index = -1;         // palette index carried by the pixel, -1 if none
  bool packed = false;    // 8- or 16-bit image with one or two bytes a pixel
};

SampleColour Read(const Image& source, std::int32_t x, std::int32_t y,
                  const glissade::PaletteTable* palette) {
  const std::uint8_t* p = source.Pixel(x, y);
  SampleColour s{};
  switch (source.Kind()) {
    case ImageKind::kIndexed8: {
      const glissade::Colour c = palette->ColourOf(p[0]);
      s = {c.r, c.g, c.b, static_cast<std::uint8_t>(c.r >> 3), static_cast<std::uint8_t>(c.g >> 3),
           static_cast<std::uint8_t>(c.b >> 3), 0, p[0], true};
      s.pixel = Pack5(s.r5, s.g5, s.b5);
      return s;
    }
    case ImageKind::kRgb555: {
      std::uint16_t v;
      std::memcpy(&v, p, 2);
      const std::uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
      s = {Widen5(r), Widen5(g), Widen5(b), static_cast<std::uint8_t>(r),
           static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b), v, -1, true};
      return s;
    }
    case ImageKind::kExpanded16:
      s = {Widen5(p[2]), Widen5(p[1]), Widen5(p[0]), p[2], p[1], p[0], 0, -1,
           false};
      s.pixel = Pack5(p[2], p[1], p[0]);
      return s;
    default:
      s = {p[2], p[1], p[0], static_cast<std::uint8_t>(p[2] >> 3),
           static_cast<std::uint8_t>(p[1] >> 3), static_cast<std::uint8_t>(p[0] >> 3), 0, -1,
           false};
      s.pixel = Pack5(s.r5, s.g5, s.b5);
      if (source.Kind() == ImageKind::kExpanded8 && source.BytesPerPixel() == 4) s.index = p[3];
      return s;
  }
}

}  // namespace

ReferenceColour TileColourOf(const Image& source, std::int32_t column, std::int32_t row,
                             ImageKind destination, const glissade::PaletteTable* palette) {
  const SampleColour s = Read(source, column, row, palette);
  ReferenceColour c{};
  switch (destination) {
    case ImageKind::kIndexed8: {
      // The index the sample carries, or the palette's nearest; a packed
      // sample blends as the palette colour of that index.
      const int index = s.index >= 0 ? s.index : palette->InverseOf(s.r8, s.g8, s.b8);
      c.index = static_cast<std::uint8_t>(index);
      if (s.packed) {
        const glissade::Colour p = palette->ColourOf(c.index);
        c.r = p.r, c.g = p.g, c.b = p.b;
      } else {
        c.r = s.r8, c.g = s.g8, c.b = s.b8;
      }
      return c;
    }
    case ImageKind::kRgb555:
      c.pixel = s.pixel;
      return c;
    case ImageKind::kExpanded16:
      c.r = s.r5, c.g = s.g5, c.b = s.b5;
      return c;
    default:
      c.r = s.r8, c.g = s.g8, c.b = s.b8;
      return c;
  }
}

std::unique_ptr<Image> ExpectedPicture(const RenderCall& call, const TileSetting& tiles,
                                       AreaRect* updateOut) {
  auto expected = CopyOf(*call.destination);
  *updateOut = Rect(0, 0, 0, 0);
  const AreaRect d = call.destination->view().bounds;
  const AreaRect mb = call.mask->view().bounds;
  const AreaRect sb = call.source->view().bounds;
  const std::int32_t mw = mb.right - mb.left, mh = mb.bottom - mb.top;
  const std::int32_t sw = sb.right - sb.left, sh = sb.bottom - sb.top;
  const std::int32_t dw = d.right - d.left, dh = d.bottom - d.top;
  // The mask's bounds moved by the offset that centres a mask at the origin
  // on the destination; the source centred on where the mask lands.
  const std::int32_t maskLeft = mb.left + d.left + dw / 2 - mw / 2;
  const std::int32_t maskTop = mb.top + d.top + dh / 2 - mh / 2;
  const std::int32_t srcLeft = maskLeft + mw / 2 - sw / 2, srcTop = maskTop + mh / 2 - sh / 2;

  std::int32_t l = call.update.left, t = call.update.top, r = call.update.right,
               b = call.update.bottom;
  if (call.align) {
    // Whole tiles of the grid through the mask's centre, inside the clip.
    const AreaRect& clip = call.destination->view().clip;
    const std::int64_t cx = maskLeft + mw / 2, cy = maskTop + mh / 2;
    const std::int64_t al = clip.left + FloorMod(cx - clip.left, tiles.width);
    const std::int64_t at = clip.top + FloorMod(cy - clip.top, tiles.height);
    const std::int64_t ar = clip.right - FloorMod(clip.right - cx, tiles.width);
    const std::int64_t ab = clip.bottom - FloorMod(clip.bottom - cy, tiles.height);
    if (ar <= al || ab <= at) return expected;
    l = std::max<std::int32_t>(l, static_cast<std::int32_t>(al));
    t = std::max<std::int32_t>(t, static_cast<std::int32_t>(at));
    r = std::min<std::int32_t>(r, static_cast<std::int32_t>(ar));
    b = std::min<std::int32_t>(b, static_cast<std::int32_t>(ab));
  }
  l = std::max({l, d.left, maskLeft});
  t = std::max({t, d.top, maskTop});
  r = std::min({r, d.right, maskLeft + mw});
  b = std::min({b, d.bottom, maskTop + mh});
  if (r <= l || b <= t) return expected;
  // The source must cover what is drawn.
  if (l < srcLeft || t < srcTop || r > srcLeft + sw || b > srcTop + sh) return expected;
  const bool wholeMask = l == maskLeft && t == maskTop && r == maskLeft + mw && b == maskTop + mh;
  const bool runPath = !call.hardMask && call.runs && wholeMask;
  // The hard-mask path writes colour bytes: only expanded destinations take them.
  if (call.hardMask && !IsExpandedKind(call.destination->Kind())) return expected;
  *updateOut = Rect(l, t, r, b);

  glissade::ReferenceJob job;
  job.destination = expected.get();
  job.update = *updateOut;
  job.mask = call.mask;
  job.maskLeft = l - maskLeft + mb.left;
  job.maskTop = t - maskTop + mb.top;
  job.path = call.hardMask ? glissade::ReferencePath::kHardMask
             : runPath     ? glissade::ReferencePath::kRun
                           : glissade::ReferencePath::kThreshold;
  job.blend = std::clamp(call.blend, 0, 255);
  job.upper = call.upper;
  job.lower = call.lower;
  job.runs = runPath ? call.runs->data() : nullptr;
  job.palette = call.palette;
  const ImageKind kind = call.destination->Kind();
  job.colour = [&, kind](std::int32_t x, std::int32_t y) {
    // Source-image coordinates, tile starts on the grid through the
    // source's centre; cut tiles at the left and top edges sample column
    // and row 0, the others their start plus the offset, within the image.
    const std::int32_t c = l + x - srcLeft, row = t + y - srcTop;
    const std::int64_t tileColumn = c - FloorMod(c - sw / 2, tiles.width);
    const std::int64_t tileRow = row - FloorMod(row - sh / 2, tiles.height);
    const std::int64_t sc =
        tileColumn < 0 ? 0 : std::min<std::int64_t>(tileColumn + tiles.column, sw - 1);
    const std::int64_t sr = tileRow < 0 ? 0 : std::min<std::int64_t>(tileRow + tiles.row, sh - 1);
    return TileColourOf(*call.source, sb.left + static_cast<std::int32_t>(sc),
                        sb.top + static_cast<std::int32_t>(sr), kind, call.palette);
  };
  glissade::ReferenceComposite(job);
  return expected;
}

std::unique_ptr<Image> PositionSource(std::int32_t width, std::int32_t height) {
  auto image = std::make_unique<Image>(ImageKind::kRgb32, 0, 0, width, height);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* p = image->Pixel(x, y);
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = 200;
      p[3] = 0;
    }
  return image;
}

std::unique_ptr<Image> OpaqueMask(std::int32_t width, std::int32_t height) {
  auto mask = std::make_unique<Image>(ImageKind::kIndexed8, 0, 0, width, height);
  mask->Fill(255);
  return mask;
}

}  // namespace vx::mosaic_test
