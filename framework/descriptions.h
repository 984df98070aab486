// Copying the module's resources into host memory: the effects' description
// texts and raw byte resources such as the speck map.
#pragma once

#include <cstdint>

#include "vornix/abi.h"

namespace vx {

inline constexpr char kDescriptionType[] = "MDESCRIBE";

// Copies description `resourceNumber` into a block from the services' host
// allocator and stores it in `outText`: the text (the resource's bytes up to
// its first zero byte or its end), then zero bytes, length + 3 in all.
// A missing resource gives 0 with `outText` untouched; a failed allocation
// 0x80040002, also with `outText` untouched.
Status LoadDescription(ServiceProvider* provider, Services* services, std::int32_t resourceNumber,
                       char** outText);

// Copies resource `name` of `type`, byte for byte, into a block from
// `allocator` and stores it in `outBytes`. A missing resource gives 0 with
// `outBytes` untouched; a failed allocation 0x80040002. `outSize`, when
// given, receives the copy's size.
Status LoadResourceCopy(ServiceProvider* provider, HostAllocator* allocator, std::int32_t name,
                        const char* type, Word unused, std::uint8_t** outBytes,
                        std::uint32_t* outSize = nullptr);

}  // namespace vx
