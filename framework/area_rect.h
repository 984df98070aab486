// Operations on AreaRect, the rectangle all geometry uses: edges with
// exclusive right and bottom, plus cached height, width and area that every
// edge change recomputes. The record itself is the 40-byte POD of the ABI.
#pragma once

#include <cstdint>

#include "vornix/abi.h"

namespace vx {

// Edges and tag as given; origin (left, top).
AreaRect MakeRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                  std::int32_t tag = 0);
inline AreaRect EmptyRect() { return AreaRect{}; }
// Edges and tag of `src`; measures recomputed, origin (left, top).
AreaRect CopyRect(const AreaRect& src);

// The host's four-edge rectangle record and back (measures recomputed).
inline RectRecord ToRecord(const AreaRect& a) {
  RectRecord r;
  r.top = a.top;
  r.left = a.left;
  r.bottom = a.bottom;
  r.right = a.right;
  return r;
}
inline AreaRect FromRecord(const RectRecord& r) {
  return MakeRect(r.left, r.top, r.right, r.bottom);
}

// Height |bottom - top|, width |right - left|, area width x height.
void RecomputeMeasures(AreaRect* r);

// `r` becomes the overlap of `a` and `b`; no overlap leaves width, height
// and area 0 (the edges may cross).
void Intersect(AreaRect* r, const AreaRect& a, const AreaRect& b);

// A move across the plane. Two host rectangles can lie anywhere, so the
// distance between them, and a rectangle moved by it, is taken in 64 bits.
// Every move below follows the rule of framework/saturating.h: a rectangle
// whose edges would leave 32 bits cannot exist and comes back empty.
struct Shift {
  std::int64_t x = 0, y = 0;
};
inline Shift operator+(Shift a, Shift b) { return {a.x + b.x, a.y + b.y}; }
inline Shift operator-(Shift a) { return {-a.x, -a.y}; }
// The move from `from`'s top-left corner to `to`'s.
inline Shift Between(const AreaRect& from, const AreaRect& to) {
  return {std::int64_t{to.left} - from.left, std::int64_t{to.top} - from.top};
}
// The move that centres `r` in `other` (halves by arithmetic shift).
Shift CentringShift(const AreaRect& r, const AreaRect& other);
// `r` moved by `s`, measures recomputed; empty when it cannot exist.
AreaRect Moved(const AreaRect& r, Shift s);
// The part of `r` moved by `s` that lies in the plane, for a region that is
// only cut against others (an update, a clip); measures recomputed.
AreaRect MovedAndCut(const AreaRect& r, Shift s);
// The part of `area` that `r` moved by `s` covers, in `area`'s coordinates
// (so it always exists); measures recomputed.
AreaRect ClipToPlaced(const AreaRect& area, const AreaRect& r, Shift s);

// The centre column and row, left + width / 2 and top + height / 2 (halves
// by arithmetic shift); exact for ordered edges, saturated otherwise.
std::int32_t CentreX(const AreaRect& r);
std::int32_t CentreY(const AreaRect& r);

// Keeps the size; centred in `other` (halves by arithmetic shift).
void CentreIn(AreaRect* r, const AreaRect& other);
// Keeps the size; centred on (x, y).
void CentreOn(AreaRect* r, std::int32_t x, std::int32_t y);
void Offset(AreaRect* r, std::int64_t dx, std::int64_t dy);
// A host point record is (vertical, horizontal).
inline void Offset(AreaRect* r, const PointRecord& p) { Offset(r, p.horizontal, p.vertical); }
// Moves the edges by minus (x, y); measures are unchanged.
void Subtract(AreaRect* r, std::int64_t x, std::int64_t y);
inline void Subtract(AreaRect* r, const PointRecord& p) { Subtract(r, p.horizontal, p.vertical); }
// Keeps the size; left = top = 0.
void MoveToOrigin(AreaRect* r);

void SetLeft(AreaRect* r, std::int32_t v);
void SetTop(AreaRect* r, std::int32_t v);
void SetRight(AreaRect* r, std::int32_t v);
void SetBottom(AreaRect* r, std::int32_t v);

// The four edges are equal.
bool Equals(const AreaRect& a, const AreaRect& b);
// `inner` lies wholly inside `outer`.
bool Contains(const AreaRect& outer, const AreaRect& inner);

}  // namespace vx
