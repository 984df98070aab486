// Turning parsed property lists and script arguments into host values, and
// checking them against an effect's property table.
#pragma once

#include <string>
#include <vector>

#include "host/core/values.h"
#include "plist.h"
#include "vornix/abi.h"

namespace vx::preview {

// Points are written point(h, v) and rects rect(left, top, right, bottom);
// the host records keep (vertical, horizontal) and (top, left, bottom, right).
// The host keeps only property lists: a linear list goes over as an empty
// list (LinearListWarnings names them beforehand).
HostValue ToHostValue(host::Values& values, const Node& node);

// One warning per linear list with items inside `node`: its items cannot
// reach the effect.
std::vector<std::string> LinearListWarnings(const Node& node);

// A host value in the written form ("point(10, 20)", "#range", ...).
std::string ValueText(host::Values& values, const HostValue& value);

// The host's name for a value-type code ("integer", "symbol", ...).
std::string TypeName(std::int32_t typeCode);

// The #animMode symbols, in the order of their codes.
inline constexpr const char* kAnimModes[] = {"static", "range", "infinite", "pendulum", "follow",
                                             "relativeToPoint"};

// Warnings for the keys of `list` that the table does not have, and for
// values the module could not read as the type its table gives, and for an
// #animMode symbol that names no mode.
std::vector<std::string> CheckAgainstTable(host::Values& values, const Node& list,
                                           const PropertyDesc* table, std::int32_t count);

}  // namespace vx::preview
