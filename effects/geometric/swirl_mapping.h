// The swirl's inverse mapping: each destination pixel's offset from the
// sprite centre turned by an angle that is whole at the centre and falls off
// linearly to nothing at the half box, along x and along y.
//
// The destination is split into four quadrants about the centre so that the
// falloff is linear inside each: the angle is carried along as float sums,
// one addition per pixel and one per row, with no division, absolute value
// or trigonometry per pixel. The float steps are kept exactly as written:
// which table entry a pixel takes depends on every rounding.
#pragma once

#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "effects/geometric/rotate_angles.h"
#include "effects/geometric/sampling.h"
#include "framework/area_rect.h"

namespace vx {

// What every quadrant of one render shares.
struct SwirlFrame {
  std::int32_t swirlAngle;  // 1/256 turn at the centre, not masked
  std::int32_t hw, hh;      // half the mask's width and height, rounded up
  std::int32_t cx, cy;      // the destination's centre
  // Source position (whole pixels, in the walked source's coordinates) of
  // the centre pixel.
  std::int32_t originX, originY;
};

// Half of a side rounded up: width 7 gives 4.
inline std::int32_t HalfRoundedUp(std::int32_t side) {
  return static_cast<std::int32_t>((std::int64_t{side} + 1) >> 1);
}

// One quadrant of the destination and the signs its falloff runs with:
// +1 where the angle grows along the walk (left and top quadrants).
struct SwirlQuadrant {
  AreaRect rect;
  std::int32_t sx, sy;
};

// Top-left, top-right, bottom-left, bottom-right of `destination` about
// its centre, each cut to `update`.
std::array<SwirlQuadrant, 4> SwirlQuadrants(const AreaRect& destination, const AreaRect& update);

// The mapping policy of a quadrant walk (SampledWalk): rows top to bottom,
// each left to right, so the row angle is carried from one BeginRow to the
// next and the pixel angle from one Next to the next, as float sums.
class SwirlMapping {
 public:
  SwirlMapping(const SwirlFrame& frame, const SwirlQuadrant& quadrant, AngleTablesRef tables)
      : sine_(tables.sine),
        cosine_(tables.cosine),
        hw_(static_cast<float>(frame.hw)),
        // The column offset of the first pixel from the half box edge.
        edgeX_(static_cast<float>(frame.hw - Distance(quadrant.rect.left, frame.cx))),
        sx_(static_cast<float>(quadrant.sx)),
        dx0_(quadrant.rect.left - frame.cx),
        dy_(quadrant.rect.top - frame.cy),
        originX_(frame.originX * 256),
        originY_(frame.originY * 256) {
    const float k = static_cast<float>(frame.swirlAngle) / static_cast<float>(frame.hh);
    rowAngle_ = static_cast<float>(frame.hh - Distance(quadrant.rect.top, frame.cy)) * k;
    rowStep_ = static_cast<float>(quadrant.sy) * k;
    // Table entries are 8.8 sines and cosines, within 16 bits.
    for (std::int32_t t = 0; t < kTurn; ++t)
      turns_[t] = (static_cast<std::uint32_t>(cosine_[t]) & 0xFFFFu) |
                  (static_cast<std::uint32_t>(sine_[t]) << 16);
  }

  // The next row down (the rows come in order; `y` is not needed).
  void BeginRow(std::int32_t) {
    const float s = rowAngle_ / hw_;
    theta_ = s * edgeX_;
    thetaStep_ = s * sx_;
    dx_ = dx0_;
    rowDy_ = dy_;
    rowAngle_ += rowStep_;
    ++dy_;
    Turn();
  }
  std::int32_t X() const { return x_; }
  std::int32_t Y() const { return y_; }
  void Next() {
    theta_ += thetaStep_;
    ++dx_;
    Turn();
  }

  // Fill's most pixels at once.
  static constexpr std::int32_t kBatch = 64;

  // The positions of the next n (at most kBatch) pixels of the row, in
  // order, each as X() and Y() would give it; the walk then stands past
  // them. Entries from n up to the next multiple of four may be written.
  void Fill(std::int32_t (&xs)[kBatch], std::int32_t (&ys)[kBatch], std::int32_t n) {
#if defined(__SSE2__)
    // Offsets within 16 bits (all but absurd destinations): the angles'
    // table entries first, the serial float chain alone, then the turns
    // four at a time, each (cosine, sine) pair multiply-added by
    // (dx, -dy) and (dy, dx) in 16-bit halves. The products stay below
    // 2^24, so the sums are those of the scalar form.
    const std::int64_t lastDx = std::int64_t{dx_} + n + 3;
    if (dx_ >= -32768 && lastDx <= 32767 && rowDy_ >= -32767 && rowDy_ <= 32767) {
      alignas(16) std::uint32_t turn[kBatch];
      const float step = thetaStep_;
      float theta = theta_;
#pragma GCC unroll 4
      for (std::int32_t i = 0; i < n; ++i) {
        turn[i] = turns_[TableIndex(theta)];
        theta += step;
      }
      for (std::int32_t i = n; i < ((n + 3) & ~3); ++i) turn[i] = 0;
      const auto low = [](std::int32_t v) { return static_cast<std::uint32_t>(v) & 0xFFFFu; };
      const auto high = [](std::int32_t v) { return static_cast<std::uint32_t>(v) << 16; };
      const auto lanes = [](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        return _mm_set_epi32(static_cast<int>(d), static_cast<int>(c), static_cast<int>(b),
                             static_cast<int>(a));
      };
      const std::int32_t dx = dx_, dy = rowDy_;
      __m128i forX = lanes(low(dx) | high(-dy), low(dx + 1) | high(-dy), low(dx + 2) | high(-dy),
                           low(dx + 3) | high(-dy));
      __m128i forY = lanes(low(dy) | high(dx), low(dy) | high(dx + 1), low(dy) | high(dx + 2),
                           low(dy) | high(dx + 3));
      const __m128i stepX = _mm_set1_epi32(4), stepY = _mm_set1_epi32(4 << 16);
      const __m128i ox = _mm_set1_epi32(originX_), oy = _mm_set1_epi32(originY_);
      for (std::int32_t i = 0; i < n; i += 4) {
        const __m128i pairs = _mm_load_si128(reinterpret_cast<const __m128i*>(turn + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(xs + i),
                         _mm_add_epi32(ox, _mm_madd_epi16(pairs, forX)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ys + i),
                         _mm_add_epi32(oy, _mm_madd_epi16(pairs, forY)));
        forX = _mm_add_epi16(forX, stepX);
        forY = _mm_add_epi16(forY, stepY);
      }
      theta_ = theta;
      dx_ += n;
      Turn();
      return;
    }
#endif
    // The running values live in locals here, where no store to xs or ys
    // can touch them.
    const AngleTable& sine = sine_;
    const AngleTable& cosine = cosine_;
    const std::int32_t ox = originX_, oy = originY_, dy = rowDy_;
    const float step = thetaStep_;
    float theta = theta_;
    std::int32_t dx = dx_, x = x_, y = y_;
    for (std::int32_t i = 0; i < n; ++i) {
      xs[i] = x;
      ys[i] = y;
      theta += step;
      ++dx;
      const std::int32_t t = TableIndex(theta);
      const std::int32_t cs = cosine[t], sn = sine[t];
      x = ox + dx * cs - dy * sn;
      y = oy + dx * sn + dy * cs;
    }
    theta_ = theta;
    dx_ = dx;
    x_ = x;
    y_ = y;
  }

 private:
  static std::int32_t Distance(std::int32_t a, std::int32_t b) {
    return a > b ? a - b : b - a;
  }

  // The pixel's offset from the centre turned by its angle, in 8.8.
  // Through 64 bits: a huge angle passes the int32 range before masking.
  static std::int32_t TableIndex(float theta) {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(theta) & kAngleMask);
  }

  void Turn() {
    const std::int32_t t = TableIndex(theta_);
    const std::int32_t cs = cosine_[t], sn = sine_[t];
    x_ = originX_ + dx_ * cs - rowDy_ * sn;
    y_ = originY_ + dx_ * sn + rowDy_ * cs;
  }

  const AngleTable& sine_;
  const AngleTable& cosine_;
  float hw_, edgeX_, sx_;
  float rowAngle_ = 0, rowStep_ = 0;
  float theta_ = 0, thetaStep_ = 0;
  std::int32_t dx0_, dy_, dx_ = 0, rowDy_ = 0;
  std::int32_t originX_, originY_;
  std::int32_t x_ = 0, y_ = 0;
  // Each angle's cosine (low half) and sine (high half).
  std::uint32_t turns_[kTurn];
};

// The table index of the swirl at a hit-test point (dx, dy) from the
// sprite centre, hw and hh being the mask's halves rounded down:
// swirlAngle x (hh - |dy|) / hh x (hw - |dx|) / hw, the factors clamped at
// 0, truncated and masked. A side too short to have a half turns nothing.
std::int32_t SwirlAngleAt(std::int64_t dx, std::int64_t dy, std::int32_t hw, std::int32_t hh,
                          std::int32_t swirlAngle);

}  // namespace vx
