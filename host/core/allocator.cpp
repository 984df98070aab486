#include "host/core/allocator.h"

#include <cstdlib>

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

}  // namespace

Allocator::Allocator() : bound_{{&kOps}, this} {}

Allocator::~Allocator() {
  for (auto& [block, size] : live_) std::free(block);
}

void* Allocator::Allocate(std::uint32_t bytes) {
  ++allocations_;
  bool fail = failAll_;
  if (failCountdown_ != 0 && --failCountdown_ == 0) fail = true;
  if (fail) {
    ++failed_;
    return nullptr;
  }
  // Never hand out null for a zero-byte request: null means failure.
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) {
    ++failed_;
    return nullptr;
  }
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
  liveBytes_ -= found->second;
  live_.erase(found);
  std::free(block);
  return true;
}

std::uint32_t Allocator::BlockSize(const void* block) const {
  auto found = live_.find(const_cast<void*>(block));
  return found == live_.end() ? 0 : found->second;
}

}  // namespace vx::host
