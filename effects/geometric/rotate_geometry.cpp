#include "effects/geometric/rotate_geometry.h"

#include <cmath>

#include "framework/saturating.h"

namespace vx {

namespace {

// Keeps the low 32 bits, the way a 32-bit register would.
std::int32_t Wrap(std::int64_t v) { return static_cast<std::int32_t>(v); }

}  // namespace

MappingVectors ComputeMappingVectors(std::int32_t u, bool flip, AngleTablesRef tables) {
  const std::int32_t along = AngleIndex(u);
  const std::int32_t down = AngleIndex(static_cast<std::int64_t>(u) + 64);
  MappingVectors m{tables.cosine[along], tables.sine[along], tables.cosine[down],
                   tables.sine[down]};
  if (flip) {
    m.colStepX = -m.colStepX;
    m.colStepY = -m.colStepY;
  }
  return m;
}

RectRecord RotatedBounds(std::int32_t v, const RectRecord& rect, AngleTablesRef tables) {
  const std::int64_t w = static_cast<std::int64_t>(rect.right) - rect.left;
  const std::int64_t h = static_cast<std::int64_t>(rect.bottom) - rect.top;
  const double cx = static_cast<double>(rect.left) + static_cast<double>(w) / 2;
  const double cy = static_cast<double>(rect.top) + static_cast<double>(h) / 2;
  const MappingVectors m = ComputeMappingVectors(v, false, tables);
  const double a = m.colStepX, b = m.rowStepX, c = m.colStepY, d = m.rowStepY;
  const double det = a * d - b * c;
  if (w <= 0 || h <= 0 || det == 0) {
    const std::int32_t x = TruncToInt32(std::floor(cx)), y = TruncToInt32(std::floor(cy));
    return {y, x, y, x};
  }
  // A pixel draws only when its centre samples within [-255/512, side +
  // 255/512] of the sprite on both axes (nearest: [0, side), bilinear: a
  // tap inside with some weight). That region, centred on the sprite and
  // mapped back by the inverse of the steps, is a parallelogram about the
  // placed centre; the box holds every pixel centre in it. The flipped
  // walk's parallelogram is its mirror image about the centre, so the same
  // box holds it.
  constexpr double kReach = 255.0 / 512;
  const double hx = static_cast<double>(w) / 2 + kReach, hy = static_cast<double>(h) / 2 + kReach;
  const double ex = 256 * (std::fabs(d) * hx + std::fabs(b) * hy) / std::fabs(det);
  const double ey = 256 * (std::fabs(c) * hx + std::fabs(a) * hy) / std::fabs(det);
  // Rounding of the double sums only ever widens the box.
  const auto slack = [](double centre, double extent) {
    return 1e-13 * (std::fabs(centre) + extent + 1);
  };
  const double sx = slack(cx, ex), sy = slack(cy, ey);
  RectRecord out;
  out.left = TruncToInt32(std::ceil(cx - ex - 0.5 - sx));
  out.right = TruncToInt32(std::floor(cx + ex - 0.5 + sx) + 1);
  out.top = TruncToInt32(std::ceil(cy - ey - 0.5 - sy));
  out.bottom = TruncToInt32(std::floor(cy + ey - 0.5 + sy) + 1);
  return out;
}

FixedPoint PixelCentreSample(const MappingVectors& steps, std::int64_t w, std::int64_t h,
                             std::int64_t column, std::int64_t row) {
  // In 1/512 pixel: the sprite's centre plus the steps times the pixel
  // centre's offset from the placed centre, both counted in half pixels.
  const std::int64_t i2 = 2 * column + 1 - w, j2 = 2 * row + 1 - h;
  const std::int64_t sx = 256 * w + steps.colStepX * i2 + steps.rowStepX * j2;
  const std::int64_t sy = 256 * h + steps.colStepY * i2 + steps.rowStepY * j2;
  return {Wrap(sx >> 1), Wrap(sy >> 1)};
}

FixedPoint SampleStart(const WalkFrame& frame, const MappingVectors& steps, bool bilinear) {
  const FixedPoint p =
      PixelCentreSample(steps, frame.maskWidth, frame.maskHeight, frame.column, frame.row);
  const std::int64_t shift = bilinear ? 128 : 0;
  return {Wrap(p.x - shift - std::int64_t{256} * frame.maskSubLeft),
          Wrap(p.y - shift - std::int64_t{256} * frame.maskSubTop)};
}

bool ShouldRedraw(std::int32_t finished, std::int32_t interpolation,
                  std::int32_t& interpolateNowPending) {
  if (finished == 1 && interpolation == 2) interpolateNowPending = 1;
  if (interpolateNowPending == 0) return interpolation == 1;
  --interpolateNowPending;
  return true;
}

MaskPosition MapHitToMask(std::int32_t x, std::int32_t y, const RectRecord& placed,
                          const MappingVectors& steps) {
  const std::int64_t w = static_cast<std::int64_t>(placed.right) - placed.left;
  const std::int64_t h = static_cast<std::int64_t>(placed.bottom) - placed.top;
  // The sample in 1/512 pixel, kept in 64 bits: far points must not wrap
  // back onto the mask.
  const std::int64_t i2 = 2 * (x - static_cast<std::int64_t>(placed.left)) + 1 - w;
  const std::int64_t j2 = 2 * (y - static_cast<std::int64_t>(placed.top)) + 1 - h;
  const std::int64_t sx = 256 * w + steps.colStepX * i2 + steps.rowStepX * j2;
  const std::int64_t sy = 256 * h + steps.colStepY * i2 + steps.rowStepY * j2;
  return {SaturateToInt32((sx >> 1) >> 8), SaturateToInt32((sy >> 1) >> 8)};
}

bool PlaceHitTest(const PixelView* alpha, const SpriteDescription* sprite,
                  std::int32_t* outValue, AreaRect* placed) {
  if (outValue == nullptr) return false;
  *outValue = 0;
  if (alpha == nullptr || sprite == nullptr) return false;
  const auto* spriteRect = reinterpret_cast<const AreaRect*>(sprite->words[kSpriteRectWord]);
  if (spriteRect == nullptr) return false;
  *placed = CopyRect(alpha->bounds);
  CentreIn(placed, CopyRect(*spriteRect));
  return true;
}

MaskPosition MapHitByAngle(std::int32_t x, std::int32_t y, const RectRecord& placed,
                           std::int32_t u, bool flip, AngleTablesRef tables) {
  constexpr double kPi = 3.141592654, kTwoPiOut = 6.283185308;
  const std::int64_t w = static_cast<std::int64_t>(placed.right) - placed.left;
  const std::int64_t h = static_cast<std::int64_t>(placed.bottom) - placed.top;
  const std::int64_t dx = x - static_cast<std::int64_t>(placed.left) - (w >> 1);
  const std::int64_t dy = y - static_cast<std::int64_t>(placed.top) - (h >> 1);
  const float dist = static_cast<float>(std::sqrt(static_cast<double>(dx) * static_cast<double>(dx) +
                                                  static_cast<double>(dy) * static_cast<double>(dy)));
  std::int64_t sx = 0, sy = 0;
  if (dist != 0.0f) {
    float a = static_cast<float>(ClampedAsin(static_cast<float>(dx) / dist));
    if (dy > 0) a = static_cast<float>(kPi - a);
    if (flip) a = -a;  // the mirrored point
    const std::int32_t k =
        AngleIndex(static_cast<std::int64_t>(u) + TruncToInt32(a * 256 / kTwoPiOut));
    sx = TruncToInt32(static_cast<float>(tables.sine[k]) * dist) >> 8;
    sy = TruncToInt32(static_cast<float>(tables.cosine[AngleIndex(k + 128)]) * dist) >> 8;
  }
  return {SaturateToInt32((w >> 1) + sx), SaturateToInt32((h >> 1) + sy)};
}

std::int32_t MaskByteAt(PixelView* mask, MaskPosition at) {
  ViewWalk walk;
  if (mask == nullptr || !OpenWalk(mask, mask->bounds, &walk)) return 0;
  if (at.column < 0 || at.column >= walk.width || at.row < 0 || at.row >= walk.height) return 0;
  const ByteWindow window = WindowOf(walk);
  const std::int64_t offset = TapOffset(window, at.column, at.row);
  return offset < 0 ? 0 : window.base[offset];
}

}  // namespace vx
