// What every fuzz target shares: the input read as a stream of choices,
// fenced host buffers, one fresh host per input with the checks that end
// it, and the effects the module offers, found by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/core/host.h"
#include "vornix/abi.h"

namespace vx::fuzz {

// The input, read front to back; zeros once it is used up, so every input
// decodes to something.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  bool More() const { return p_ < end_; }
  std::uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
  std::uint32_t Word32();
  std::uint64_t Word64();
  // 0 .. n-1 from one byte (n at most 256).
  std::uint32_t Below(std::uint32_t n) { return Byte() % n; }
  bool Flag() { return (Byte() & 1) != 0; }
  // A host integer: small values mostly, the edges of 32 bits often, any
  // 32 bits sometimes.
  std::int32_t Int();
  // A host float: small values, NaN, infinities and extremes, any 64 bits.
  double Real();

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

// Reports a finding and stops (libFuzzer keeps the input).
[[noreturn]] void Fail(const std::string& what);

// With VX_FUZZ_TRACE set, each call and its arguments go to stderr: how a
// reproducer becomes a regression test.
bool Tracing();
void Trace(const std::string& line);

// Messages are built only when they are read: on a finding, or when tracing.
#define VX_FUZZ_EXPECT(ok, message) ((ok) ? void() : ::vx::fuzz::Fail(message))
#define VX_FUZZ_TRACE(line) (::vx::fuzz::Tracing() ? ::vx::fuzz::Trace(line) : void())

// A host buffer between fences: the bytes on both sides are poisoned for
// the address sanitizer (any read or write stops the run) and are checked
// unchanged after every call.
class Fenced {
 public:
  explicit Fenced(std::size_t bytes);
  ~Fenced();
  Fenced(const Fenced&) = delete;
  Fenced& operator=(const Fenced&) = delete;

  std::uint8_t* data() { return outer_ + kFence; }
  const std::uint8_t* data() const { return outer_ + kFence; }
  std::size_t size() const { return bytes_; }
  bool Intact() const;

  static constexpr std::size_t kFence = 32;
  static constexpr std::uint8_t kFenceByte = 0xA5;

 private:
  std::uint8_t* outer_;
  std::size_t bytes_;
};

// A record the module reads (a view, a rectangle, a host record) in a
// fenced block of its exact size.
template <class T>
class FencedRecord {
 public:
  FencedRecord() : block_(sizeof(T)) { *get() = T{}; }
  T* get() { return reinterpret_cast<T*>(block_.data()); }
  T* operator->() { return get(); }
  bool Intact() const { return block_.Intact(); }

 private:
  Fenced block_;
};

// One effect class, found through the class list by the symbol it answers.
struct EffectClass {
  std::string name;
  Guid classId{};
  bool changesAlpha = false;
  bool hasFunctions = false;
  std::vector<std::string> keys;       // its property table's keys
  std::vector<std::string> functions;  // the script functions it describes
};

// The effects the targets drive, in the order of the names table in
// harness.cpp; an effect joins every target by its name there.
const std::vector<EffectClass>& Effects();

// Every property key and symbol the effects know, for values and lists.
const std::vector<std::string>& KnownSymbols();

// Host blocks above this fail, as a host short of memory fails them.
inline constexpr std::uint32_t kHostBlockLimit = 64 * 1024;

// One input's host, with a fresh allocator, value service and registry
// view; `Finish` checks that everything the module took is back.
class Session {
 public:
  Session();
  host::Host& host() { return *host_; }
  host::Allocator& allocator() { return host_->allocator(); }
  host::Values& values() { return host_->values(); }
  Services& services() { return services_; }

  // Values the host made for the module, released at the end.
  HostValue Keep(HostValue v) {
    kept_.push_back(v);
    return v;
  }
  void ReleaseKept();

  // After every call: the allocator's guards, frees of foreign blocks.
  void CheckHeap(const std::string& after);
  // At the end, with every instance gone: no block, value-service
  // reference or interface record left.
  void Finish(const std::string& what);

 private:
  std::unique_ptr<host::Host> host_;
  Services services_{};
  std::vector<HostValue> kept_;
};

// An effect instance and its interface, opened as a host opens them.
struct LiveEffect {
  const EffectClass* cls = nullptr;
  std::unique_ptr<host::Instance> instance;
  host::InterfaceRef<EffectInterface> fx;

  EffectInterface* self() const { return fx.get(); }
  const EffectOps& ops() const { return *fx->ops; }
  void Close() {
    fx.Reset();
    instance.reset();
  }
};

// Opens `cls`; false (with nothing left open) when create or the interface
// fails, and then only with the allocator's failure status.
bool OpenEffect(Session& session, const EffectClass& cls, LiveEffect* out);

// A symbol's text: one the effects know (by index), or spelled out in the
// input (a 0xF0+ byte, then up to 24 characters ended by a zero byte), so
// that dictionary entries and unknown names reach the module too.
std::string DecodeSymbol(Input& in);

// A random host value: integers, floats, symbols, points, rects, lists
// (nested up to `depth`) and bit patterns no value has.
HostValue RandomValue(Input& in, Session& session, int depth = 2);

// A random property list: keys of `cls` mostly, other known and unknown
// keys too, any values.
HostValue RandomPropertyList(Input& in, Session& session, const EffectClass& cls);

}  // namespace vx::fuzz
