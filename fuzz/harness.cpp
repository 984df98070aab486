#include "harness.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <set>

namespace vx::fuzz {
namespace {

// The effects driven, by the symbol each answers.
constexpr const char* kEffectNames[] = {"rotate",   "swirl", "magnify", "rgb",    "hsb",
                                        "mosaic", "lineskip", "snow",  "pointel"};

// Keys and symbols no effect has, and animation modes.
constexpr const char* kExtraSymbols[] = {"static", "range",  "infinite", "pendulum", "none",
                                         "sprite", "effect", "vornixFuzz"};

constexpr std::int32_t kIntEdges[] = {
    INT_MIN,  INT_MIN + 1, INT_MAX, INT_MAX - 1, 1 << 30,   -(1 << 30), 65535,   65536,
    -65536,   1 << 20,     32767,   -32768,      255,       256,        1000000, -1000000,
    INT_MIN / 2, INT_MAX / 2, 16777216, -16777216, 0x7FFF0000, 46341,   -46341,  360,
    -360,     3600,        25600,   -25600,      1 << 24,   100,        -100,    0};

const double kRealEdges[] = {std::numeric_limits<double>::quiet_NaN(),
                             -std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             1e300,
                             -1e300,
                             5e-324,
                             -0.0,
                             1e10,
                             -1e10,
                             2147483648.0,
                             -2147483649.0,
                             0.5,
                             360.0,
                             6.283185307179586,
                             1e-300};

std::string ModulePath() { return VX_MODULE_PATH; }

std::string TextOf(host::Allocator& allocator, char* text) {
  if (text == nullptr) return {};
  const std::uint32_t size = allocator.BlockSize(text);
  std::string result(text, ::strnlen(text, size));
  allocator.Free(text);
  return result;
}

std::vector<EffectClass> FindEffects() {
  host::Host host(ModulePath());
  std::vector<EffectClass> offered;
  for (const ClassInfoRecord& record : host.ListClasses()) {
    if (!(record.interfaceId == kEffectInterfaceId)) continue;
    std::unique_ptr<host::Instance> instance = host.Create(record.classId);
    if (!instance) Fail("the class list offers an effect that cannot be created");
    host::InterfaceRef<EffectInterface> fx = instance->Effect();
    if (!fx) Fail("an effect class without the effect interface");
    Services services = host.MakeServices();
    EffectClass cls;
    cls.classId = record.classId;
    Symbol symbol = 0;
    fx->ops->GetEffectSymbol(fx.get(), &symbol, 0);
    cls.name = host.values().SymbolText(symbol);
    std::int32_t flag = 0;
    fx->ops->QueryFlag(fx.get(), &flag, 0);
    cls.changesAlpha = flag == 1;
    PropertyDesc* table = nullptr;
    std::int32_t count = 0;
    fx->ops->GetPropertyTable(fx.get(), &table, &count, &services);
    for (std::int32_t i = 0; table != nullptr && i < count; ++i)
      if (table[i].keySymbol != 0) cls.keys.push_back(host.values().SymbolText(table[i].keySymbol));
    char* text = nullptr;
    fx->ops->GetDescription(fx.get(), &text, &services);
    const std::string description = TextOf(host.allocator(), text);
    // Sorted: an input names a function by its place in this list.
    cls.functions = host::DescribedFunctions(description);
    std::sort(cls.functions.begin(), cls.functions.end());
    cls.hasFunctions = !cls.functions.empty();
    offered.push_back(std::move(cls));
  }
  std::vector<EffectClass> effects;
  for (const char* name : kEffectNames) {
    bool found = false;
    for (const EffectClass& cls : offered)
      if (cls.name == name) effects.push_back(cls), found = true;
    if (!found) Fail(std::string("the module offers no effect named ") + name);
  }
  return effects;
}

}  // namespace

std::uint32_t Input::Word32() {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
  return v;
}

std::uint64_t Input::Word64() {
  const std::uint64_t low = Word32();
  return low | (static_cast<std::uint64_t>(Word32()) << 32);
}

std::int32_t Input::Int() {
  const std::uint8_t selector = Byte();
  if (selector < 160) return static_cast<std::int32_t>(selector) - 48;
  if (selector < 192) return kIntEdges[selector - 160];
  return static_cast<std::int32_t>(Word32());
}

double Input::Real() {
  const std::uint8_t selector = Byte();
  if (selector < 128) return (static_cast<double>(selector) - 64.0) / 4.0;
  if (selector < 144) return kRealEdges[selector - 128];
  return std::bit_cast<double>(Word64());
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "==== vornix fuzz finding: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

bool Tracing() {
  static const bool tracing = std::getenv("VX_FUZZ_TRACE") != nullptr;
  return tracing;
}

void Trace(const std::string& line) {
  if (Tracing()) std::fprintf(stderr, "%s\n", line.c_str());
}

Fenced::Fenced(std::size_t bytes) : outer_(new std::uint8_t[bytes + 2 * kFence]), bytes_(bytes) {
  std::memset(outer_, kFenceByte, kFence);
  std::memset(outer_ + kFence, 0, bytes);
  std::memset(outer_ + kFence + bytes, kFenceByte, kFence);
  ASAN_POISON_MEMORY_REGION(outer_, kFence);
  ASAN_POISON_MEMORY_REGION(outer_ + kFence + bytes, kFence);
}

Fenced::~Fenced() {
  ASAN_UNPOISON_MEMORY_REGION(outer_, bytes_ + 2 * kFence);
  delete[] outer_;
}

bool Fenced::Intact() const {
  ASAN_UNPOISON_MEMORY_REGION(outer_, kFence);
  ASAN_UNPOISON_MEMORY_REGION(outer_ + kFence + bytes_, kFence);
  bool intact = true;
  for (std::size_t i = 0; i < kFence; ++i)
    if (outer_[i] != kFenceByte || outer_[kFence + bytes_ + i] != kFenceByte) intact = false;
  ASAN_POISON_MEMORY_REGION(outer_, kFence);
  ASAN_POISON_MEMORY_REGION(outer_ + kFence + bytes_, kFence);
  return intact;
}

const std::vector<EffectClass>& Effects() {
  static const std::vector<EffectClass> effects = FindEffects();
  return effects;
}

}  // namespace vx::fuzz

// Before the first input: the module stays loaded for the whole run (its
// coverage counters must outlive every host that loads it again), and the
// effects are found once.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static vx::host::Module* const kept = new vx::host::Module(VX_MODULE_PATH);
  (void)kept;
  vx::fuzz::Effects();
  return 0;
}

namespace vx::fuzz {

const std::vector<std::string>& KnownSymbols() {
  static const std::vector<std::string> symbols = [] {
    std::set<std::string> all(std::begin(kExtraSymbols), std::end(kExtraSymbols));
    for (const EffectClass& cls : Effects()) {
      all.insert(cls.name);
      all.insert(cls.keys.begin(), cls.keys.end());
      all.insert(cls.functions.begin(), cls.functions.end());
    }
    return std::vector<std::string>(all.begin(), all.end());
  }();
  return symbols;
}

Session::Session() : host_(std::make_unique<host::Host>(ModulePath())) {
  services_ = host_->MakeServices();
  host_->allocator().FailAbove(kHostBlockLimit);
}

void Session::CheckHeap(const std::string& after) {
  host::Allocator& a = allocator();
  if (!a.GuardsIntact()) Fail(after + ": wrote past a block of the host allocator");
  if (a.BrokenGuardCount() != 0) Fail(after + ": freed a block whose guards were broken");
  if (a.BadFreeCount() != 0) Fail(after + ": freed a block the host allocator never gave");
}

void Session::ReleaseKept() {
  for (HostValue& v : kept_) values().Release(&v);
  kept_.clear();
}

void Session::Finish(const std::string& what) {
  ReleaseKept();
  CheckHeap(what);
  if (allocator().LiveBlocks() != 0)
    Fail(what + ": " + std::to_string(allocator().LiveBlocks()) + " host blocks left (a leak)");
  if (values().ServiceReferences() != 0) Fail(what + ": kept a reference on the value service");
  if (values().LiveValues() != 0)
    Fail(what + ": " + std::to_string(values().LiveValues()) + " host values never released");
  if (host_->module().DllCanUnloadNow() != kOk) Fail(what + ": interface records left alive");
}

bool OpenEffect(Session& session, const EffectClass& cls, LiveEffect* out) {
  *out = LiveEffect{};
  out->cls = &cls;
  Status status = kOk;
  out->instance = session.host().Create(cls.classId, &status);
  if (!out->instance) {
    if (status != kOutOfMemory) Fail(cls.name + ": create failed with a status other than out of memory");
    return false;
  }
  void* iface = nullptr;
  status = out->instance->GetInterface(kEffectInterfaceId, &iface);
  if (status != kOk) {
    if (status != kOutOfMemory || iface != nullptr)
      Fail(cls.name + ": the effect interface failed without out of memory and a null output");
    out->instance.reset();
    return false;
  }
  out->fx = host::InterfaceRef<EffectInterface>(static_cast<EffectInterface*>(iface));
  return true;
}

std::string DecodeSymbol(Input& in) {
  const std::vector<std::string>& symbols = KnownSymbols();
  const std::uint8_t b = in.Byte();
  if (b < 0xF0) return symbols[b % symbols.size()];
  std::string text;
  for (int i = 0; i < 24 && in.More(); ++i) {
    const char c = static_cast<char>(in.Byte());
    if (c == 0) break;
    text.push_back(c);
  }
  // The host's symbols have text; an empty one reads as no symbol.
  return text.empty() ? symbols.front() : text;
}

HostValue RandomValue(Input& in, Session& session, int depth) {
  host::Values& values = session.values();
  switch (in.Below(depth > 0 ? 9 : 8)) {
    case 0:
    case 1:
      return session.Keep(values.Integer(in.Int()));
    case 2:
      return session.Keep(values.Float(in.Real()));
    case 3:
      return session.Keep(values.SymbolValue(DecodeSymbol(in)));
    case 4: {
      const std::int32_t v = in.Int();
      return session.Keep(values.Point(v, in.Int()));
    }
    case 5: {
      const std::int32_t top = in.Int(), left = in.Int(), bottom = in.Int();
      return session.Keep(values.Rect(top, left, bottom, in.Int()));
    }
    case 6: {
      // Bits no value of this host has: a type tag it never made, or an
      // index past its storage (not kept: the host made nothing).
      const HostValue bits{in.Word64()};
      std::int32_t type = 0;
      return values.TypeOf(bits, &type) == kOk ? session.Keep(values.Integer(0)) : bits;
    }
    case 7:
      return session.Keep(values.Integer(static_cast<std::int32_t>(in.Byte())));
    default: {
      std::vector<std::pair<std::string, HostValue>> entries;
      const std::uint32_t n = in.Below(4);
      for (std::uint32_t i = 0; i < n; ++i) {
        const std::string key = DecodeSymbol(in);
        entries.emplace_back(key, RandomValue(in, session, depth - 1));
      }
      return session.Keep(values.List(entries));
    }
  }
}

HostValue RandomPropertyList(Input& in, Session& session, const EffectClass& cls) {
  // Now and then no list at all.
  if (in.Below(16) == 0) return RandomValue(in, session, 1);
  std::vector<std::pair<std::string, HostValue>> entries;
  const std::uint32_t n = in.Below(8);
  for (std::uint32_t i = 0; i < n; ++i) {
    const bool own = !cls.keys.empty() && in.Below(4) != 0;
    const std::string key =
        own ? cls.keys[in.Below(static_cast<std::uint32_t>(cls.keys.size()))] : DecodeSymbol(in);
    entries.emplace_back(key, RandomValue(in, session));
  }
  return session.Keep(session.values().List(entries));
}

}  // namespace vx::fuzz
