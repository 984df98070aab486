#include "framework/descriptions.h"

#include <cstring>
#include <limits>

#include "framework/resource_access.h"

namespace vx {
namespace {

// Holds the host's resource access open for one lookup and ends it on every
// path out.
class ResourceAccess {
 public:
  explicit ResourceAccess(ServiceProvider* provider) : provider_(provider) {
    searchHandle_ = provider_->ops->BeginResourceAccess(provider_, ModuleHandle(), &token_);
  }
  ~ResourceAccess() { provider_->ops->EndResourceAccess(provider_, ModuleHandle(), token_); }
  ResourceAccess(const ResourceAccess&) = delete;
  ResourceAccess& operator=(const ResourceAccess&) = delete;

  bool Find(const char* type, std::int32_t id, RawResource* out) const {
    return FindRawResource(searchHandle_, type, id, out);
  }

 private:
  ServiceProvider* provider_;
  Word token_ = 0;
  Word searchHandle_ = 0;
};

// Released before the access that found it ends.
class FoundResource {
 public:
  FoundResource() = default;
  ~FoundResource() { ReleaseRawResource(&raw_); }
  FoundResource(const FoundResource&) = delete;
  FoundResource& operator=(const FoundResource&) = delete;

  RawResource* Raw() { return &raw_; }
  const std::uint8_t* Bytes() const { return raw_.bytes; }
  std::uint32_t Size() const { return raw_.bytes != nullptr ? raw_.size : 0; }

 private:
  RawResource raw_{};
};

}  // namespace

Status LoadDescription(ServiceProvider* provider, Services* services, std::int32_t resourceNumber,
                       char** outText) {
  if (provider == nullptr || outText == nullptr) return kOk;
  HostAllocator* allocator = services != nullptr ? services->allocator : nullptr;
  if (allocator == nullptr) return kOutOfMemory;

  ResourceAccess access(provider);
  FoundResource found;
  if (!access.Find(kDescriptionType, resourceNumber, found.Raw())) return kOk;

  // The resource need not hold a zero byte: the text ends at the resource's
  // end then, never past it.
  const std::uint8_t* bytes = found.Bytes();
  std::uint32_t length = found.Size();
  const void* zero = length != 0 ? std::memchr(bytes, 0, length) : nullptr;
  if (zero != nullptr)
    length = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(zero) - bytes);
  if (length > std::numeric_limits<std::uint32_t>::max() - 3) return kOutOfMemory;

  auto* block = static_cast<char*>(allocator->ops->Alloc(allocator, length + 3));
  if (block == nullptr) return kOutOfMemory;
  if (length != 0) std::memcpy(block, bytes, length);
  // Hosts may read the text as a double-zero-terminated string; the last byte
  // is cleared too so no uninitialised memory leaves the module.
  block[length] = block[length + 1] = block[length + 2] = 0;
  *outText = block;
  return kOk;
}

Status LoadResourceCopy(ServiceProvider* provider, HostAllocator* allocator, std::int32_t name,
                        const char* type, Word /*unused*/, std::uint8_t** outBytes,
                        std::uint32_t* outSize) {
  if (provider == nullptr || type == nullptr || outBytes == nullptr) return kOk;
  if (allocator == nullptr) return kOutOfMemory;

  ResourceAccess access(provider);
  FoundResource found;
  if (!access.Find(type, name, found.Raw())) return kOk;

  const std::uint32_t size = found.Size();
  auto* block = static_cast<std::uint8_t*>(allocator->ops->Alloc(allocator, size));
  if (block == nullptr) return kOutOfMemory;
  if (size != 0) std::memcpy(block, found.Bytes(), size);
  *outBytes = block;
  if (outSize != nullptr) *outSize = size;
  return kOk;
}

}  // namespace vx
