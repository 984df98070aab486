// The module's ten classes and the walk every export uses to visit them.
#pragma once

#include <cstdint>

#include "vornix/abi.h"

namespace vx {

using InterfaceBuilder = Status (*)(void* instance, void** out);

using ClassCallback = Status (*)(const Guid& classId, std::uint32_t classVersion,
                                 std::int32_t instanceSize, CreateFn create, DestroyFn destroy,
                                 void* context);
using InterfaceCallback = Status (*)(const Guid& classId, std::uint32_t classVersion,
                                     const Guid& interfaceId, std::uint32_t interfaceVersion,
                                     InterfaceBuilder builder, void* context);

// Visits the rows in table order, skipping rows whose class id differs from
// a non-null `classFilter`. The first non-zero callback result ends the walk
// and is returned; otherwise 0.
Status WalkClassTable(const Guid* classFilter, ClassCallback onClass,
                      InterfaceCallback onInterface, void* context);

inline constexpr int kClassCount = 10;

}  // namespace vx
