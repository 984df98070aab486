// Magnify's pixel loops: the generic sampled walk over one quadrant, in the
// quadrant's own order, with the magnify mapping, a sampler whose colour
// taps outside the source take the nearest source pixel and whose mask is
// the byte at the destination pixel itself, and the compositing sinks of
// the threshold and hard-mask paths.
#pragma once

#include <cstdint>

#include "effects/geometric/magnify_geometry.h"
#include "framework/compositing.h"
#include "framework/pixel_view.h"
#include "framework/sprite_records.h"

namespace vx {

// What a magnify loop reads for one quadrant, prepared once per render:
// the destination and the mask over the quadrant, the whole source view.
struct MagnifyLoopJob : SampledTarget {
  ViewWalk mask;
  ViewWalk source;
};

// Picks and runs the loop for the formats of `source` and `destination`;
// `hardMask` stores the sample's three bytes where the mask passes the
// lower threshold. False when the pair has no loop (nothing drawn).
bool RunMagnifyLoop(const PixelView& source, const PixelView& destination, bool interpolate,
                    bool hardMask, const MagnifyLoopJob& job, const MagnifyMapping& mapping);

}  // namespace vx
