#include "framework/properties.h"

#include <cmath>

namespace vx {
namespace {

bool HasValueService(const Services* services) {
  return services && services->values && services->values->ops;
}
bool HasListService(const Services* services) {
  return HasValueService(services) && services->lists && services->lists->ops;
}

void Release(Services* services, HostValue* v) {
  services->values->ops->ReleaseValue(services->values, v);
}

}  // namespace

void AddPropertyDesc(PropertyDesc* table, std::int32_t index, const char* keyText,
                     std::int32_t propertyId, std::int32_t valueType, Services* services) {
  if (!table || index < 0 || !keyText || !HasValueService(services)) return;
  Symbol symbol = 0;
  if (services->values->ops->TextToSymbol(services->values, keyText, &symbol) != kOk) return;
  table[index] = PropertyDesc{symbol, valueType, propertyId};
}

std::int32_t FindPropertyValue(const HostValue* list, Symbol key, HostValue* out,
                               Services* services) {
  if (!list || !out || !HasListService(services)) return 0;
  ValueService* values = services->values;
  std::int32_t type = 0;
  if (values->ops->GetValueType(values, list, &type) != kOk || type != kTypeList) return 0;
  HostValue keyValue{};
  if (values->ops->SymbolToValue(values, key, &keyValue) != kOk) return 0;
  const Status found = services->lists->ops->GetPropByKey(services->lists, list, &keyValue, out);
  Release(services, &keyValue);
  return found == kOk ? 1 : 0;
}

std::int32_t GetIntProperty(const HostValue* list, Symbol key, Services* services) {
  HostValue v{};
  if (!FindPropertyValue(list, key, &v, services)) return kAbsent;
  std::int32_t result = 0;
  const Status s = services->values->ops->ValueToInteger(services->values, &v, &result);
  Release(services, &v);
  return s == kOk ? result : kAbsent;
}

std::int32_t GetDegreesProperty(const HostValue* list, Symbol key, Services* services) {
  const std::int32_t degrees = GetIntProperty(list, key, services);
  if (degrees == kAbsent) return kAbsent;
  // Wide product: any 32-bit degree count maps into range without overflow.
  return static_cast<std::int32_t>(static_cast<std::int64_t>(degrees) * 256 / 360);
}

std::int32_t GetRadiansProperty(const HostValue* list, Symbol key, Services* services) {
  HostValue v{};
  if (!FindPropertyValue(list, key, &v, services)) return kAbsent;
  double radians = 0;
  const Status s = services->values->ops->ValueToFloat(services->values, &v, &radians);
  Release(services, &v);
  if (s != kOk) return kAbsent;
  const double turns = radians * 256.0 / 6.283185307;
  // Not a number or beyond 32 bits does not convert.
  if (!(turns > -2147483649.0 && turns < 2147483648.0)) return kAbsent;
  return static_cast<std::int32_t>(turns);
}

std::int32_t GetPointProperty(const HostValue* list, Symbol key, PointRecord* out,
                              Services* services) {
  if (!out) return 0;
  HostValue v{};
  if (!FindPropertyValue(list, key, &v, services)) return 0;
  const Status s = services->values->ops->ValueToPoint(services->values, &v, out);
  Release(services, &v);
  return s == kOk ? 1 : 0;
}

std::int32_t ParseAnimMode(const HostValue* value, Services* services, Status* status) {
  static constexpr const char* kModeNames[] = {"static",   "range",  "infinite",
                                               "pendulum", "follow", "relativeToPoint"};
  Status ignored = 0;
  if (!status) status = &ignored;
  *status = kOk;
  if (!value || !HasValueService(services)) {
    *status = kNoInterface;
    return 0;
  }
  ValueService* values = services->values;
  Symbol modes[6] = {};
  for (int i = 0; i < 6; ++i) {
    const Status s = values->ops->TextToSymbol(values, kModeNames[i], &modes[i]);
    if (s != kOk) {
      *status = s;
      return 0;
    }
  }
  Symbol symbol = 0;
  const Status s = values->ops->ValueToSymbol(values, value, &symbol);
  if (s != kOk) {
    *status = s;
    return 0;
  }
  for (int i = 0; i < 6; ++i)
    if (modes[i] == symbol) return i;
  *status = kNoSuchMode;
  return symbol;
}

std::int32_t GetAnimMode(const HostValue* list, const PropertyDesc* table, Services* services) {
  if (!table) return kAbsent;
  HostValue v{};
  if (!FindPropertyValue(list, table[0].keySymbol, &v, services)) return kAbsent;
  Status status = kOk;
  const std::int32_t code = ParseAnimMode(&v, services, &status);
  Release(services, &v);
  if (status == kOk) return code;
  if (status == kNoSuchMode) return kNoSuchMode;
  return kAbsent;
}

}  // namespace vx
