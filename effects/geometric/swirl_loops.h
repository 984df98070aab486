// The swirl's pixel loops: the generic sampled walk over one quadrant with
// the swirl mapping, a sampler that takes the single mask byte at the
// sample's pixel (none outside the sprite, and none at or below the lower
// threshold) and a colour whose bilinear taps outside the sprite take the
// nearest pixel inside, and the compositing or colour-plus-alpha sinks.
#pragma once

#include <cstdint>

#include "effects/geometric/swirl_mapping.h"
#include "framework/compositing.h"
#include "framework/pixel_view.h"
#include "framework/sprite_records.h"

namespace vx {

// What a swirl loop reads for one quadrant, prepared once per render: the
// destination (and alpha) over the quadrant, and the mask and colour over
// the sampled region of the sprite.
struct SwirlLoopJob : SampledTarget {
  ViewWalk mask;
  ViewWalk colour;
};

// Picks and runs the `Render` loop for the formats of `colour` (source) and
// `destination`; false when the pair has no loop (nothing drawn).
bool RunSwirlLoop(const PixelView& colour, const PixelView& destination, bool interpolate,
                  const SwirlLoopJob& job, const SwirlMapping& mapping);

// Picks and runs the `RenderWithAlpha` loop: the destination colour is
// expanded and its depth names the source format.
bool RunSwirlAlphaLoop(const PixelView& colour, const PixelView& destinationColour,
                       bool interpolate, const SwirlLoopJob& job, const SwirlMapping& mapping);

}  // namespace vx
