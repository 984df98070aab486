#include "host/core/values.h"

#include <cmath>

namespace vx::host {
namespace {

std::int32_t TagOf(const HostValue& v) { return static_cast<std::int32_t>(v.bits >> 32); }
std::uint32_t PayloadOf(const HostValue& v) { return static_cast<std::uint32_t>(v.bits); }

}  // namespace

struct ValueOps {
  using Bound = BoundInterface<ValueService, Values>;
  static Values* Of(ValueService* self) { return Bound::OwnerOf(self); }

  static Status VX_CALL QueryInterface(ValueService* self, const Guid* iid, void** out) {
    if (iid != nullptr && *iid == kValueServiceId) {
      ++Of(self)->serviceReferences_;
      *out = self;
      return kOk;
    }
    if (out != nullptr) *out = nullptr;
    return kNoInterface;
  }
  static std::uint32_t VX_CALL AddRef(ValueService* self) {
    return static_cast<std::uint32_t>(++Of(self)->serviceReferences_);
  }
  static std::uint32_t VX_CALL Release(ValueService* self) {
    return static_cast<std::uint32_t>(--Of(self)->serviceReferences_);
  }
  static Status VX_CALL IntegerToValue(ValueService* self, std::int32_t v, HostValue* out) {
    *out = Of(self)->Integer(v);
    return kOk;
  }
  static Status VX_CALL FloatToValue(ValueService* self, double v, HostValue* out) {
    *out = Of(self)->Float(v);
    return kOk;
  }
  static Status VX_CALL PointToValue(ValueService* self, const PointRecord* p, HostValue* out) {
    *out = Of(self)->Point(p->vertical, p->horizontal);
    return kOk;
  }
  static Status VX_CALL RectToValue(ValueService* self, const RectRecord* r, HostValue* out) {
    *out = Of(self)->Rect(r->top, r->left, r->bottom, r->right);
    return kOk;
  }
  static Status VX_CALL TextToSymbol(ValueService* self, const char* text, Symbol* out) {
    if (text == nullptr) return kHostFailure;
    *out = Of(self)->Intern(text);
    return kOk;
  }
  static Status VX_CALL GetValueType(ValueService* self, const HostValue* v, std::int32_t* out) {
    return Of(self)->TypeOf(*v, out);
  }
  static Status VX_CALL ReleaseValue(ValueService* self, HostValue* v) {
    return Of(self)->Release(v);
  }
  static Status VX_CALL ValueToInteger(ValueService* self, const HostValue* v, std::int32_t* out) {
    return Of(self)->ToInteger(*v, out);
  }
  static Status VX_CALL ValueToSymbol(ValueService* self, const HostValue* v, Symbol* out) {
    return Of(self)->ToSymbol(*v, out);
  }
  static Status VX_CALL ValueToFloat(ValueService* self, const HostValue* v, double* out) {
    return Of(self)->ToFloat(*v, out);
  }
  static Status VX_CALL ValueToPoint(ValueService* self, const HostValue* v, PointRecord* out) {
    return Of(self)->ToPoint(*v, out);
  }
  static Status VX_CALL ValueToRect(ValueService* self, const HostValue* v, RectRecord* out) {
    return Of(self)->ToRect(*v, out);
  }
  static Status VX_CALL SymbolToValue(ValueService* self, Symbol s, HostValue* out) {
    if (Of(self)->SymbolText(s).empty()) return kHostFailure;
    *out = Of(self)->SymbolValue(s);
    return kOk;
  }

  static const ValueServiceOps kTable;
};

const ValueServiceOps ValueOps::kTable = {
    &QueryInterface, &AddRef,         &Release,        &IntegerToValue, &FloatToValue,
    nullptr,         &PointToValue,   &RectToValue,    &TextToSymbol,   nullptr,
    &GetValueType,   nullptr,         &ReleaseValue,   &ValueToInteger, &ValueToSymbol,
    &ValueToFloat,   nullptr,         nullptr,         nullptr,         nullptr,
    &ValueToPoint,   &ValueToRect,    nullptr,         &SymbolToValue,
};

struct ListOps {
  using Bound = BoundInterface<ListService, Values>;

  static Status VX_CALL QueryInterface(ListService*, const Guid*, void** out) {
    if (out != nullptr) *out = nullptr;
    return kNoInterface;
  }
  static std::uint32_t VX_CALL AddRef(ListService*) { return 1; }
  static std::uint32_t VX_CALL Release(ListService*) { return 1; }
  static Status VX_CALL GetPropByKey(ListService* self, const HostValue* list,
                                     const HostValue* key, HostValue* out) {
    return Bound::OwnerOf(self)->PropByKey(*list, *key, out);
  }

  static const ListServiceOps kTable;
};

const ListServiceOps ListOps::kTable = {
    &QueryInterface, &AddRef,  &Release, nullptr, nullptr, nullptr,
    nullptr,         nullptr,  nullptr,  nullptr, &GetPropByKey,
};

Values::Values() : valueBound_{{&ValueOps::kTable}, this}, listBound_{{&ListOps::kTable}, this} {}

Symbol Values::Intern(const std::string& text) {
  auto [it, added] = symbols_.emplace(text, static_cast<Symbol>(symbolTexts_.size() + 1));
  if (added) symbolTexts_.push_back(text);
  return it->second;
}

std::string Values::SymbolText(Symbol symbol) const {
  if (symbol < 1 || static_cast<std::size_t>(symbol) > symbolTexts_.size()) return {};
  return symbolTexts_[static_cast<std::size_t>(symbol) - 1];
}

HostValue Values::Make(std::int32_t type, std::uint32_t payload) {
  ++made_;
  return {(static_cast<std::uint64_t>(static_cast<std::uint32_t>(type)) << 32) | payload};
}

HostValue Values::Integer(std::int32_t v) {
  return Make(kTypeInteger, static_cast<std::uint32_t>(v));
}
HostValue Values::Float(double v) {
  floats_.push_back(v);
  return Make(kTypeFloat, static_cast<std::uint32_t>(floats_.size() - 1));
}
HostValue Values::Point(std::int32_t vertical, std::int32_t horizontal) {
  points_.push_back({vertical, horizontal});
  return Make(kTypePoint, static_cast<std::uint32_t>(points_.size() - 1));
}
HostValue Values::Rect(std::int32_t top, std::int32_t left, std::int32_t bottom,
                       std::int32_t right) {
  rects_.push_back({top, left, bottom, right});
  return Make(kTypeRect, static_cast<std::uint32_t>(rects_.size() - 1));
}
HostValue Values::SymbolValue(Symbol symbol) {
  return Make(kTypeSymbol, static_cast<std::uint32_t>(symbol));
}
HostValue Values::List(const std::vector<std::pair<std::string, HostValue>>& entries) {
  std::vector<std::pair<Symbol, HostValue>> list;
  for (const auto& [key, value] : entries) list.emplace_back(Intern(key), value);
  lists_.push_back(std::move(list));
  return Make(kTypeList, static_cast<std::uint32_t>(lists_.size() - 1));
}

bool Values::Valid(const HostValue& v) const {
  const std::uint32_t index = PayloadOf(v);
  switch (TagOf(v)) {
    case kTypeInteger:
      return true;
    case kTypeSymbol:
      return !SymbolText(static_cast<Symbol>(index)).empty();
    case kTypeFloat:
      return index < floats_.size();
    case kTypePoint:
      return index < points_.size();
    case kTypeRect:
      return index < rects_.size();
    case kTypeList:
      return index < lists_.size();
    default:
      return false;
  }
}

Status Values::TypeOf(const HostValue& v, std::int32_t* out) const {
  if (!Valid(v)) return kHostFailure;
  *out = TagOf(v);
  return kOk;
}

Status Values::ToInteger(const HostValue& v, std::int32_t* out) const {
  if (!Valid(v)) return kHostFailure;
  if (TagOf(v) == kTypeInteger) {
    *out = static_cast<std::int32_t>(PayloadOf(v));
    return kOk;
  }
  if (TagOf(v) == kTypeFloat) {
    const double d = std::trunc(floats_[PayloadOf(v)]);
    if (!(d >= -2147483648.0 && d <= 2147483647.0)) return kHostFailure;
    *out = static_cast<std::int32_t>(d);
    return kOk;
  }
  return kHostFailure;
}

Status Values::ToFloat(const HostValue& v, double* out) const {
  if (!Valid(v)) return kHostFailure;
  if (TagOf(v) == kTypeFloat) {
    *out = floats_[PayloadOf(v)];
    return kOk;
  }
  if (TagOf(v) == kTypeInteger) {
    *out = static_cast<std::int32_t>(PayloadOf(v));
    return kOk;
  }
  return kHostFailure;
}

Status Values::ToSymbol(const HostValue& v, Symbol* out) const {
  if (!Valid(v) || TagOf(v) != kTypeSymbol) return kHostFailure;
  *out = static_cast<Symbol>(PayloadOf(v));
  return kOk;
}

Status Values::ToPoint(const HostValue& v, PointRecord* out) const {
  if (!Valid(v) || TagOf(v) != kTypePoint) return kHostFailure;
  *out = points_[PayloadOf(v)];
  return kOk;
}

Status Values::ToRect(const HostValue& v, RectRecord* out) const {
  if (!Valid(v) || TagOf(v) != kTypeRect) return kHostFailure;
  *out = rects_[PayloadOf(v)];
  return kOk;
}

// Storage lives as long as the service; releasing only ends the reference.
Status Values::Release(HostValue* v) {
  if (v == nullptr || !Valid(*v)) return kHostFailure;
  ++released_;
  return kOk;
}

Status Values::PropByKey(const HostValue& list, const HostValue& key, HostValue* out) {
  Symbol keySymbol = 0;
  if (!Valid(list) || TagOf(list) != kTypeList || ToSymbol(key, &keySymbol) != kOk)
    return kHostFailure;
  for (const auto& [entryKey, value] : lists_[PayloadOf(list)]) {
    if (entryKey == keySymbol) {
      // The caller gets a reference of its own to release (bits stored in a
      // list that are no value of this service are nothing to release).
      if (Valid(value)) ++made_;
      *out = value;
      return kOk;
    }
  }
  return kHostFailure;
}

}  // namespace vx::host
