#include "host/glissade/masks.h"

namespace vx::glissade {
namespace {

enum Class { kTransparent, kPartial, kOpaque };

Class ClassOf(std::uint8_t m) { return m == 0 ? kTransparent : m == 255 ? kOpaque : kPartial; }

}  // namespace

std::vector<std::uint16_t> MakeMaskRuns(const Image& mask) {
  std::vector<std::uint16_t> runs;
  const AreaRect& b = mask.view().bounds;
  for (std::int32_t y = b.top; y < b.bottom; ++y) {
    std::int32_t x = b.left;
    while (x < b.right) {
      std::uint16_t counts[3] = {0, 0, 0};
      // One triple takes a transparent, then a partial, then an opaque
      // stretch, each possibly empty; a stretch of a lower class starts a
      // new triple.
      for (int c = kTransparent; c <= kOpaque; ++c) {
        while (x < b.right && ClassOf(*mask.Pixel(x, y)) == c && counts[c] < 0xFFFF) {
          ++counts[c];
          ++x;
        }
      }
      runs.insert(runs.end(), counts, counts + 3);
    }
    runs.insert(runs.end(), {0, 0, 0});
  }
  return runs;
}

ThresholdRecord MakeThresholdRecord(std::int32_t upper, std::int32_t lower) {
  ThresholdRecord r{};
  r.words[kThresholdUpperWord] = static_cast<Word>(static_cast<std::intptr_t>(upper));
  r.words[kThresholdLowerWord] = static_cast<Word>(static_cast<std::intptr_t>(lower));
  return r;
}

}  // namespace vx::glissade
