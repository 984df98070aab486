// Pieces the swirl and magnify samplers and loops share: colour taps held
// inside the sprite (a bilinear tap past the last column or row takes that
// column or row), the colour table's completeness, and a sink for the
// hard-mask path.
#pragma once

#include <cstdint>
#include <type_traits>

#include "effects/geometric/sampling.h"
#include "framework/compositing.h"
#include "framework/pixel_view.h"

namespace vx::geometric_detail {

// The colour of the four taps (x0, y0), (x1, y0), (x0, y1), (x1, y1) of
// `v`, x1 and y1 being x0 and y0 or one past them. Taps that repeat a column
// or row never read beyond it.
// The same from the tap (x0, y0) at `p`, `right` and `down` being the byte
// steps to x1 and y1 (0 where a tap is held).
template <class Source>
VX_PIXEL_INLINE std::uint32_t HeldBlend4At(const typename Source::Table& t, const std::uint8_t* p,
                                           std::ptrdiff_t down, std::int32_t right,
                                           const Weights& w) {
  // The vector forms read the pixel to the right and the row below whole.
  if (right != 0 && down != 0) return Blend4Colour<Source>(t, p, down, right, w);
  return Blend4Colour<Source, false>(t, p, down, right, w);
}
template <class Source>
VX_PIXEL_INLINE std::uint32_t HeldBlend4(const typename Source::Table& t, const ViewWalk& v,
                                         std::int32_t x0, std::int32_t y0, std::int32_t x1,
                                         std::int32_t y1, const Weights& w) {
  return HeldBlend4At<Source>(t, v.At(x0, y0), y1 != y0 ? v.rowStep : 0, x1 != x0 ? v.step : 0,
                              w);
}

// Loops of 8-bit pixels read the colour table whole.
inline bool PaletteComplete(const Palette& p) {
  return p.red && p.green && p.blue && p.inverse;
}
template <class Source, class Fmt>
inline constexpr bool kReadsPalette =
    std::is_same_v<Source, Indexed8Source> || std::is_same_v<Fmt, Indexed8ViaPalette>;

// walk(sink) with the threshold rule's sink for `Fmt`: outright stores at
// blend level 255, every pixel blended below it.
template <class Fmt, class Walk>
void WithCompositeSink(const SampledTarget& target, Walk&& walk) {
  if (target.blend == 255) {
    CompositeSink<Fmt, true> sink(target);
    walk(sink);
  } else {
    CompositeSink<Fmt, false> sink(target);
    walk(sink);
  }
}

// The hard-mask path: the sample's three bytes, unblended, where the mask
// passes the lower threshold.
class HardMaskSink {
 public:
  HardMaskSink(const ViewWalk& destination, std::int32_t lower)
      : destination_(destination), lower_(lower) {}
  void BeginRow(std::int32_t y) { row_ = destination_.Row(y); }
  VX_PIXEL_INLINE void Put(std::int32_t x, const PackedSample& s) {
    if (s.mask <= lower_) return;
    std::uint8_t* d = row_ + static_cast<std::ptrdiff_t>(x) * destination_.step;
    d[0] = static_cast<std::uint8_t>(s.colour);
    d[1] = static_cast<std::uint8_t>(s.colour >> 8);
    d[2] = static_cast<std::uint8_t>(s.colour >> 16);
  }

 private:
  ViewWalk destination_;
  std::int32_t lower_;
  std::uint8_t* row_ = nullptr;
};

}  // namespace vx::geometric_detail
