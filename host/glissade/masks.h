// Glissade's run-length mask and its mask-threshold record.
#pragma once

#include <cstdint>
#include <vector>

#include "host/glissade/image.h"
#include "vornix/abi.h"

namespace vx::glissade {

// The runs of a whole mask image (one byte per pixel), top row first: per
// row, (transparent, partial, opaque) triples closed by (0, 0, 0). A byte 0
// is transparent, 255 opaque, anything else partial.
std::vector<std::uint16_t> MakeMaskRuns(const Image& mask);

// A record with the upper and lower mask thresholds in words 6 and 7.
ThresholdRecord MakeThresholdRecord(std::int32_t upper, std::int32_t lower);

}  // namespace vx::glissade
