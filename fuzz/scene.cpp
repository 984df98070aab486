#include "scene.h"

#include <algorithm>
#include <cstring>

namespace vx::fuzz {
namespace {

std::uint8_t* VX_CALL TopRow(PixelView* self, std::int32_t* status) {
  if (self->base == nullptr) {
    *status = kViewNoMemory;
    return nullptr;
  }
  *status = kOk;
  const std::int64_t rows = std::int64_t{self->bounds.bottom} - self->bounds.top;
  return self->base + std::max<std::int64_t>(rows - 1, 0) * self->rowLength;
}

std::uint8_t* VX_CALL Base(PixelView* self, std::int32_t* status) {
  *status = self->base != nullptr ? kOk : kViewNoMemory;
  return self->base;
}

// A host whose image cannot give its memory just now.
std::uint8_t* VX_CALL NoMemory(PixelView*, std::int32_t* status) {
  *status = kViewNoMemory;
  return nullptr;
}

const PixelViewOps kOps = {&TopRow, &Base};

// The inverse table (32768 cells, any palette index in each) is the same
// for every scene: filling it per input would cost more than most renders.
// It stays fenced, and is compared with its first state after each call.
const Fenced& SharedInverse() {
  static const Fenced* const table = [] {
    auto* block = new Fenced(32768);
    std::uint32_t x = 0x9E3779B9u;
    for (std::size_t i = 0; i < block->size(); ++i) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      block->data()[i] = static_cast<std::uint8_t>(x >> 8);
    }
    return block;
  }();
  return *table;
}

const std::vector<std::uint8_t>& InverseAsMade() {
  static const std::vector<std::uint8_t> bytes(SharedInverse().data(), SharedInverse().data() + SharedInverse().size());
  return bytes;
}
const PixelViewOps kFailingOps = {&NoMemory, &NoMemory};

// Depths and pixel sizes Glissade hands over, plain and expanded.
struct Shape {
  std::int32_t depth, bytes;
};
constexpr Shape kShapes[] = {{8, 1}, {16, 2}, {24, 3}, {32, 4}, {8, 3}, {8, 4}, {16, 3}, {16, 4}};

constexpr std::int64_t kMaxSide = 40;
constexpr std::int64_t kMaxMemory = 64 * 1024;

std::int32_t Coordinate(Input& in) {
  const std::uint8_t b = in.Byte();
  return b < 240 ? static_cast<std::int32_t>(b) - 120 : in.Int();
}

std::int64_t Side(Input& in) {
  const std::uint8_t b = in.Byte();
  return b < 248 ? b % (kMaxSide + 1) : in.Int();
}

std::int32_t Wrap(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

void FillBytes(std::uint8_t* bytes, std::size_t n, std::uint32_t seed) {
  std::uint32_t x = seed | 1;
  for (std::size_t i = 0; i < n; ++i) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    bytes[i] = static_cast<std::uint8_t>(x >> 8);
  }
}

std::unique_ptr<Fenced> FilledBlock(std::size_t bytes, std::uint32_t seed) {
  auto block = std::make_unique<Fenced>(bytes);
  FillBytes(block->data(), bytes, seed);
  return block;
}

// Appends the block's bytes; snapshots keep their capacity between draws.
void AppendBytes(const Fenced* block, std::vector<std::uint8_t>* out) {
  if (block != nullptr) out->insert(out->end(), block->data(), block->data() + block->size());
}

bool Same(const Fenced* block, const std::vector<std::uint8_t>& before) {
  return block == nullptr || before.empty() || std::memcmp(block->data(), before.data(), before.size()) == 0;
}

AreaRect Intersection(const AreaRect& a, const AreaRect& b) {
  AreaRect r{};
  r.left = std::max(a.left, b.left), r.top = std::max(a.top, b.top);
  r.right = std::min(a.right, b.right), r.bottom = std::min(a.bottom, b.bottom);
  return r;
}

std::string Text(const AreaRect& r) {
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
         std::to_string(r.bottom) + " | " + std::to_string(r.width) + "x" + std::to_string(r.height) + " area " +
         std::to_string(r.area) + ")";
}

std::string Text(const PixelView& v) {
  return "bounds " + Text(v.bounds) + " clip " + Text(v.clip) + " depth " + std::to_string(v.depth) + " bpp " +
         std::to_string(v.bytesPerPixel) + " rowLength " + std::to_string(v.rowLength) + " rowStep " +
         std::to_string(v.rowStep) + (v.base ? "" : " no memory");
}

}  // namespace

AreaRect HostileRect(Input& in, std::int64_t left, std::int64_t top, std::int64_t right,
                     std::int64_t bottom, bool lie) {
  AreaRect r{};
  r.left = Wrap(left), r.top = Wrap(top), r.right = Wrap(right), r.bottom = Wrap(bottom);
  const std::int64_t width = std::int64_t{r.right} - r.left, height = std::int64_t{r.bottom} - r.top;
  r.width = Wrap(width), r.height = Wrap(height);
  r.area = Wrap(static_cast<std::int64_t>(static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height)));
  r.originX = r.left, r.originY = r.top;
  if (lie) {
    r.width = in.Int(), r.height = in.Int(), r.area = in.Int();
    r.originX = in.Int(), r.originY = in.Int(), r.tag = in.Int();
  }
  return r;
}

HostView::HostView(Input& in, Role role) {
  PixelView& v = *view_.get();
  // The shape: Glissade's own mostly, any numbers sometimes.
  const std::uint8_t pick = in.Byte();
  Shape shape = kShapes[pick % 8];
  if (role == Role::kMask && pick < 200) shape = {8, 1};
  if (pick >= 248) shape = {in.Int(), in.Int()};
  const std::int64_t left = Coordinate(in), top = Coordinate(in);
  const std::int64_t width = Side(in), height = Side(in);
  const bool lie = in.Below(8) == 0;
  v.bounds = HostileRect(in, left, top, left + width, top + height, lie);
  v.clip = v.bounds;
  if (in.Below(4) == 0) {
    const std::int64_t l = Coordinate(in), t = Coordinate(in), r = Coordinate(in), b = Coordinate(in);
    v.clip = HostileRect(in, l, t, r, b, in.Flag());
  }
  v.depth = shape.depth;
  v.bytesPerPixel = shape.bytes;
  // Rows padded to 4 bytes; or wider (a sub-view of a wider image); or
  // too short for a row, or any number.
  const std::int64_t rowBytes = width * shape.bytes;
  std::int64_t rowLength = (rowBytes + 3) & ~std::int64_t{3};
  switch (in.Below(8)) {
    case 5: rowLength += in.Below(64); break;
    case 6: rowLength -= 1 + in.Below(4); break;
    case 7: rowLength = in.Int(); break;
    default: break;
  }
  v.rowLength = Wrap(rowLength);
  v.rowPadding = Wrap(rowLength - rowBytes);
  v.rowStep = in.Below(16) == 0 ? in.Int() : Wrap(-rowLength);
  v.rowSkip = Wrap(-rowLength - rowBytes);
  v.ops = in.Below(16) == 0 ? &kFailingOps : &kOps;

  // The memory its fields give it, when that is a size a host could have.
  const std::int64_t rows = std::int64_t{v.bounds.bottom} - v.bounds.top;
  const std::int64_t bytes = rows * v.rowLength;
  rows_ = rows;
  if (rows >= 0 && v.rowLength >= 0 && bytes <= kMaxMemory && in.Below(16) != 0) {
    memory_ = FilledBlock(static_cast<std::size_t>(bytes), in.Word32());
    v.base = memory_->data();
    hasMemory_ = v.ops == &kOps;
    walkable_ = v.ops == &kOps && v.bytesPerPixel >= 1 && v.bytesPerPixel <= 16 &&
                std::int64_t{v.rowLength} >= (std::int64_t{v.bounds.right} - v.bounds.left) * v.bytesPerPixel;
  }
}

void HostView::Snapshot() {
  before_.clear();
  AppendBytes(memory_.get(), &before_);
}

bool HostView::Intact() const { return view_.Intact() && (memory_ == nullptr || memory_->Intact()); }

bool HostView::Unchanged() const { return Same(memory_.get(), before_); }

std::string HostView::WritesOutside(const AreaRect& allowed) const {
  if (memory_ == nullptr || Unchanged()) return {};
  const PixelView& v = *const_cast<FencedRecord<PixelView>&>(view_).get();
  if (!walkable_) return "wrote into a view no loop may walk";
  const std::int64_t rowLength = v.rowLength, bpp = v.bytesPerPixel;
  const std::int64_t pixelBytes = (std::int64_t{v.bounds.right} - v.bounds.left) * bpp;
  const std::uint8_t* now = memory_->data();
  for (std::size_t i = 0; i < before_.size(); ++i) {
    if (now[i] == before_[i]) continue;
    const std::int64_t row = static_cast<std::int64_t>(i) / rowLength;
    const std::int64_t column = static_cast<std::int64_t>(i) % rowLength;
    if (column >= pixelBytes) return "wrote into row padding";
    const std::int64_t y = std::int64_t{v.bounds.bottom} - 1 - row;
    const std::int64_t x = v.bounds.left + column / bpp;
    if (x < allowed.left || x >= allowed.right || y < allowed.top || y >= allowed.bottom)
      return "wrote pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") outside the update";
  }
  return {};
}

RenderScene::RenderScene(Input& in, Session& session)
    : dst_(in, HostView::Role::kColour),
      alpha_(in, HostView::Role::kMask),
      mask_(in, HostView::Role::kMask),
      src_(in, HostView::Role::kColour) {
  // Runs: one list per mask row, each closed by (0, 0, 0), counts that may
  // overrun the row; or none.
  const std::int64_t maskRows = mask_.Rows();
  if (in.Below(4) != 0 && maskRows >= 0 && maskRows <= kMaxSide) {
    std::vector<std::uint16_t> runs;
    for (std::int64_t row = 0; row < maskRows; ++row) {
      const std::uint32_t triples = in.Below(5);
      for (std::uint32_t t = 0; t < triples; ++t) {
        std::uint16_t counts[3];
        for (std::uint16_t& c : counts) {
          const std::uint8_t b = in.Byte();
          c = b < 224 ? static_cast<std::uint16_t>(b % 48) : static_cast<std::uint16_t>(in.Word32());
        }
        if (counts[0] == 0 && counts[1] == 0 && counts[2] == 0) counts[2] = 1;
        runs.insert(runs.end(), std::begin(counts), std::end(counts));
      }
      runs.insert(runs.end(), {0, 0, 0});
    }
    runs_ = std::make_unique<Fenced>(runs.size() * sizeof(std::uint16_t));
    if (!runs.empty()) std::memcpy(runs_->data(), runs.data(), runs_->size());
  }

  // The palette: planes read at index x stride + offset, and the inverse
  // table of 32768 cells.
  hasColours_ = in.Below(8) != 0;
  const std::int32_t offset = static_cast<std::int32_t>(in.Below(4));
  const std::int32_t stride = 1 + static_cast<std::int32_t>(in.Below(4));
  const std::size_t planeBytes = static_cast<std::size_t>(offset + 255 * stride + 1);
  const std::uint32_t seed = in.Word32();
  red_ = FilledBlock(planeBytes, seed + 1);
  green_ = FilledBlock(planeBytes, seed + 2);
  blue_ = FilledBlock(planeBytes, seed + 3);
  ColourTable& c = *colours_.get();
  c.words[kColourOffsetWord] = static_cast<Word>(offset);
  c.words[kColourStrideWord] = static_cast<Word>(stride);
  c.words[kColourRedWord] = reinterpret_cast<Word>(red_->data());
  c.words[kColourGreenWord] = reinterpret_cast<Word>(green_->data());
  c.words[kColourBlueWord] = reinterpret_cast<Word>(blue_->data());
  c.words[kColourInverseWord] = reinterpret_cast<Word>(SharedInverse().data());

  hasThresholds_ = in.Below(16) != 0;
  ThresholdRecord& t = *thresholds_.get();
  if (in.Below(8) != 0) t.words[kThresholdAllocatorWord] = reinterpret_cast<Word>(session.allocator().Interface());
  t.words[kThresholdUpperWord] = static_cast<Word>(in.Flag() ? in.Byte() : in.Int());
  t.words[kThresholdLowerWord] = static_cast<Word>(in.Flag() ? in.Byte() : in.Int());
  if (in.Below(8) != 0) t.words[kThresholdOutRectWord] = reinterpret_cast<Word>(drawn_.get());
  if (in.Below(8) != 0) t.words[kThresholdOutRect2Word] = reinterpret_cast<Word>(drawn2_.get());

  hasSprite_ = in.Below(16) != 0;
  const std::int64_t left = Coordinate(in), top = Coordinate(in), width = Side(in), height = Side(in);
  *spriteRect_.get() = HostileRect(in, left, top, left + width, top + height, in.Below(8) == 0);
  if (in.Below(8) != 0) sprite_->words[kSpriteRectWord] = reinterpret_cast<Word>(spriteRect_.get());
}

bool RenderScene::MissingMemory() const {
  return !dst_.HasMemory() || !alpha_.HasMemory() || !mask_.HasMemory() || !src_.HasMemory();
}

void RenderScene::TraceScene(const std::string& call, const AreaRect& update, std::int32_t blend,
                              std::int32_t draw, std::int32_t align, std::int32_t hardMask, bool runs) {
  if (!Tracing()) return;
  VX_FUZZ_TRACE(call + ": update " + Text(update) + " blend " + std::to_string(blend) + " draw " + std::to_string(draw) +
        " align " + std::to_string(align) + " hardMask " + std::to_string(hardMask) + (runs ? " runs" : "") +
        (hasColours_ ? "" : " no palette") + (hasThresholds_ ? "" : " no thresholds"));
  VX_FUZZ_TRACE("  dst   " + Text(*dst_.view()));
  VX_FUZZ_TRACE("  alpha " + Text(*alpha_.view()));
  VX_FUZZ_TRACE("  mask  " + Text(*mask_.view()));
  VX_FUZZ_TRACE("  src   " + Text(*src_.view()));
}

void RenderScene::Snapshot() {
  dst_.Snapshot(), alpha_.Snapshot(), mask_.Snapshot(), src_.Snapshot();
  runsBefore_.clear();
  AppendBytes(runs_.get(), &runsBefore_);
  paletteBefore_.clear();
  for (const Fenced* plane : {red_.get(), green_.get(), blue_.get()}) AppendBytes(plane, &paletteBefore_);
  thresholdsBefore_ = *thresholds_.get();
}

void RenderScene::CheckUntouched(const std::string& what) {
  for (HostView* v : {&dst_, &alpha_, &mask_, &src_})
    if (!v->Intact()) Fail(what + ": wrote past a view's memory or record");
  const Fenced* blocks[] = {runs_.get(), red_.get(), green_.get(), blue_.get(), &SharedInverse()};
  for (const Fenced* block : blocks)
    if (block != nullptr && !block->Intact()) Fail(what + ": wrote past the runs or the palette");
  if (!colours_.Intact() || !thresholds_.Intact() || !drawn_.Intact() || !drawn2_.Intact() ||
      !sprite_.Intact() || !spriteRect_.Intact())
    Fail(what + ": wrote past a host record");
  if (!mask_.Unchanged() || !src_.Unchanged()) Fail(what + ": wrote into the sprite's source or mask");
  if (!Same(runs_.get(), runsBefore_)) Fail(what + ": wrote into the mask runs");
  std::size_t at = 0;
  for (const Fenced* plane : {red_.get(), green_.get(), blue_.get()}) {
    if (std::memcmp(plane->data(), paletteBefore_.data() + at, plane->size()) != 0)
      Fail(what + ": wrote into the palette");
    at += plane->size();
  }
  if (!Same(&SharedInverse(), InverseAsMade())) Fail(what + ": wrote into the palette's inverse table");
  if (std::memcmp(thresholds_.get(), &thresholdsBefore_, sizeof(ThresholdRecord)) != 0)
    Fail(what + ": wrote into the mask-threshold record");
}

namespace {

struct Flags {
  std::int32_t blend, draw, align, hardMask;
};

Flags DecodeFlags(Input& in) {
  Flags f{};
  f.blend = in.Below(4) == 0 ? in.Int() : in.Byte();
  f.draw = in.Below(4) == 0 ? in.Int() : static_cast<std::int32_t>(in.Below(2));
  f.align = in.Below(8) == 0 ? in.Int() : static_cast<std::int32_t>(in.Below(3));
  f.hardMask = in.Below(8) == 0 ? in.Int() : static_cast<std::int32_t>(in.Below(2));
  return f;
}

// The update: the destination's bounds, a part of them, or anything.
AreaRect DecodeUpdate(Input& in, const AreaRect& d) {
  switch (in.Below(4)) {
    case 0:
      return HostileRect(in, d.left, d.top, d.right, d.bottom, false);
    case 1: {
      const std::int64_t left = std::int64_t{d.left} + static_cast<std::int8_t>(in.Byte());
      const std::int64_t top = std::int64_t{d.top} + static_cast<std::int8_t>(in.Byte());
      const std::int64_t width = in.Below(64), height = in.Below(64);
      return HostileRect(in, left, top, left + width, top + height, in.Below(8) == 0);
    }
    default: {
      const std::int64_t left = Coordinate(in), top = Coordinate(in), right = Coordinate(in), bottom = Coordinate(in);
      return HostileRect(in, left, top, right, bottom, in.Below(4) == 0);
    }
  }
}

void CheckStatus(Session& session, std::size_t failedBefore, Status s, const std::string& what,
                 bool missingMemory = false) {
  session.CheckHeap(what);
  const bool allocationFailed = session.allocator().FailedCount() != failedBefore;
  if (s == kOk || (s == kOutOfMemory && allocationFailed) || (s == kViewNoMemory && missingMemory)) return;
  Fail(what + ": status " + std::to_string(s));
}

}  // namespace

void RenderScene::Draw(Input& in, LiveEffect& e, Session& session, bool withAlpha) {
  const Flags f = DecodeFlags(in);
  FencedRecord<AreaRect> update;
  *update.get() = DecodeUpdate(in, dst_.bounds());
  const AreaRect given = *update.get();
  const std::uint16_t* runs =
      runs_ != nullptr && in.Below(4) != 0 ? reinterpret_cast<const std::uint16_t*>(runs_->data()) : nullptr;
  ColourTable* colours = hasColours_ ? colours_.get() : nullptr;
  ThresholdRecord* thresholds = hasThresholds_ ? thresholds_.get() : nullptr;
  Snapshot();
  const std::size_t failed = session.allocator().FailedCount();
  const std::string what = e.cls->name + (withAlpha ? " RenderWithAlpha" : " Render");
  TraceScene(what, given, f.blend, f.draw, f.align, f.hardMask, runs != nullptr);
  const Status s =
      withAlpha ? e.ops().RenderWithAlpha(e.self(), dst_.view(), alpha_.view(), src_.view(), mask_.view(), update.get(),
                                          runs, colours, f.blend, f.draw, f.align, thresholds)
                : e.ops().Render(e.self(), dst_.view(), src_.view(), update.get(), mask_.view(), runs, colours, f.blend,
                                 f.draw, f.align, f.hardMask, thresholds);
  CheckStatus(session, failed, s, what, MissingMemory());
  if (!update.Intact()) Fail(what + ": wrote past the update rectangle");
  CheckUntouched(what);
  // The colour-plus-alpha form draws only for the effects that change
  // alpha; their alpha plane may be cleared whole, inside its fences.
  if (withAlpha && !e.cls->changesAlpha) {
    if (!dst_.Unchanged() || !alpha_.Unchanged()) Fail(what + ": drew, though the effect keeps the sprite's alpha");
    return;
  }
  const std::string outside = dst_.WritesOutside(Intersection(given, dst_.bounds()));
  if (!outside.empty()) Fail(what + ": destination: " + outside);
  if (!withAlpha && !alpha_.Unchanged()) Fail(what + ": wrote into a view it was not given");
}

void RenderScene::HitTest(Input& in, LiveEffect& e, Session& session) {
  HostView& alpha = in.Flag() ? mask_ : alpha_;
  const std::int32_t vertical = in.Flag() ? Coordinate(in) : in.Int();
  const std::int32_t horizontal = in.Flag() ? Coordinate(in) : in.Int();
  constexpr std::int32_t kUnset = -12345;
  std::int32_t value = kUnset;
  Snapshot();
  const std::string what = e.cls->name + " GetAlphaAt";
  VX_FUZZ_TRACE(what + " (" + std::to_string(horizontal) + ", " + std::to_string(vertical) + ") on " + Text(*alpha.view()) +
        (hasSprite_ ? "" : " no sprite"));
  const Status s = e.ops().GetAlphaAt(e.self(), alpha.view(), vertical, horizontal, &value,
                                      hasSprite_ ? sprite_.get() : nullptr);
  CheckStatus(session, session.allocator().FailedCount(), s, what);
  CheckUntouched(what);
  if (!dst_.Unchanged() || !alpha_.Unchanged()) Fail(what + ": wrote into a view");
  if (e.cls->changesAlpha ? (value < 0 || value > 255) : value != kUnset)
    Fail(what + ": answered " + std::to_string(value));
}

}  // namespace vx::fuzz
