// Property lists and script calls in the form authors write them:
//   [#animMode: #range, #numFrames: 30, #endDegrees: 360]
//   RelToPoint(320, 40)
// Parsing yields a tree; turning the tree into host values is a separate step
// (host_values.h) so the grammar can be checked without a module.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vx::preview {

struct Node {
  enum class Kind { Integer, Float, Symbol, Point, Rect, List, PropList };

  Kind kind = Kind::Integer;
  int column = 0;             // 1-based column where the value starts
  std::int32_t integer = 0;   // Integer
  double real = 0;            // Float
  std::string symbol;         // Symbol, without the '#'
  std::int32_t coords[4] = {};  // Point: h, v as written; Rect: left, top, right, bottom
  std::vector<Node> items;    // List and PropList values
  std::vector<std::string> keys;  // PropList keys (symbol text), parallel to items

  // A short name of the kind for messages ("integer", "symbol", ...).
  const char* KindName() const;
};

struct Call {
  std::string name;
  std::vector<Node> args;
  int column = 0;
};

class ParseError : public std::runtime_error {
 public:
  ParseError(int column, std::string expected, std::string found);
  int column() const { return column_; }
  const std::string& expected() const { return expected_; }
  const std::string& found() const { return found_; }

 private:
  int column_;
  std::string expected_, found_;
};

// One value that must make up the whole text (surrounding blanks allowed).
Node ParseValue(std::string_view text);

// Name(arg, arg, ...) making up the whole text; the argument list may be empty.
Call ParseCall(std::string_view text);

// The written form of a tree, as ParseValue accepts it back.
std::string Format(const Node& node);

}  // namespace vx::preview
