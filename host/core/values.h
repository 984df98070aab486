// The value service and list service: symbols, 8-byte values and property
// lists as the host's scripting language keeps them.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/core/allocator.h"
#include "host/core/bound_interface.h"
#include "vornix/abi.h"

namespace vx::host {

// A value is a type tag (high 32 bits) and either the value itself
// (integers, symbols) or an index into this service's storage.
class Values {
 public:
  Values();
  Values(const Values&) = delete;
  Values& operator=(const Values&) = delete;

  ValueService* Service() { return &valueBound_.iface; }
  ListService* Lists() { return &listBound_.iface; }

  // Interned as given: "Mosaic" and "mosaic" are two symbols.
  Symbol Intern(const std::string& text);
  // Empty for an unknown symbol.
  std::string SymbolText(Symbol symbol) const;

  HostValue Integer(std::int32_t v);
  HostValue Float(double v);
  HostValue Point(std::int32_t vertical, std::int32_t horizontal);
  HostValue Rect(std::int32_t top, std::int32_t left, std::int32_t bottom, std::int32_t right);
  HostValue SymbolValue(Symbol symbol);
  HostValue SymbolValue(const std::string& text) { return SymbolValue(Intern(text)); }
  HostValue List(const std::vector<std::pair<std::string, HostValue>>& entries);

  // Service operations, also used directly by host code.
  Status TypeOf(const HostValue& v, std::int32_t* out) const;
  Status ToInteger(const HostValue& v, std::int32_t* out) const;
  Status ToFloat(const HostValue& v, double* out) const;
  Status ToSymbol(const HostValue& v, Symbol* out) const;
  Status ToPoint(const HostValue& v, PointRecord* out) const;
  Status ToRect(const HostValue& v, RectRecord* out) const;
  Status Release(HostValue* v);
  Status PropByKey(const HostValue& list, const HostValue& key, HostValue* out);

  // Values made (by the host or the module) and not yet released.
  std::int64_t LiveValues() const { return made_ - released_; }
  // References the module took on the value service and has not given back.
  std::int32_t ServiceReferences() const { return serviceReferences_; }

 private:
  friend struct ValueOps;
  friend struct ListOps;

  HostValue Make(std::int32_t type, std::uint32_t payload);
  bool Valid(const HostValue& v) const;

  BoundInterface<ValueService, Values> valueBound_;
  BoundInterface<ListService, Values> listBound_;
  std::vector<std::string> symbolTexts_;  // symbol s is index s - 1
  std::map<std::string, Symbol> symbols_;
  std::deque<double> floats_;
  std::deque<PointRecord> points_;
  std::deque<RectRecord> rects_;
  std::deque<std::vector<std::pair<Symbol, HostValue>>> lists_;
  std::int64_t made_ = 0;
  std::int64_t released_ = 0;
  std::int32_t serviceReferences_ = 0;
};

}  // namespace vx::host
