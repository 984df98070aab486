// A value service that answers like the host's own but refuses to make the
// symbol of one text, as a host out of symbol space would.
#pragma once

#include <cstring>
#include <type_traits>

#include "host/core/values.h"
#include "vornix/abi.h"

namespace vx::host {

class RefusingSymbols {
 public:
  static constexpr Status kRefused = static_cast<Status>(0x80040666u);

  // `refused` must outlive the service.
  RefusingSymbols(Values& values, const char* refused) : owner_(&values), refused_(refused) {
    ops_ = *values.Service()->ops;
    hostTextToSymbol_ = ops_.TextToSymbol;
    ops_.TextToSymbol = &TextToSymbol;
    iface_.ops = &ops_;
  }
  RefusingSymbols(const RefusingSymbols&) = delete;
  RefusingSymbols& operator=(const RefusingSymbols&) = delete;

  ValueService* Service() { return &iface_; }
  int Refusals() const { return refusals_; }

 private:
  static Status VX_CALL TextToSymbol(ValueService* self, const char* text, Symbol* out) {
    auto* me = reinterpret_cast<RefusingSymbols*>(self);
    if (text != nullptr && std::strcmp(text, me->refused_) == 0) {
      ++me->refusals_;
      return kRefused;
    }
    return me->hostTextToSymbol_(self, text, out);
  }

  // The host's operations find their values through the word after the
  // interface, as in its own bound records.
  ValueService iface_{};
  Values* owner_;
  const char* refused_;
  ValueServiceOps ops_{};
  Status(VX_CALL* hostTextToSymbol_)(ValueService*, const char*, Symbol*) = nullptr;
  int refusals_ = 0;
};
static_assert(std::is_standard_layout_v<RefusingSymbols>);

}  // namespace vx::host
