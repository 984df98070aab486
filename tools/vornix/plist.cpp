#include "plist.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vx::preview {

const char* Node::KindName() const {
  switch (kind) {
    case Kind::Integer: return "integer";
    case Kind::Float: return "float";
    case Kind::Symbol: return "symbol";
    case Kind::Point: return "point";
    case Kind::Rect: return "rect";
    case Kind::List: return "list";
    case Kind::PropList: return "property list";
  }
  return "value";
}

ParseError::ParseError(int column, std::string expected, std::string found)
    : std::runtime_error("column " + std::to_string(column) + ": expected " + expected +
                         ", found " + found),
      column_(column),
      expected_(std::move(expected)),
      found_(std::move(found)) {}

namespace {

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  Node WholeValue() {
    Node node = Value();
    ExpectEnd();
    return node;
  }

  Call WholeCall() {
    SkipBlanks();
    Call call;
    call.column = Column();
    if (AtEnd() || !IsIdentStart(Peek())) Fail("a function name");
    call.name = Identifier();
    Expect('(', "'('");
    SkipBlanks();
    if (!AtEnd() && Peek() == ')') {
      ++pos_;
    } else {
      for (;;) {
        call.args.push_back(Value());
        if (Accept(')')) break;
        Expect(',', "',' or ')'");
      }
    }
    ExpectEnd();
    return call;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }
  int Column() const { return static_cast<int>(pos_) + 1; }

  void SkipBlanks() {
    while (!AtEnd() && std::isspace(static_cast<unsigned char>(Peek()))) ++pos_;
  }

  std::string Found() const {
    if (AtEnd()) return "end of input";
    char c = Peek();
    if (std::isprint(static_cast<unsigned char>(c))) return std::string("'") + c + "'";
    char buf[16];
    std::snprintf(buf, sizeof buf, "byte 0x%02X", static_cast<unsigned char>(c));
    return buf;
  }

  [[noreturn]] void Fail(const std::string& expected) const {
    throw ParseError(Column(), expected, Found());
  }
  [[noreturn]] void FailAt(std::size_t pos, const std::string& expected,
                           const std::string& found) const {
    throw ParseError(static_cast<int>(pos) + 1, expected, found);
  }

  bool Accept(char c) {
    SkipBlanks();
    if (!AtEnd() && Peek() == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  void Expect(char c, const char* expected) {
    if (!Accept(c)) Fail(expected);
  }

  void ExpectEnd() {
    SkipBlanks();
    if (!AtEnd()) Fail("end of input");
  }

  std::string Identifier() {
    std::size_t start = pos_;
    while (!AtEnd() && IsIdentChar(Peek())) ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }

  Node Value() {
    SkipBlanks();
    Node node;
    node.column = Column();
    if (AtEnd()) Fail("a value");
    char c = Peek();
    if (c == '[') return List();
    if (c == '#') {
      ++pos_;
      if (AtEnd() || !IsIdentStart(Peek())) Fail("a symbol name after '#'");
      node.kind = Node::Kind::Symbol;
      node.symbol = Identifier();
      return node;
    }
    if (IsDigit(c) || c == '-' || c == '+' || c == '.') return Number();
    if (IsIdentStart(c)) {
      std::size_t start = pos_;
      std::string word = Identifier();
      if (EqualsNoCase(word, "point")) return Coordinates(node, Node::Kind::Point, 2);
      if (EqualsNoCase(word, "rect")) return Coordinates(node, Node::Kind::Rect, 4);
      if (EqualsNoCase(word, "true") || EqualsNoCase(word, "false")) {
        node.kind = Node::Kind::Integer;
        node.integer = EqualsNoCase(word, "true") ? 1 : 0;
        return node;
      }
      FailAt(start, "a value", "'" + word + "'");
    }
    Fail("a value");
  }

  // Integers become floats when they carry a fraction or an exponent.
  Node Number() {
    Node node;
    node.column = Column();
    std::size_t start = pos_;
    if (Peek() == '-' || Peek() == '+') ++pos_;
    std::size_t digits = 0;
    while (!AtEnd() && IsDigit(Peek())) ++pos_, ++digits;
    bool isFloat = false;
    if (!AtEnd() && Peek() == '.') {
      isFloat = true;
      ++pos_;
      while (!AtEnd() && IsDigit(Peek())) ++pos_, ++digits;
    }
    if (digits == 0) Fail("a digit");
    if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
      isFloat = true;
      ++pos_;
      if (!AtEnd() && (Peek() == '-' || Peek() == '+')) ++pos_;
      if (AtEnd() || !IsDigit(Peek())) Fail("a digit of the exponent");
      while (!AtEnd() && IsDigit(Peek())) ++pos_;
    }
    if (!AtEnd() && IsIdentChar(Peek())) Fail("a digit, ',' or a closing bracket");
    std::string literal(text_.substr(start, pos_ - start));
    if (isFloat) {
      node.kind = Node::Kind::Float;
      node.real = std::strtod(literal.c_str(), nullptr);
      if (!std::isfinite(node.real)) FailAt(start, "a finite number", literal);
      return node;
    }
    node.kind = Node::Kind::Integer;
    const char* first = literal.data() + (literal[0] == '+' ? 1 : 0);
    std::int64_t value = 0;
    auto [end, err] = std::from_chars(first, literal.data() + literal.size(), value);
    if (err != std::errc() || end != literal.data() + literal.size() ||
        value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
      FailAt(start, "an integer between -2147483648 and 2147483647", literal);
    node.integer = static_cast<std::int32_t>(value);
    return node;
  }

  Node Coordinates(Node& node, Node::Kind kind, int count) {
    node.kind = kind;
    Expect('(', "'('");
    for (int i = 0; i < count; ++i) {
      if (i > 0) Expect(',', "','");
      SkipBlanks();
      std::size_t start = pos_;
      if (AtEnd() || !(IsDigit(Peek()) || Peek() == '-' || Peek() == '+')) Fail("an integer");
      Node n = Number();
      if (n.kind != Node::Kind::Integer)
        FailAt(start, "an integer", "'" + std::string(text_.substr(start, pos_ - start)) + "'");
      node.coords[i] = n.integer;
    }
    Expect(')', "')'");
    return node;
  }

  // A list is linear ([1, 2]) or a property list ([#a: 1]); the first element
  // decides which. [] is the empty list, [:] the empty property list.
  Node List() {
    Node node;
    node.column = Column();
    ++pos_;  // '['
    node.kind = Node::Kind::List;
    if (Accept(']')) return node;
    if (Accept(':')) {
      node.kind = Node::Kind::PropList;
      Expect(']', "']'");
      return node;
    }
    bool first = true;
    do {
      SkipBlanks();
      std::size_t itemStart = pos_;
      Node item = Value();
      bool keyed = item.kind == Node::Kind::Symbol && Accept(':');
      if (first) node.kind = keyed ? Node::Kind::PropList : Node::Kind::List;
      first = false;
      if (node.kind == Node::Kind::PropList) {
        if (!keyed) {
          if (item.kind != Node::Kind::Symbol)
            FailAt(itemStart, "a key like #name",
                   "'" + std::string(text_.substr(itemStart, pos_ - itemStart)) + "'");
          Fail("':' after the key");
        }
        node.keys.push_back(item.symbol);
        node.items.push_back(Value());
      } else {
        if (keyed) FailAt(pos_ - 1, "',' or ']' (the list has no keys)", "':'");
        node.items.push_back(std::move(item));
      }
    } while (Accept(','));
    Expect(']', "',' or ']'");
    return node;
  }
};

void FormatInto(const Node& node, std::string& out) {
  switch (node.kind) {
    case Node::Kind::Integer: out += std::to_string(node.integer); return;
    case Node::Kind::Float: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.17g", node.real);
      std::string s = buf;
      if (s.find_first_of(".e") == std::string::npos) s += ".0";
      out += s;
      return;
    }
    case Node::Kind::Symbol: out += "#" + node.symbol; return;
    case Node::Kind::Point:
      out += "point(" + std::to_string(node.coords[0]) + ", " + std::to_string(node.coords[1]) + ")";
      return;
    case Node::Kind::Rect:
      out += "rect(" + std::to_string(node.coords[0]) + ", " + std::to_string(node.coords[1]) +
             ", " + std::to_string(node.coords[2]) + ", " + std::to_string(node.coords[3]) + ")";
      return;
    case Node::Kind::List:
    case Node::Kind::PropList:
      if (node.kind == Node::Kind::PropList && node.items.empty()) {
        out += "[:]";
        return;
      }
      out += "[";
      for (std::size_t i = 0; i < node.items.size(); ++i) {
        if (i > 0) out += ", ";
        if (node.kind == Node::Kind::PropList) out += "#" + node.keys[i] + ": ";
        FormatInto(node.items[i], out);
      }
      out += "]";
      return;
  }
}

}  // namespace

Node ParseValue(std::string_view text) { return Parser(text).WholeValue(); }

Call ParseCall(std::string_view text) { return Parser(text).WholeCall(); }

std::string Format(const Node& node) {
  std::string out;
  FormatInto(node, out);
  return out;
}

}  // namespace vx::preview
