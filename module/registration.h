// The registration class: describes every effect to Glissade once.
#pragma once

#include "vornix/abi.h"

namespace vx::registration {

inline constexpr std::int32_t kInstanceSize = sizeof(InstanceHeader);

Status VX_CALL Create(void* instance);
void VX_CALL Destroy(void* instance);
Status BuildInterface(void* instance, void** out);

}  // namespace vx::registration
