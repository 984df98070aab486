#include "host/glissade/sampled_reference.h"

#include <cstring>

namespace vx::glissade {
namespace {

// Blue, green, red as the source holds them: bytes of an expanded pixel,
// the 5-bit fields of a 5-5-5 word, or the palette colour of an index.
struct Triple {
  int b, g, r;
};

struct Sampled {
  int mask = 0;  // 0 when any tap is outside
  Triple colour{};
};

// Whether `span` bytes of pixel (column, row) lie in the image's memory
// (rows bottom-up, each row length bytes long); its offset in `at`.
bool Inside(const Image& image, std::int64_t column, std::int64_t row, std::int64_t span,
            std::int64_t* at) {
  const std::int64_t rows = image.Height();
  const std::int64_t offset = (rows - 1 - row) * image.RowLength() + column * image.BytesPerPixel();
  *at = offset;
  return offset >= 0 && offset + span <= rows * image.RowLength();
}

const std::uint8_t* Memory(const Image& image) { return image.view().base; }

std::int64_t SpanOf(const Image& source) {
  return source.BytesPerPixel() >= 3 ? 3 : source.BytesPerPixel();
}

Triple ReadColour(const SampledReferenceJob& job, std::int64_t at) {
  const std::uint8_t* p = Memory(*job.source) + at;
  if (job.source->BytesPerPixel() >= 3) return {p[0], p[1], p[2]};
  if (job.source->BytesPerPixel() == 2) {
    const int v = p[0] | (p[1] << 8);
    return {v & 31, (v >> 5) & 31, (v >> 10) & 31};
  }
  const Colour c = job.palette->ColourOf(p[0]);
  return {c.b, c.g, c.r};
}

int ReadMask(const SampledReferenceJob& job, std::int64_t at) { return Memory(*job.mask)[at]; }

Sampled Sample(const SampledReferenceJob& job, SourcePosition pos) {
  const std::int64_t ix = pos.x >> 8, iy = pos.y >> 8;  // floor: arithmetic shift
  const int fx = pos.x - static_cast<int>(ix << 8), fy = pos.y - static_cast<int>(iy << 8);
  const std::int64_t maskWidth = job.mask->Width();
  const std::int64_t span = SpanOf(*job.source);
  Sampled out;
  std::int64_t m = 0, c = 0;
  const std::int64_t maskRows = job.mask->Height();
  if (job.sampling == SampledMask::kNearest) {
    if (ix < 0 || ix >= maskWidth || iy < 0 || iy >= maskRows) return out;
    if (!Inside(*job.mask, ix, iy, 1, &m) || !Inside(*job.source, ix, iy, span, &c)) return out;
    out.mask = ReadMask(job, m);
    out.colour = ReadColour(job, c);
    return out;
  }
  // Bilinear weights: right, below, below-right, and the pixel itself.
  const int w11 = (fx * fy) >> 8;
  const int w10 = fx - w11;
  const int w01 = fy - w11;
  const int w00 = 256 - w10 - fy;
  const std::int64_t dx[4] = {0, 1, 0, 1}, dy[4] = {0, 0, 1, 1};
  const int w[4] = {w00, w10, w01, w11};
  int maskSum = 0, b = 0, g = 0, r = 0;
  if (job.sampling == SampledMask::kFading) {
    // A tap inside the sprite gives its mask byte and colour; one outside
    // gives mask 0 and the colour of the sprite pixel nearest to it. With
    // no tap in the sprite the sample is transparent black, as far away.
    if (ix < -1 || ix >= maskWidth || iy < -1 || iy >= maskRows) return out;
    for (int k = 0; k < 4; ++k) {
      const std::int64_t tx = ix + dx[k], ty = iy + dy[k];
      const bool in = tx >= 0 && tx < maskWidth && ty >= 0 && ty < maskRows;
      if (in && Inside(*job.mask, tx, ty, 1, &m)) maskSum += ReadMask(job, m) * w[k];
      const std::int64_t cx = tx < 0 ? 0 : tx >= maskWidth ? maskWidth - 1 : tx;
      const std::int64_t cy = ty < 0 ? 0 : ty >= maskRows ? maskRows - 1 : ty;
      if (!Inside(*job.source, cx, cy, span, &c)) return out;
      const Triple t = ReadColour(job, c);
      b += t.b * w[k];
      g += t.g * w[k];
      r += t.r * w[k];
    }
    out.mask = maskSum >> 8;
    out.colour = {b >> 8, g >> 8, r >> 8};
    return out;
  }
  if (ix < 0 || ix >= maskWidth || iy < 0 || iy >= maskRows) return out;
  for (int k = 0; k < 4; ++k) {
    if (!Inside(*job.source, ix + dx[k], iy + dy[k], span, &c)) return out;
    const Triple t = ReadColour(job, c);
    b += t.b * w[k];
    g += t.g * w[k];
    r += t.r * w[k];
  }
  if (!Inside(*job.mask, ix, iy, 1, &m)) return out;
  out.mask = ReadMask(job, m);
  out.colour = {b >> 8, g >> 8, r >> 8};
  return out;
}

int Mix(int d, int c, int a) { return d + (((c - d) * a) >> 8); }

std::uint8_t Nearest(const SampledReferenceJob& job, int r, int g, int b) {
  return job.palette->InverseOf(static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(g),
                                static_cast<std::uint32_t>(b));
}

// Outright (a < 0) or blended with weight a, in the destination's units:
// 8-bit through the colour table both ways, 5-5-5 fields, expanded bytes.
void Write(const SampledReferenceJob& job, std::uint8_t* d, const Triple& c, int a) {
  const Image& dst = *job.destination;
  if (dst.BytesPerPixel() == 1) {
    if (a < 0) {
      d[0] = Nearest(job, c.r, c.g, c.b);
    } else {
      const Colour o = job.palette->ColourOf(d[0]);
      d[0] = Nearest(job, Mix(o.r, c.r, a), Mix(o.g, c.g, a), Mix(o.b, c.b, a));
    }
    return;
  }
  if (dst.BytesPerPixel() == 2) {
    int r = c.r & 31, g = c.g & 31, b = c.b & 31;
    if (a >= 0) {
      const int o = d[0] | (d[1] << 8);
      r = Mix((o >> 10) & 31, r, a);
      g = Mix((o >> 5) & 31, g, a);
      b = Mix(o & 31, b, a);
    }
    const int packed = (r << 10) | (g << 5) | b;
    d[0] = static_cast<std::uint8_t>(packed);
    d[1] = static_cast<std::uint8_t>(packed >> 8);
    return;
  }
  d[0] = static_cast<std::uint8_t>(a < 0 ? c.b : Mix(d[0], c.b, a));
  d[1] = static_cast<std::uint8_t>(a < 0 ? c.g : Mix(d[1], c.g, a));
  d[2] = static_cast<std::uint8_t>(a < 0 ? c.r : Mix(d[2], c.r, a));
}

bool HasRule(const SampledReferenceJob& job) {
  const std::int32_t src = job.source->BytesPerPixel();
  const Image& dst = *job.destination;
  if (job.alpha != nullptr) {
    if (dst.BytesPerPixel() < 3) return false;
    if (src == 1) return dst.view().depth == 8;
    if (src == 2) return dst.view().depth == 16;
    return true;
  }
  if (src >= 3) return true;
  return src == dst.BytesPerPixel();
}

}  // namespace

bool ReferenceSampled(const SampledReferenceJob& job) {
  if (!HasRule(job)) return false;
  const int width = job.update.right - job.update.left;
  const int height = job.update.bottom - job.update.top;
  const int blend = job.blend < 0 ? 0 : job.blend > 255 ? 255 : job.blend;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Sampled s = Sample(job, job.position(x, y));
      std::uint8_t* d = job.destination->Pixel(job.update.left + x, job.update.top + y);
      if (job.alpha != nullptr) {
        *job.alpha->Pixel(job.alphaLeft + x, job.alphaTop + y) = static_cast<std::uint8_t>(s.mask);
        if (s.mask > job.lower) Write(job, d, s.colour, -1);
        continue;
      }
      if (s.mask <= job.lower) continue;
      if (s.mask >= job.upper && blend == 255)
        Write(job, d, s.colour, -1);
      else
        Write(job, d, s.colour, blend == 255 ? s.mask : (s.mask * blend) >> 8);
    }
  return true;
}

}  // namespace vx::glissade
