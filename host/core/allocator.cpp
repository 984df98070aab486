#include "host/core/allocator.h"

#include <cstdlib>
#include <cstring>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VX_ASAN 1
#endif
#if defined(VX_ASAN)
#include <sanitizer/asan_interface.h>
#endif

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

// The guards on both sides of a block: poisoned while the block is live,
// so that a sanitized module reading them stops at once.
void PoisonGuards([[maybe_unused]] const void* block, [[maybe_unused]] std::uint32_t bytes,
                  [[maybe_unused]] bool poison) {
#if defined(VX_ASAN)
  const auto* inner = static_cast<const std::uint8_t*>(block);
  if (poison) {
    ASAN_POISON_MEMORY_REGION(inner - Allocator::kGuardBytes, Allocator::kGuardBytes);
    ASAN_POISON_MEMORY_REGION(inner + bytes, Allocator::kGuardBytes + 1);
  } else {
    ASAN_UNPOISON_MEMORY_REGION(inner - Allocator::kGuardBytes, Allocator::kGuardBytes);
    ASAN_UNPOISON_MEMORY_REGION(inner + bytes, Allocator::kGuardBytes + 1);
  }
#endif
}

bool GuardIntact(const void* block, std::uint32_t bytes) {
  PoisonGuards(block, bytes, false);
  struct Repoison {
    const void* block;
    std::uint32_t bytes;
    ~Repoison() { PoisonGuards(block, bytes, true); }
  } repoison{block, bytes};
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
  for (auto& [block, size] : live_) {
    PoisonGuards(block, size, false);
    std::free(Outer(block));
  }
}

void* Allocator::Allocate(std::uint32_t bytes) {
  ++allocations_;
  bool fail = failAll_ || (failAbove_ != 0 && bytes > failAbove_);
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
  PoisonGuards(block, bytes, true);
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
  PoisonGuards(block, found->second, false);
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
