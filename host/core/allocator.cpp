#include "host/core/allocator.h"

#include <cstdlib>
#include <cstring>

namespace vx::host {
namespace {

using Bound = BoundInterface<HostAllocator, Allocator>;

Status VX_CALL QueryInterface(HostAllocator*, const Guid*, void** out) {
  if (out != nullptr) *out = nullptr;
  return kNoInterface;
}
std::uint32_t VX_CALL AddRef(HostAllocator*) { return 1; }
std::uint32_t VX_CALL Release(HostAllocator*) { return 1; }
void* VX_CALL Alloc(HostAllocator* self, std::uint32_t bytes) {
  return Bound::OwnerOf(self)->Allocate(bytes);
}
Status VX_CALL Free(HostAllocator* self, void* block) {
  return Bound::OwnerOf(self)->Free(block) ? kOk : kHostFailure;
}

const HostAllocatorOps kOps = {&QueryInterface, &AddRef, &Release, &Alloc, &Free};

std::uint8_t* Outer(void* block) { return static_cast<std::uint8_t*>(block) - Allocator::kGuardBytes; }

bool GuardIntact(const void* block, std::uint32_t bytes) {
  const auto* inner = static_cast<const std::uint8_t*>(block);
  for (std::size_t i = 1; i <= Allocator::kGuardBytes; ++i)
    if (inner[-static_cast<std::ptrdiff_t>(i)] != Allocator::kGuardByte) return false;
  for (std::size_t i = 0; i < Allocator::kGuardBytes; ++i)
    if (inner[bytes + i] != Allocator::kGuardByte) return false;
  return true;
}

}  // namespace

Allocator::Allocator() : bound_{{&kOps}, this} {}

Allocator::~Allocator() {
  for (auto& [block, size] : live_) std::free(Outer(block));
}

void* Allocator::Allocate(std::uint32_t bytes) {
  ++allocations_;
  bool fail = failAll_;
  if (failCountdown_ != 0 && --failCountdown_ == 0) fail = true;
  if (fail) {
    ++failed_;
    return nullptr;
  }
  // The extra byte keeps a zero-byte request from yielding null (null means
  // failure); a total that wraps (32-bit) cannot take the guards.
  std::size_t total = bytes;
  total += 2 * kGuardBytes + 1;
  auto* outer = total > bytes ? static_cast<std::uint8_t*>(std::malloc(total)) : nullptr;
  if (outer == nullptr) {
    ++failed_;
    return nullptr;
  }
  std::memset(outer, kGuardByte, total);
  void* block = outer + kGuardBytes;
  live_.emplace(block, bytes);
  liveBytes_ += bytes;
  return block;
}

bool Allocator::Free(void* block) {
  auto found = live_.find(block);
  if (found == live_.end()) {
    ++badFrees_;
    return false;
  }
  if (!GuardIntact(block, found->second)) ++brokenGuards_;
  liveBytes_ -= found->second;
  live_.erase(found);
  std::free(Outer(block));
  return true;
}

bool Allocator::GuardsIntact() const {
  for (const auto& [block, size] : live_)
    if (!GuardIntact(block, size)) return false;
  return true;
}

std::uint32_t Allocator::BlockSize(const void* block) const {
  auto found = live_.find(const_cast<void*>(block));
  return found == live_.end() ? 0 : found->second;
}

}  // namespace vx::host
