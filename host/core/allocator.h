// The host allocator handed to the module (instance header word 3, services
// word 3). Counts what is live and can be told to fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

#include "host/core/bound_interface.h"
#include "vornix/abi.h"

namespace vx::host {

// The generic failure status our host services answer with.
inline constexpr Status kHostFailure = static_cast<Status>(0x80004005u);

class Allocator {
 public:
  Allocator();
  ~Allocator();
  Allocator(const Allocator&) = delete;
  Allocator& operator=(const Allocator&) = delete;

  HostAllocator* Interface() { return &bound_.iface; }

  void* Allocate(std::uint32_t bytes);
  // False (and nothing freed) for a block this allocator did not hand out.
  bool Free(void* block);

  // The `n`th allocation from now fails (1 = the next); 0 disarms.
  void FailNth(std::uint32_t n) { failCountdown_ = n; }
  void FailAll(bool fail) { failAll_ = fail; }
  // Requests above `bytes` fail, as a host short of memory fails them; 0
  // (the default) sets no limit.
  void FailAbove(std::uint32_t bytes) { failAbove_ = bytes; }

  std::size_t LiveBlocks() const { return live_.size(); }
  std::size_t LiveBytes() const { return liveBytes_; }
  std::size_t RequestCount() const { return allocations_; }  // failed ones too
  std::size_t FailedCount() const { return failed_; }
  std::size_t BadFreeCount() const { return badFrees_; }
  // Size of a live block, 0 when the block is not live.
  std::uint32_t BlockSize(const void* block) const;

  // Every block sits between guard bytes (poisoned under AddressSanitizer,
  // so that reading them is caught too). False when a byte around a live
  // block has changed; blocks freed with a broken guard are counted.
  bool GuardsIntact() const;
  std::size_t BrokenGuardCount() const { return brokenGuards_; }
  static constexpr std::size_t kGuardBytes = 16;
  static constexpr std::uint8_t kGuardByte = 0xA5;

 private:
  BoundInterface<HostAllocator, Allocator> bound_;
  std::unordered_map<void*, std::uint32_t> live_;
  std::size_t liveBytes_ = 0;
  std::size_t allocations_ = 0;
  std::size_t failed_ = 0;
  std::size_t badFrees_ = 0;
  std::size_t brokenGuards_ = 0;
  std::uint32_t failCountdown_ = 0;
  std::uint32_t failAbove_ = 0;
  bool failAll_ = false;
};

}  // namespace vx::host
