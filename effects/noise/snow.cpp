#include "effects/noise/snow.h"

#include "framework/properties.h"

namespace vx {
namespace {

enum PropertyIndex { kSpeedRow = 3, kIntensityRow, kStrengthRow, kChromaRow };

}  // namespace

void ChromaBits(std::int32_t chroma, std::int32_t* bits, std::int32_t* walkMask) {
  *walkMask = 0;
  switch (chroma) {
    case 0:
      *bits = 0;
      break;
    case 1:
      *bits = 7;
      break;
    case 2:
      *bits = 0;
      *walkMask = 65535;
      break;
    default:
      // Only the low three bits count: 9 acts as 1, 10 as 0.
      *bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(chroma) - 2u);
      break;
  }
}

void Snow::SetDefaults(Snow& e) {
  e.noise.phaseStep = 1.0f;
  e.snowShift = 2;
  e.colourBits = 0;
  e.colourWalkMask = 0;
}

Status Snow::AcquireResources(Snow& e) {
  return OpenNoiseLayers(&e.noise, e.header.provider, e.header.allocator);
}

void Snow::FreeBuffers(Snow& e) { CloseNoiseLayers(&e.noise, e.header.allocator); }

Status Snow::Reset(Snow& e, Services*, std::int32_t* outA, std::int32_t*) {
  RestoreCreateState(e);
  *outA = 1;
  SetLayerCount(&e.noise, 4, e.header.allocator);
  return kOk;
}

void Snow::ApplyProperties(Snow& e, const HostValue* list, Services* services,
                           std::int32_t* restarted) {
  const PropertyDesc* table = e.propertyTable;
  auto read = [&](int row) { return GetIntProperty(list, table[row].keySymbol, services); };
  const std::int32_t speed = read(kSpeedRow);
  const std::int32_t intensity = read(kIntensityRow);
  const std::int32_t strength = read(kStrengthRow);
  const std::int32_t chroma = read(kChromaRow);

  if (speed != kAbsent) {
    ApplySpeed(&e.noise, speed);
    *restarted = 1;
  }
  if (strength != kAbsent && strength >= 0 && strength <= 6) e.snowShift = 6 - strength;
  ApplyIntensity(&e.noise, intensity, e.header.allocator);
  if (chroma != kAbsent) ChromaBits(chroma, &e.colourBits, &e.colourWalkMask);
  if (speed == 0) {
    e.anim.finished = 1;
    e.anim.mode = kModeStatic;
    e.anim.frame = 1;
  } else {
    e.anim.finished = 0;
    e.anim.mode = kModeInfinite;
    e.anim.frame = 0;
  }
}

}  // namespace vx
