// Glissade's side of a render as a hostile host could hand it over: views
// of any geometry and depth, each with exactly the memory its fields give
// it (bounds height x row length from its base, fenced), rectangles that
// disagree with each other, mask runs whose counts overrun their rows,
// palettes and records; and what the module may have written afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"

namespace vx::fuzz {

// A view and the pixel memory it owns.
class HostView {
 public:
  enum class Role { kColour, kMask };
  HostView(Input& in, Role role);

  PixelView* view() { return view_.get(); }
  const AreaRect& bounds() { return view_->bounds; }
  std::int64_t Rows() const { return rows_; }
  // A layout a loop may walk: whole rows of whole pixels in its memory.
  bool Walkable() const { return walkable_; }
  // Its address operations answer its memory.
  bool HasMemory() const { return hasMemory_; }

  void Snapshot();
  bool Intact() const;  // fences of the record and of the memory
  bool Unchanged() const;
  // Bytes changed outside `allowed` (view coordinates) or in row padding;
  // empty when there are none.
  std::string WritesOutside(const AreaRect& allowed) const;

 private:
  FencedRecord<PixelView> view_;
  std::unique_ptr<Fenced> memory_;
  std::vector<std::uint8_t> before_;
  std::int64_t rows_ = 0;
  bool walkable_ = false;
  bool hasMemory_ = false;
};

class RenderScene {
 public:
  RenderScene(Input& in, Session& session);

  // Render (or RenderWithAlpha) and GetAlphaAt, with an update rectangle
  // and flags from the input, and every check of what the call left behind.
  void Draw(Input& in, LiveEffect& e, Session& session, bool withAlpha);
  void HitTest(Input& in, LiveEffect& e, Session& session);

 private:
  void Snapshot();
  void TraceScene(const std::string& call, const AreaRect& update, std::int32_t blend, std::int32_t draw,
                  std::int32_t align, std::int32_t hardMask, bool runs);
  // A view whose memory cannot be had may fail a render with the view's status.
  bool MissingMemory() const;
  // Fences, records and the views the call may not write.
  void CheckUntouched(const std::string& what);

  HostView dst_, alpha_, mask_, src_;
  std::unique_ptr<Fenced> runs_;
  std::vector<std::uint8_t> runsBefore_;
  std::unique_ptr<Fenced> red_, green_, blue_;
  std::vector<std::uint8_t> paletteBefore_;
  FencedRecord<ColourTable> colours_;
  bool hasColours_ = true;
  FencedRecord<ThresholdRecord> thresholds_;
  ThresholdRecord thresholdsBefore_{};
  bool hasThresholds_ = true;
  FencedRecord<AreaRect> drawn_, drawn2_;
  FencedRecord<SpriteDescription> sprite_;
  FencedRecord<AreaRect> spriteRect_;
  bool hasSprite_ = true;
};

// A rectangle with its edges, and cached measures that agree with them or,
// when `lie`, say anything.
AreaRect HostileRect(Input& in, std::int64_t left, std::int64_t top, std::int64_t right,
                     std::int64_t bottom, bool lie);

}  // namespace vx::fuzz
