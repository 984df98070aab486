#include "plist.h"

#include <gtest/gtest.h>

namespace vx::preview {
namespace {

using Kind = Node::Kind;

TEST(PropertyListParser, ReadsTheWrittenFormOfAnAnimation) {
  Node n = ParseValue("[#animMode: #range, #numFrames: 30, #endDegrees: 360]");
  ASSERT_EQ(n.kind, Kind::PropList);
  ASSERT_EQ(n.keys, (std::vector<std::string>{"animMode", "numFrames", "endDegrees"}));
  EXPECT_EQ(n.items[0].kind, Kind::Symbol);
  EXPECT_EQ(n.items[0].symbol, "range");
  EXPECT_EQ(n.items[1].kind, Kind::Integer);
  EXPECT_EQ(n.items[1].integer, 30);
  EXPECT_EQ(n.items[2].integer, 360);
  // Columns point at the first character of each value.
  EXPECT_EQ(n.column, 1);
  EXPECT_EQ(n.items[0].column, 13);
  EXPECT_EQ(n.items[1].column, 33);
}

TEST(PropertyListParser, ReadsNumbersOfEveryForm) {
  EXPECT_EQ(ParseValue("-45").integer, -45);
  EXPECT_EQ(ParseValue("+7").integer, 7);
  EXPECT_EQ(ParseValue("2147483647").integer, 2147483647);
  EXPECT_EQ(ParseValue("-2147483648").integer, -2147483647 - 1);
  Node f = ParseValue("3.14159");
  EXPECT_EQ(f.kind, Kind::Float);
  EXPECT_DOUBLE_EQ(f.real, 3.14159);
  EXPECT_DOUBLE_EQ(ParseValue("-0.5").real, -0.5);
  EXPECT_DOUBLE_EQ(ParseValue(".25").real, 0.25);
  EXPECT_DOUBLE_EQ(ParseValue("1e3").real, 1000.0);
  EXPECT_EQ(ParseValue("1e3").kind, Kind::Float);
  EXPECT_EQ(ParseValue("TRUE").integer, 1);
  EXPECT_EQ(ParseValue("false").integer, 0);
}

TEST(PropertyListParser, KeepsPointsAndRectsInWrittenOrder) {
  Node p = ParseValue("point(10, -20)");
  ASSERT_EQ(p.kind, Kind::Point);
  EXPECT_EQ(p.coords[0], 10);  // horizontal
  EXPECT_EQ(p.coords[1], -20);  // vertical
  Node r = ParseValue("Rect( 1,2 ,30, 40 )");
  ASSERT_EQ(r.kind, Kind::Rect);
  EXPECT_EQ(r.coords[0], 1);
  EXPECT_EQ(r.coords[1], 2);
  EXPECT_EQ(r.coords[2], 30);
  EXPECT_EQ(r.coords[3], 40);
}

TEST(PropertyListParser, NestsListsAndKnowsEmptyOnes) {
  Node n = ParseValue(" [#a: [#b: point(1, 2)], #c: [], #d: [:], #e: [1, #x, 2.5]] ");
  ASSERT_EQ(n.kind, Kind::PropList);
  ASSERT_EQ(n.items.size(), 4u);
  EXPECT_EQ(n.items[0].kind, Kind::PropList);
  EXPECT_EQ(n.items[0].keys[0], "b");
  EXPECT_EQ(n.items[0].items[0].kind, Kind::Point);
  EXPECT_EQ(n.items[1].kind, Kind::List);
  EXPECT_TRUE(n.items[1].items.empty());
  EXPECT_EQ(n.items[2].kind, Kind::PropList);
  EXPECT_TRUE(n.items[2].items.empty());
  EXPECT_EQ(n.items[3].kind, Kind::List);
  ASSERT_EQ(n.items[3].items.size(), 3u);
  EXPECT_EQ(n.items[3].items[1].symbol, "x");
}

TEST(PropertyListParser, FormatsBackToTheSameTree) {
  const char* text = "[#a: -3, #b: 0.5, #c: #static, #d: point(4, 5), #e: rect(0, 0, 10, 10), "
                     "#f: [1, 2], #g: [:], #h: []]";
  EXPECT_EQ(Format(ParseValue(text)), text);
  EXPECT_EQ(Format(ParseValue("2.0")), "2.0");
}

struct BadInput {
  const char* text;
  int column;
  const char* expected;
};

class PropertyListErrors : public ::testing::TestWithParam<BadInput> {};

TEST_P(PropertyListErrors, NameTheColumnAndWhatWasExpected) {
  const BadInput& bad = GetParam();
  try {
    ParseValue(bad.text);
    FAIL() << "accepted: " << bad.text;
  } catch (const ParseError& e) {
    EXPECT_EQ(e.column(), bad.column) << bad.text << ": " << e.what();
    EXPECT_EQ(e.expected(), bad.expected) << bad.text << ": " << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PropertyListErrors,
    ::testing::Values(BadInput{"", 1, "a value"},
                      BadInput{"[#animMode: #range, #numFrames 30]", 32, "':' after the key"},
                      BadInput{"[#a: 1 #b: 2]", 8, "',' or ']'"},
                      BadInput{"[#a: 1,]", 8, "a value"},
                      BadInput{"[#a: 1", 7, "',' or ']'"},
                      BadInput{"[#a: 1, 2]", 9, "a key like #name"},
                      BadInput{"[1, #a: 2]", 7, "',' or ']' (the list has no keys)"},
                      BadInput{"#", 2, "a symbol name after '#'"},
                      BadInput{"# a", 2, "a symbol name after '#'"},
                      BadInput{"point(1)", 8, "','"},
                      BadInput{"point(1, 2.5)", 10, "an integer"},
                      BadInput{"rect(0, 0, 10)", 14, "','"},
                      BadInput{"point 1, 2", 7, "'('"},
                      BadInput{"2147483648", 1, "an integer between -2147483648 and 2147483647"},
                      BadInput{"12abc", 3, "a digit, ',' or a closing bracket"},
                      BadInput{"1e", 3, "a digit of the exponent"},
                      BadInput{"-", 2, "a digit"},
                      BadInput{"range", 1, "a value"},
                      BadInput{"\"text\"", 1, "a value"},
                      BadInput{"[#a: 1] x", 9, "end of input"}));

TEST(PropertyListErrors, SayWhatWasFound) {
  try {
    ParseValue("[#a: 1 #b: 2]");
    FAIL();
  } catch (const ParseError& e) {
    EXPECT_EQ(e.found(), "'#'");
    EXPECT_STREQ(e.what(), "column 8: expected ',' or ']', found '#'");
  }
  try {
    ParseValue("[#a: ");
    FAIL();
  } catch (const ParseError& e) {
    EXPECT_EQ(e.found(), "end of input");
  }
}

TEST(ScriptCallParser, ReadsNameAndArguments) {
  Call c = ParseCall("RelToPoint(320, 40)");
  EXPECT_EQ(c.name, "RelToPoint");
  ASSERT_EQ(c.args.size(), 2u);
  EXPECT_EQ(c.args[0].integer, 320);
  EXPECT_EQ(c.args[1].integer, 40);
  EXPECT_EQ(c.args[1].column, 17);

  Call none = ParseCall("  GetAngle( )");
  EXPECT_EQ(none.name, "GetAngle");
  EXPECT_TRUE(none.args.empty());
  EXPECT_EQ(none.column, 3);

  Call mixed = ParseCall("GetRotatedRect(-90, rect(0, 0, 160, 120))");
  ASSERT_EQ(mixed.args.size(), 2u);
  EXPECT_EQ(mixed.args[0].integer, -90);
  EXPECT_EQ(mixed.args[1].kind, Kind::Rect);
}

TEST(ScriptCallParser, ReportsBadCalls) {
  auto columnOf = [](const char* text, std::string* expected) {
    try {
      ParseCall(text);
    } catch (const ParseError& e) {
      *expected = e.expected();
      return e.column();
    }
    return 0;
  };
  std::string expected;
  EXPECT_EQ(columnOf("RelToPoint(320 40)", &expected), 16);
  EXPECT_EQ(expected, "',' or ')'");
  EXPECT_EQ(columnOf("RelToPoint", &expected), 11);
  EXPECT_EQ(expected, "'('");
  EXPECT_EQ(columnOf("(1, 2)", &expected), 1);
  EXPECT_EQ(expected, "a function name");
  EXPECT_EQ(columnOf("Flip(1) 2", &expected), 9);
  EXPECT_EQ(expected, "end of input");
}

}  // namespace
}  // namespace vx::preview
