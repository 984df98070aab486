// Property tables and reading values out of an author's property list.
//
// Every getter answers kAbsent (or 0 where it answers found / not found)
// when the list is not a list, the key is missing or the value does not
// convert; effects then keep their current setting.
#pragma once

#include <cstdint>

#include "framework/animation.h"
#include "vornix/abi.h"

namespace vx {

// Writes entry `index` of `table` as {symbol of keyText, valueType, id}. The
// entry is left as it was when the symbol cannot be made.
void AddPropertyDesc(PropertyDesc* table, std::int32_t index, const char* keyText,
                     std::int32_t propertyId, std::int32_t valueType, Services* services);

// 1 with the value under `key` in `out` (the caller releases it), else 0.
std::int32_t FindPropertyValue(const HostValue* list, Symbol key, HostValue* out,
                               Services* services);

std::int32_t GetIntProperty(const HostValue* list, Symbol key, Services* services);
// Degrees as 1/256 of a turn, truncated toward zero.
std::int32_t GetDegreesProperty(const HostValue* list, Symbol key, Services* services);
// Radians as 1/256 of a turn, truncated toward zero.
std::int32_t GetRadiansProperty(const HostValue* list, Symbol key, Services* services);
// 1 with the point in `out` when found and converted, else 0.
std::int32_t GetPointProperty(const HostValue* list, Symbol key, PointRecord* out,
                              Services* services);

// Mode code 0-5 of a symbol value. Status 0 on success, kNoSuchMode (and the
// symbol's own value returned) for an unknown symbol, or the value service's
// failure (and 0 returned).
std::int32_t ParseAnimMode(const HostValue* value, Services* services, Status* status);

// The list's #animMode (the key of table entry 0) as a mode code 0-5;
// kNoSuchMode for a symbol outside the mode table, so that no effect takes
// it for a mode; kAbsent when missing or unreadable.
std::int32_t GetAnimMode(const HostValue* list, const PropertyDesc* table, Services* services);

}  // namespace vx
