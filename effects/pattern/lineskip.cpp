#include "effects/pattern/lineskip.h"

#include <algorithm>
#include <limits>
#include <type_traits>
#include <utility>

#include "effects/colour/colour_pass.h"
#include "framework/compositing.h"
#include "framework/pixel_view.h"
#include "framework/properties.h"
#include "framework/saturating.h"

namespace vx {
namespace {

enum PropertyIndex {
  kAnimModeRow,
  kInterpolationRow,
  kNumFramesRow,
  kLinesToSkipRow,
  kLinesToDrawRow,
  kStartSkipRow,
  kStartDrawRow,
  kEndSkipRow,
  kEndDrawRow,
  kOffsetRow,
  kStartOffsetRow,
  kEndOffsetRow,
};

// No easing: every frame of every animation is linear, whatever its count.
constexpr EaseFrames kAllLinear{0, 0, std::numeric_limits<std::int32_t>::max()};

// base + trunc(frame x speed), kept within 32 bits.
std::int32_t Shown(std::int32_t base, float speed, std::int32_t frame) {
  const AnimatedValue v{base, speed, 0, 0};
  return SaturateToInt32(static_cast<std::int64_t>(base) + OffsetAt(v, kAllLinear, frame));
}

struct Values {
  AnimatedValue skip, draw, offset;
};

Values ValuesOf(const LineSkip& e) {
  return Values{{e.skipBase, e.skipSpeed, 0, 0},
                {e.drawBase, e.drawSpeed, 0, 0},
                {e.offsetBase, e.offsetSpeed, 0, 0}};
}

void Store(LineSkip& e, const Values& v) {
  e.skipBase = v.skip.start;
  e.drawBase = v.draw.start;
  e.offsetBase = v.offset.start;
  e.skipSpeed = v.skip.speed;
  e.drawSpeed = v.draw.speed;
  e.offsetSpeed = v.offset.speed;
}

void SetupStatic(LineSkip& e, std::int32_t skip, std::int32_t draw, std::int32_t offset,
                 std::int32_t* restarted) {
  EnterStatic(&e.anim, restarted);
  e.skipSpeed = e.drawSpeed = e.offsetSpeed = 0;
  // What is on screen stays unless the list names a value.
  const auto settle = [](std::int32_t given, std::int32_t* base, std::int32_t* now) {
    if (given != kAbsent) *now = given;
    *base = *now;
  };
  settle(skip, &e.skipBase, &e.skipNow);
  settle(draw, &e.drawBase, &e.drawNow);
  settle(offset, &e.offsetBase, &e.offsetNow);
}

struct AnimatedSetting {
  std::int32_t mode, frames;
  std::int32_t skip, draw, offset;  // ends
  std::int32_t startSkip, startDraw, startOffset;
};

void SetupAnimated(LineSkip& e, const AnimatedSetting& s, std::int32_t* restarted) {
  Values v = ValuesOf(e);
  if (e.anim.finished) *restarted = 1;
  std::int32_t toSkip = DefaultEnd(&v.skip, kAllLinear, e.anim);
  std::int32_t toDraw = DefaultEnd(&v.draw, kAllLinear, e.anim);
  std::int32_t toOffset = DefaultEnd(&v.offset, kAllLinear, e.anim);
  if (s.frames != kAbsent) e.anim.frameCount = s.frames;
  if (s.startSkip != kAbsent) v.skip.start = s.startSkip;
  if (s.startDraw != kAbsent) v.draw.start = s.startDraw;
  if (s.skip != kAbsent) toSkip = s.skip;
  if (s.draw != kAbsent) toDraw = s.draw;
  if (s.offset != kAbsent) toOffset = s.offset;
  if (s.startOffset != kAbsent) v.offset.start = s.startOffset;
  // A count below one (0, a negative one, or the pending mark a static
  // setting leaves) runs as one frame: divided by it, the speeds would run
  // the values backwards or past their ends.
  e.anim.frameCount = std::max(e.anim.frameCount, 1);
  for (auto [value, end] :
       {std::pair{&v.skip, toSkip}, std::pair{&v.draw, toDraw}, std::pair{&v.offset, toOffset}}) {
    EaseFrames none;
    PlanTo(value, &none, e.anim.frameCount, end);
  }
  Store(e, v);
  EnterRunning(&e.anim, s.mode);
}

}  // namespace

void LineSkip::SetDefaults(LineSkip& e) {
  e.drawSpeed = e.skipSpeed = e.offsetSpeed = 0;
  e.drawBase = 1;
  e.skipBase = 0;
  e.offsetBase = 0;
  e.drawNow = 1;
  e.skipNow = 0;
  e.offsetNow = 0;
}

void LineSkip::ApplyProperties(LineSkip& e, const HostValue* list, Services* services,
                               std::int32_t* restarted) {
  const PropertyDesc* table = e.propertyTable;
  auto read = [&](int row) { return GetIntProperty(list, table[row].keySymbol, services); };
  AnimatedSetting s;
  s.mode = GetAnimMode(list, table, services);
  s.frames = read(kNumFramesRow);
  s.skip = read(kLinesToSkipRow);
  s.draw = read(kLinesToDrawRow);
  s.offset = read(kOffsetRow);
  s.startSkip = read(kStartSkipRow);
  s.startDraw = read(kStartDrawRow);
  s.startOffset = read(kStartOffsetRow);
  if (s.skip == kAbsent) s.skip = read(kEndSkipRow);
  if (s.draw == kAbsent) s.draw = read(kEndDrawRow);
  if (s.offset == kAbsent) s.offset = read(kEndOffsetRow);

  if (s.mode == kAbsent && s.frames == kAbsent && s.skip == kAbsent && s.draw == kAbsent &&
      s.offset == kAbsent && s.startSkip == kAbsent && s.startDraw == kAbsent &&
      s.startOffset == kAbsent)
    return;
  if (s.mode == kAbsent) s.mode = e.anim.mode;
  if (s.mode == kModeStatic)
    SetupStatic(e, s.skip, s.draw, s.offset, restarted);
  else if (IsAnimatedMode(s.mode))
    SetupAnimated(e, s, restarted);
}

void ComputeLineSkipFrame(LineSkip& e) {
  const std::int32_t frame = e.anim.frame;
  e.drawNow = std::max(Shown(e.drawBase, e.drawSpeed, frame), 1);
  e.skipNow = std::max(Shown(e.skipBase, e.skipSpeed, frame), 0);
  e.offsetNow = Shown(e.offsetBase, e.offsetSpeed, frame);
}

BandPattern BandsOf(const LineSkip& e) {
  BandPattern p;
  p.skip = std::max(e.skipNow, 0);
  p.period = p.skip + std::max(e.drawNow, 1);
  p.offset = e.offsetNow;
  return p;
}

namespace {

// Line skip's work per pixel: the source colour as it is.
struct CopyColour {
  static constexpr bool kKeepsColour = true;
  static Bgrx Eight(Bgrx c) { return c; }
  static Bgrx Five(Bgrx c) { return c; }
};

// The alpha form's source: the colour source's pixel read by `Reader` with
// the alpha source's byte as its mask.
template <class Reader>
class AlphaSource {
 public:
  AlphaSource(const RenderArea& area, const typename Reader::Table& table)
      : colour_(area.source), alpha_(area.mask), table_(table),
        step_(Reader::kStep != 0 ? Reader::kStep : colour_.step) {}

  void BeginRow(std::int32_t y) {
    colourRow_ = colour_.Row(y);
    alphaRow_ = alpha_.Row(y);
  }
  Sample<Bgrx> SampleAt(std::int32_t x) {
    const std::uint32_t c = Reader::LoadBgr(table_, colourRow_ + static_cast<std::ptrdiff_t>(x) * step_);
    return Sample<Bgrx>{alphaRow_[static_cast<std::ptrdiff_t>(x) * alpha_.step],
                        colour_pass_detail::Unpack(c)};
  }

 private:
  const ViewWalk& colour_;
  const ViewWalk& alpha_;
  const typename Reader::Table& table_;
  std::int32_t step_;
  const std::uint8_t* colourRow_ = nullptr;
  const std::uint8_t* alphaRow_ = nullptr;
};

// One drawn run of the alpha form: the colour destination is expanded, its
// pixel size picks the store.
template <class Reader>
void DrawAlphaRows(const ColourPassPlan& whole, const ViewWalk& alpha,
                   const typename Reader::Table& table, std::int32_t first, std::int32_t count) {
  const ColourPassPlan rows = PlanRows(whole, first, count);
  const ViewWalk alphaRows = WalkRows(alpha, first, count);
  AlphaSource<Reader> src(rows.area, table);
  switch (rows.destination) {
    case PixelFormat::kBgr3:
      CompositeWithAlpha<Bgr3>(rows.job, alphaRows, src);
      return;
    case PixelFormat::kBgr4:
      CompositeWithAlpha<Bgr4>(rows.job, alphaRows, src);
      return;
    case PixelFormat::kBgrWide:
      CompositeWithAlpha<BgrWide>(rows.job, alphaRows, src);
      return;
    default:
      return;
  }
}

// Skipped rows turn transparent; their colour is left.
void ClearAlphaRows(const ViewWalk& alpha, std::int32_t first, std::int32_t count) {
  for (std::int32_t y = first; y < first + count; ++y) {
    std::uint8_t* a = alpha.Row(y);
    for (std::int32_t x = 0; x < alpha.width; ++x, a += alpha.step) *a = 0;
  }
}

template <class Reader>
void RunAlphaBands(const BandPattern& bands, const ColourPassPlan& plan, const ViewWalk& alpha) {
  const typename Reader::Table table(plan.job.palette);
  ForEachBand(
      bands, plan.area.update.top, plan.job.destination.height,
      [&](std::int32_t first, std::int32_t count) {
        DrawAlphaRows<Reader>(plan, alpha, table, first, count);
      },
      [&](std::int32_t first, std::int32_t count) { ClearAlphaRows(alpha, first, count); });
}

void StepAndCompute(LineSkip& e) {
  StepFrame(&e.anim);
  ComputeLineSkipFrame(e);
}

}  // namespace

Status LineSkip::Render(LineSkip& e, PixelView* dst, PixelView* src, AreaRect* update,
                        PixelView* mask, const std::uint16_t*, ColourTable* colours,
                        std::int32_t blend, std::int32_t, std::int32_t, std::int32_t,
                        ThresholdRecord* thresholds) {
  StepAndCompute(e);
  // Always the threshold path: the runs and the hard-mask flag change
  // nothing that is drawn.
  const ColourPassCall call{dst, src, update, mask, nullptr, colours, blend, 0, thresholds};
  ColourPassPlan plan;
  if (PlanColourPass(call, &plan) != ColourPassReady::kReady) return kOk;
  CopyColour copy;
  ForEachBand(
      BandsOf(e), plan.area.update.top, plan.job.destination.height,
      [&](std::int32_t first, std::int32_t count) {
        RunColourPlan(PlanRows(plan, first, count), copy);
      },
      [](std::int32_t, std::int32_t) {});
  return kOk;
}

Status LineSkip::RenderWithAlpha(LineSkip& e, PixelView* dstColour, PixelView* dstAlpha,
                                 PixelView* srcColour, PixelView* srcAlpha, AreaRect* update,
                                 const std::uint16_t*, ColourTable* colours, std::int32_t,
                                 std::int32_t, std::int32_t, ThresholdRecord* thresholds) {
  StepAndCompute(e);
  if (!dstColour || !dstAlpha || !srcColour || !srcAlpha || !update) return kOk;
  // The alpha destination is centred on the colour destination; only the
  // part of the update both cover is drawn.
  const AreaRect alphaBounds = CopyRect(dstAlpha->bounds);
  const Shift alphaPlaced = CentringShift(alphaBounds, CopyRect(dstColour->bounds));
  *update = ClipToPlaced(*update, alphaBounds, alphaPlaced);
  ColourPassPlan plan;
  if (!PrepareRenderArea(dstColour, srcColour, srcAlpha, update, &plan.area)) return kOk;
  ViewWalk alpha;
  if (!OpenWalk(dstAlpha, CopyRect(Moved(plan.area.update, -alphaPlaced)), &alpha)) return kOk;

  plan.destination = DestinationFormat(*dstColour);
  if (!IsExpanded(plan.destination)) return kOk;
  plan.job.destination = plan.area.destination;
  plan.job.mask = plan.area.mask;
  plan.job.thresholds = ReadThresholds(thresholds);
  const BandPattern bands = BandsOf(e);
  if (srcColour->bytesPerPixel >= 3) {
    RunAlphaBands<ExpandedSource<0>>(bands, plan, alpha);
  } else if (dstColour->depth == 16 && srcColour->bytesPerPixel == 2) {
    RunAlphaBands<Rgb555Source>(bands, plan, alpha);
  } else if (dstColour->depth == 8 && srcColour->bytesPerPixel == 1) {
    if (!ReadPalette(colours, &plan.job.palette)) return kOk;
    RunAlphaBands<Indexed8Source>(bands, plan, alpha);
  }
  return kOk;
}

Status LineSkip::GetAlphaAt(LineSkip& e, PixelView* alpha, std::int32_t vertical,
                            std::int32_t horizontal, std::int32_t* outValue,
                            SpriteDescription* sprite) {
  if (outValue == nullptr) return kOk;
  *outValue = 0;
  if (BandsOf(e).Skips(vertical)) return kOk;
  std::int64_t x = 0, y = 0;
  if (alpha != nullptr && PointInCentredView(*alpha, sprite, vertical, horizontal, &x, &y))
    *outValue = ViewByteAt(alpha, x, y);
  return kOk;
}

}  // namespace vx
