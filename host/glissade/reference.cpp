#include "host/glissade/reference.h"

#include <cstring>
#include <vector>

namespace vx::glissade {
namespace {

int Mix(int d, int c, int a) { return d + (((c - d) * a) >> 8); }

void WriteOutright(const ReferenceJob& job, std::uint8_t* d, const ReferenceColour& c) {
  switch (job.destination->Kind()) {
    case ImageKind::kIndexed8:
      d[0] = c.index;
      return;
    case ImageKind::kRgb555:
      std::memcpy(d, &c.pixel, 2);
      return;
    default:
      d[0] = c.b;
      d[1] = c.g;
      d[2] = c.r;
      return;
  }
}

void WriteBlended(const ReferenceJob& job, std::uint8_t* d, const ReferenceColour& c, int a) {
  switch (job.destination->Kind()) {
    case ImageKind::kIndexed8: {
      const Colour old = job.palette->ColourOf(d[0]);
      d[0] = job.palette->InverseOf(static_cast<std::uint32_t>(Mix(old.r, c.r, a)),
                                    static_cast<std::uint32_t>(Mix(old.g, c.g, a)),
                                    static_cast<std::uint32_t>(Mix(old.b, c.b, a)));
      return;
    }
    case ImageKind::kRgb555: {
      std::uint16_t old;
      std::memcpy(&old, d, 2);
      const int r = Mix((old >> 10) & 31, (c.pixel >> 10) & 31, a);
      const int g = Mix((old >> 5) & 31, (c.pixel >> 5) & 31, a);
      const int b = Mix(old & 31, c.pixel & 31, a);
      const auto packed = static_cast<std::uint16_t>((r << 10) | (g << 5) | b);
      std::memcpy(d, &packed, 2);
      return;
    }
    default:
      d[0] = static_cast<std::uint8_t>(Mix(d[0], c.b, a));
      d[1] = static_cast<std::uint8_t>(Mix(d[1], c.g, a));
      d[2] = static_cast<std::uint8_t>(Mix(d[2], c.r, a));
      return;
  }
}

int Weight(const ReferenceJob& job, int m) { return job.blend == 255 ? m : (m * job.blend) >> 8; }

enum RunClass { kSkip, kPartial, kOpaque };

// The class the runs give each pixel of one row (pixels past the row's
// triples are skipped; counts past the width are cut).
std::vector<RunClass> DecodeRow(const std::uint16_t*& runs, int width) {
  std::vector<RunClass> row(static_cast<std::size_t>(width), kSkip);
  long x = 0;
  for (;;) {
    const long t = runs[0], p = runs[1], o = runs[2];
    runs += 3;
    if (t == 0 && p == 0 && o == 0) break;
    x += t;
    for (long i = 0; i < p; ++i, ++x)
      if (x < width) row[static_cast<std::size_t>(x)] = kPartial;
    for (long i = 0; i < o; ++i, ++x)
      if (x < width) row[static_cast<std::size_t>(x)] = kOpaque;
  }
  return row;
}

}  // namespace

void ReferenceComposite(const ReferenceJob& job) {
  const int width = job.update.right - job.update.left;
  const int height = job.update.bottom - job.update.top;
  const std::uint16_t* runs = job.runs;
  for (int y = 0; y < height; ++y) {
    std::vector<RunClass> classes;
    if (job.path == ReferencePath::kRun) classes = DecodeRow(runs, width);
    for (int x = 0; x < width; ++x) {
      const int m =
          job.maskAt ? job.maskAt(x, y) : *job.mask->Pixel(job.maskLeft + x, job.maskTop + y);
      std::uint8_t* d = job.destination->Pixel(job.update.left + x, job.update.top + y);
      const ReferenceColour c = job.colour(x, y);
      switch (job.path) {
        case ReferencePath::kThreshold:
          if (m <= job.lower) break;
          if (m >= job.upper && job.blend == 255)
            WriteOutright(job, d, c);
          else
            WriteBlended(job, d, c, Weight(job, m));
          break;
        case ReferencePath::kRun:
          if (classes[static_cast<std::size_t>(x)] == kPartial)
            WriteBlended(job, d, c, Weight(job, m));
          else if (classes[static_cast<std::size_t>(x)] == kOpaque) {
            if (job.blend == 255)
              WriteOutright(job, d, c);
            else
              WriteBlended(job, d, c, Weight(job, m));
          }
          break;
        case ReferencePath::kHardMask:
          if (m > job.lower) WriteOutright(job, d, c);
          break;
      }
    }
  }
}

}  // namespace vx::glissade
