#include "effects/geometric/rotate_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace vx {

namespace {

constexpr double kTwoPiIn = 6.283185307;
constexpr double kTwoPiOut = 6.283185308;
constexpr double kPi = 3.141592654;

// Keeps the low 32 bits, the way a 32-bit register would.
std::int32_t Wrap(std::int64_t v) { return static_cast<std::int32_t>(v); }

// Half the diagonal of a w x h rectangle: the integer sum of squares rounded
// to single precision, its root taken in double, halved, rounded again.
float HalfDiagonal(std::int64_t w, std::int64_t h) {
  // Exact in 64 bits up to 2^30 per side; beyond that (inverted or absurd
  // rectangles) the squares are summed in double instead of overflowing.
  constexpr std::int64_t kExact = std::int64_t{1} << 30;
  const float sum = (std::llabs(w) < kExact && std::llabs(h) < kExact)
                        ? static_cast<float>(w * w + h * h)
                        : static_cast<float>(static_cast<double>(w) * static_cast<double>(w) +
                                             static_cast<double>(h) * static_cast<double>(h));
  return static_cast<float>(std::sqrt(static_cast<double>(sum)) / 2.0);
}

// Angle of the top-left corner clockwise from straight up. An empty
// rectangle (r = 0) has no corner angle; 0 keeps its corners at the centre.
float CornerAngle(std::int64_t w, float r) {
  if (r == 0.0f) return 0.0f;
  return static_cast<float>(ClampedAsin((static_cast<double>(w) / -2.0) / r));
}

float TurnToRadians(std::int32_t v) { return static_cast<float>(v * kTwoPiIn / 256); }

// r * sin(psi) and r * cos(psi + pi): where the top-left corner lands
// relative to the centre after turning.
struct CornerOffset {
  double x, y;
};
CornerOffset TurnedCorner(float r, float psi) {
  return {static_cast<double>(r) * std::sin(static_cast<double>(psi)),
          static_cast<double>(r) * std::cos(static_cast<double>(psi) + kPi)};
}

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
  const std::int32_t along = AngleIndex(v);
  const std::int32_t down = AngleIndex(static_cast<std::int64_t>(v) + 64);
  const std::int64_t cv = tables.cosine[along], sv = tables.sine[along];
  const std::int64_t sw = tables.sine[down], cw = tables.cosine[down];
  const std::int64_t w = static_cast<std::int64_t>(rect.right) - rect.left;
  const std::int64_t h = static_cast<std::int64_t>(rect.bottom) - rect.top;

  const float r = HalfDiagonal(w, h);
  const float phi = CornerAngle(w, r);
  const float psi = TurnToRadians(v) + phi;
  const std::int64_t cx = rect.left + (w >> 1);
  const std::int64_t cy = rect.top + (h >> 1);
  const CornerOffset c = TurnedCorner(r, psi);
  // The offsets are below 2^55 in magnitude, so the sums are exact enough
  // for truncation and cannot overflow.
  const std::int64_t x1 = static_cast<std::int64_t>(std::trunc(static_cast<double>(cx) + c.x));
  const std::int64_t y1 = static_cast<std::int64_t>(std::trunc(static_cast<double>(cy) + c.y));

  const std::int64_t topEdgeX = (cv * w) >> 8, topEdgeY = (sv * w) >> 8;
  const std::int64_t sideX = (cw * h) >> 8, sideY = (sw * h) >> 8;
  const std::int64_t xs[4] = {x1, x1 + topEdgeX, x1 + sideX, x1 + topEdgeX + sideX};
  const std::int64_t ys[4] = {y1, y1 + topEdgeY, y1 + sideY, y1 + topEdgeY + sideY};

  RectRecord out;
  out.left = SaturateToInt32(*std::min_element(xs, xs + 4));
  out.top = SaturateToInt32(*std::min_element(ys, ys + 4));
  out.right = SaturateToInt32(*std::max_element(xs, xs + 4));
  out.bottom = SaturateToInt32(*std::max_element(ys, ys + 4));
  return out;
}

namespace {

// Where the mask's centre sits in the sampled window, which the walk starts
// from.
std::int64_t MaskOriginX(const WalkFrame& frame) {
  return static_cast<std::int64_t>(frame.maskSubLeft) - (frame.maskWidth >> 1);
}
std::int64_t MaskOriginY(const WalkFrame& frame) {
  return static_cast<std::int64_t>(frame.maskSubTop) - (frame.maskHeight >> 1);
}

}  // namespace

FixedPoint RenderStartPoint(const WalkFrame& frame, std::int32_t u, bool flip) {
  const float r = HalfDiagonal(frame.destWidth, frame.destHeight);
  float phi = CornerAngle(frame.destWidth, r);
  // A flipped sprite starts from the mirrored corner.
  if (flip) phi = -phi;
  const float psi = phi + TurnToRadians(u);
  const CornerOffset c = TurnedCorner(r, psi);
  const float sx = static_cast<float>(c.x);
  const float sy = static_cast<float>(c.y);
  const std::int64_t originX = MaskOriginX(frame);
  const std::int64_t originY = MaskOriginY(frame);
  // 256 * sx can pass 2^31 for the largest sprites; keep it in 64 bits.
  const auto fixed = [](float v) {
    return static_cast<std::int64_t>(std::trunc(256.0 * static_cast<double>(v)));
  };
  return {Wrap(fixed(sx) - 256 * originX), Wrap(fixed(sy) - 256 * originY)};
}

FixedPoint AlphaStartPoint(const WalkFrame& frame, std::int32_t u, bool flip) {
  const std::int64_t hw = frame.destWidth >> 1;
  const std::int64_t hh = frame.destHeight >> 1;
  const float r = static_cast<float>(std::sqrt(static_cast<double>(hw * hw + hh * hh)));
  float phi = 0.0f;
  if (r != 0.0f) phi = static_cast<float>(ClampedAsin(-static_cast<float>(hw) / r));
  // A flipped sprite starts from the mirrored corner.
  if (flip) phi = -phi;
  const float psi = phi + TurnToRadians(u);
  const CornerOffset c = TurnedCorner(r, psi);
  const float sx = static_cast<float>(c.x);
  const float sy = static_cast<float>(c.y);
  const std::int64_t originX = MaskOriginX(frame);
  const std::int64_t originY = MaskOriginY(frame);
  return {Wrap((TruncToInt32(sx) - originX) * 256), Wrap((TruncToInt32(sy) - originY) * 256)};
}

FixedPoint AdvanceStart(FixedPoint start, const MappingVectors& steps, std::int32_t dx,
                        std::int32_t dy) {
  const std::int64_t x = start.x + static_cast<std::int64_t>(steps.colStepX) * dx +
                         static_cast<std::int64_t>(steps.rowStepX) * dy;
  const std::int64_t y = start.y + static_cast<std::int64_t>(steps.colStepY) * dx +
                         static_cast<std::int64_t>(steps.rowStepY) * dy;
  return {Wrap(x), Wrap(y)};
}

bool ShouldRedraw(std::int32_t finished, std::int32_t interpolation,
                  std::int32_t& interpolateNowPending) {
  if (finished == 1 && interpolation == 2) interpolateNowPending = 1;
  if (interpolateNowPending == 0) return interpolation == 1;
  --interpolateNowPending;
  return true;
}

MaskPosition MapHitToMask(std::int32_t x, std::int32_t y, const RectRecord& placed,
                          std::int32_t u, bool flip, AngleTablesRef tables) {
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

std::int32_t MaskByteAt(PixelView* mask, MaskPosition at) {
  ViewWalk walk;
  if (mask == nullptr || !OpenWalk(mask, mask->bounds, &walk)) return 0;
  if (at.column < 0 || at.column >= walk.width || at.row < 0 || at.row >= walk.height) return 0;
  const ByteWindow window = WindowOf(walk);
  const std::int64_t offset = TapOffset(window, at.column, at.row);
  return offset < 0 ? 0 : window.base[offset];
}

}  // namespace vx
