#include "framework/effect_ops.h"

#include <cstring>

#include "framework/descriptions.h"
#include "framework/properties.h"

namespace vx {
namespace {

HostAllocator* AllocatorOf(const Services* services) {
  return services != nullptr ? services->allocator : nullptr;
}

}  // namespace

Status CopyTextToHost(const char* text, Services* services, char** out) {
  HostAllocator* allocator = AllocatorOf(services);
  if (allocator == nullptr) return kOutOfMemory;
  const std::size_t bytes = std::strlen(text) + 1;
  void* block = allocator->ops->Alloc(allocator, static_cast<std::uint32_t>(bytes));
  if (block == nullptr) return kOutOfMemory;
  std::memcpy(block, text, bytes);
  *out = static_cast<char*>(block);
  return kOk;
}

PropertyDesc* BuildPropertyTable(const PropertyRow* rows, std::int32_t count,
                                 Services* services) {
  HostAllocator* allocator = AllocatorOf(services);
  if (allocator == nullptr) return nullptr;
  const auto bytes = static_cast<std::uint32_t>(sizeof(PropertyDesc)) *
                     static_cast<std::uint32_t>(count);
  auto* table = static_cast<PropertyDesc*>(allocator->ops->Alloc(allocator, bytes));
  if (table == nullptr) return nullptr;
  // Rows without a key, and rows whose symbol cannot be made, reach the host
  // as zeros rather than whatever the block held.
  std::memset(static_cast<void*>(table), 0, bytes);
  for (std::int32_t i = 0; i < count; ++i)
    if (rows[i].key != nullptr)
      AddPropertyDesc(table, i, rows[i].key, rows[i].id, rows[i].type, services);
  return table;
}

void LoadDescriptionText(InstanceHeader* header, Services* services, std::int32_t id,
                         char** outText) {
  *outText = nullptr;
  // Missing text and allocation failure both leave the null in place.
  (void)LoadDescription(header->provider, services, id, outText);
}

void CommonNeedsRedraw(AnimState* anim, std::int32_t* out, std::int32_t reason) {
  std::int32_t redraw = anim->finished == 0 || reason == 2 ? 1 : 0;
  if (anim->frameCount == -1) {
    anim->frameCount = 0;
    redraw = 1;
  }
  *out = redraw;
}

void CommonSetFinished(AnimState* anim, std::int32_t finished, std::int32_t* changed) {
  anim->finished = finished;
  if (anim->mode != kModeStatic) *changed = 1;
}

}  // namespace vx
