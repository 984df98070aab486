#include "host_values.h"

namespace vx::preview {

HostValue ToHostValue(host::Values& values, const Node& node) {
  switch (node.kind) {
    case Node::Kind::Integer: return values.Integer(node.integer);
    case Node::Kind::Float: return values.Float(node.real);
    case Node::Kind::Symbol: return values.SymbolValue(node.symbol);
    case Node::Kind::Point: return values.Point(node.coords[1], node.coords[0]);
    case Node::Kind::Rect:
      return values.Rect(node.coords[1], node.coords[0], node.coords[3], node.coords[2]);
    case Node::Kind::List: return values.List({});
    case Node::Kind::PropList: {
      std::vector<std::pair<std::string, HostValue>> entries;
      for (std::size_t i = 0; i < node.items.size(); ++i)
        entries.emplace_back(node.keys[i], ToHostValue(values, node.items[i]));
      return values.List(entries);
    }
  }
  return values.Integer(0);
}

namespace {

void CollectLinearLists(const Node& node, std::vector<std::string>& warnings) {
  if (node.kind == Node::Kind::List && !node.items.empty()) {
    warnings.push_back("column " + std::to_string(node.column) + ": " + Format(node) +
                       " has no keys; the host keeps only property lists, so the effect gets an "
                       "empty list");
    return;
  }
  for (const Node& item : node.items) CollectLinearLists(item, warnings);
}

}  // namespace

std::vector<std::string> LinearListWarnings(const Node& node) {
  std::vector<std::string> warnings;
  CollectLinearLists(node, warnings);
  return warnings;
}

std::string ValueText(host::Values& values, const HostValue& value) {
  std::int32_t type = 0;
  if (values.TypeOf(value, &type) != kOk) return "(not a value)";
  Node node;
  switch (type) {
    case kTypeInteger:
      node.kind = Node::Kind::Integer;
      values.ToInteger(value, &node.integer);
      break;
    case kTypeFloat:
      node.kind = Node::Kind::Float;
      values.ToFloat(value, &node.real);
      break;
    case kTypeSymbol: {
      Symbol s = 0;
      values.ToSymbol(value, &s);
      node.kind = Node::Kind::Symbol;
      node.symbol = values.SymbolText(s);
      break;
    }
    case kTypePoint: {
      PointRecord p{};
      values.ToPoint(value, &p);
      node.kind = Node::Kind::Point;
      node.coords[0] = p.horizontal;
      node.coords[1] = p.vertical;
      break;
    }
    case kTypeRect: {
      RectRecord r{};
      values.ToRect(value, &r);
      node.kind = Node::Kind::Rect;
      node.coords[0] = r.left, node.coords[1] = r.top, node.coords[2] = r.right, node.coords[3] = r.bottom;
      break;
    }
    default: return "(a " + TypeName(type) + ")";
  }
  return Format(node);
}

std::string TypeName(std::int32_t typeCode) {
  switch (typeCode) {
    case kTypeInteger: return "integer";
    case kTypeSymbol: return "symbol";
    case kTypeFloat: return "float";
    case kTypePoint: return "point";
    case kTypeRect: return "rect";
    case kTypeList: return "list";
  }
  return "type " + std::to_string(typeCode);
}

namespace {

// Whether the module's getter for `typeCode` could read the value: asks the
// host's own conversion, which is what the module calls.
bool Readable(host::Values& values, const HostValue& v, std::int32_t typeCode) {
  std::int32_t i = 0;
  double d = 0;
  Symbol s = 0;
  PointRecord p{};
  RectRecord r{};
  switch (typeCode) {
    case kTypeInteger: return values.ToInteger(v, &i) == kOk;
    case kTypeSymbol: return values.ToSymbol(v, &s) == kOk;
    case kTypeFloat: return values.ToFloat(v, &d) == kOk;
    case kTypePoint: return values.ToPoint(v, &p) == kOk;
    case kTypeRect: return values.ToRect(v, &r) == kOk;
    default: {
      std::int32_t type = 0;
      return values.TypeOf(v, &type) == kOk && type == typeCode;
    }
  }
}

bool IsAnimMode(const std::string& symbol) {
  for (const char* mode : kAnimModes)
    if (symbol == mode) return true;
  return false;
}

}  // namespace

std::vector<std::string> CheckAgainstTable(host::Values& values, const Node& list,
                                           const PropertyDesc* table, std::int32_t count) {
  std::vector<std::string> warnings = LinearListWarnings(list);
  if (list.kind != Node::Kind::PropList) {
    warnings.push_back("the properties are a " + std::string(list.KindName()) +
                       ", not a property list; the effect will ignore them");
    return warnings;
  }
  for (std::size_t i = 0; i < list.items.size(); ++i) {
    const Symbol key = values.Intern(list.keys[i]);
    const PropertyDesc* desc = nullptr;
    for (std::int32_t k = 0; table != nullptr && k < count; ++k)
      if (table[k].keySymbol == key) desc = &table[k];
    const std::string where = "column " + std::to_string(list.items[i].column) + ": #" + list.keys[i];
    if (desc == nullptr) {
      warnings.push_back(where + " is not a property of this effect; it is ignored");
      continue;
    }
    const Node& value = list.items[i];
    if (list.keys[i] == "animMode" && value.kind == Node::Kind::Symbol && !IsAnimMode(value.symbol)) {
      std::string modes;
      for (const char* mode : kAnimModes) modes += std::string(modes.empty() ? "" : ", ") + "#" + mode;
      warnings.push_back(where + ": #" + value.symbol + " is not an animation mode (" + modes +
                         "); the effect keeps its mode");
    }
    HostValue v = ToHostValue(values, value);
    if (!Readable(values, v, desc->valueType))
      warnings.push_back(where + " expects " + TypeName(desc->valueType) + ", given " +
                         list.items[i].KindName() + " " + Format(list.items[i]) +
                         "; the effect will ignore it");
    values.Release(&v);
  }
  return warnings;
}

}  // namespace vx::preview
