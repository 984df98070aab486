#include <gtest/gtest.h>

#include "framework/properties.h"
#include "host/core/values.h"
#include "tests/effects/refusing_symbols.h"

namespace vx {
namespace {

class PropertyGetters : public ::testing::Test {
 protected:
  host::Values values_;
  Services services_{0, values_.Service(), 0, nullptr, values_.Lists()};

  Symbol Key(const char* text) { return values_.Intern(text); }
  HostValue One(const char* key, HostValue v) { return values_.List({{key, v}}); }
  std::int32_t Degrees(std::int32_t d) {
    const HostValue list = One("angle", values_.Integer(d));
    return GetDegreesProperty(&list, Key("angle"), &services_);
  }
};

TEST_F(PropertyGetters, DegreesBecomeTurnsOf256) {
  EXPECT_EQ(Degrees(360), 256);
  EXPECT_EQ(Degrees(359), 255);
  EXPECT_EQ(Degrees(-1), 0);
  EXPECT_EQ(Degrees(90), 64);
  EXPECT_EQ(Degrees(-45), -32);
  // Far beyond a turn the product needs more than 32 bits.
  EXPECT_EQ(Degrees(2000000000), 1422222222);
}

TEST_F(PropertyGetters, RadiansBecomeTurnsOf256) {
  HostValue list = One("angle", values_.Float(3.14159));
  EXPECT_EQ(GetRadiansProperty(&list, Key("angle"), &services_), 127);
  list = One("angle", values_.Float(-1.0));
  EXPECT_EQ(GetRadiansProperty(&list, Key("angle"), &services_), -40);  // -40.74 toward zero
  list = One("angle", values_.Float(1e300));
  EXPECT_EQ(GetRadiansProperty(&list, Key("angle"), &services_), kAbsent);
}

TEST_F(PropertyGetters, MissingOrUnconvertibleValuesAreAbsent) {
  const HostValue list = values_.List({{"n", values_.Integer(7)}, {"p", values_.Point(1, 2)}});
  EXPECT_EQ(GetIntProperty(&list, Key("n"), &services_), 7);
  EXPECT_EQ(GetIntProperty(&list, Key("missing"), &services_), kAbsent);
  EXPECT_EQ(GetIntProperty(&list, Key("p"), &services_), kAbsent);
  EXPECT_EQ(GetDegreesProperty(&list, Key("p"), &services_), kAbsent);
  const HostValue notAList = values_.Integer(3);
  EXPECT_EQ(GetIntProperty(&notAList, Key("n"), &services_), kAbsent);
  HostValue out{};
  EXPECT_EQ(FindPropertyValue(&notAList, Key("n"), &out, &services_), 0);
}

TEST_F(PropertyGetters, EveryValueTakenIsGivenBack) {
  const HostValue list = values_.List({{"n", values_.Integer(7)},
                                       {"p", values_.Point(1, 2)},
                                       {"f", values_.Float(2.0)},
                                       {"animMode", values_.SymbolValue("wobble")}});
  PropertyDesc table[1] = {{Key("animMode"), kTypeSymbol, 100}};
  const std::int64_t before = values_.LiveValues();
  PointRecord point{};
  GetIntProperty(&list, Key("n"), &services_);
  GetIntProperty(&list, Key("p"), &services_);  // found, fails to convert
  GetIntProperty(&list, Key("missing"), &services_);
  GetRadiansProperty(&list, Key("f"), &services_);
  GetPointProperty(&list, Key("p"), &point, &services_);
  GetPointProperty(&list, Key("n"), &point, &services_);
  GetAnimMode(&list, table, &services_);
  EXPECT_EQ(values_.LiveValues(), before);
}

TEST_F(PropertyGetters, PointsConvertOnlyFromPoints) {
  const HostValue list = values_.List({{"at", values_.Point(5, -6)}, {"n", values_.Integer(1)}});
  PointRecord p{0, 0};
  EXPECT_EQ(GetPointProperty(&list, Key("at"), &p, &services_), 1);
  EXPECT_EQ(p.vertical, 5);
  EXPECT_EQ(p.horizontal, -6);
  EXPECT_EQ(GetPointProperty(&list, Key("n"), &p, &services_), 0);
  EXPECT_EQ(GetPointProperty(&list, Key("none"), &p, &services_), 0);
}

TEST_F(PropertyGetters, AnimModeNamesParseToTheirCodes) {
  PropertyDesc table[1] = {};
  AddPropertyDesc(table, 0, "animMode", 100, kTypeSymbol, &services_);
  EXPECT_EQ(table[0].keySymbol, Key("animMode"));
  EXPECT_EQ(table[0].valueType, kTypeSymbol);
  EXPECT_EQ(table[0].propertyId, 100);
  const char* names[] = {"static", "range", "infinite", "pendulum", "follow", "relativeToPoint"};
  for (std::int32_t code = 0; code < 6; ++code) {
    const HostValue list = One("animMode", values_.SymbolValue(names[code]));
    EXPECT_EQ(GetAnimMode(&list, table, &services_), code) << names[code];
  }
}

TEST_F(PropertyGetters, UnknownAnimModeIsNeverTakenForAMode) {
  PropertyDesc table[1] = {{Key("animMode"), kTypeSymbol, 100}};
  // Symbols of this host are small numbers: one of them collides with a code.
  for (const char* name : {"a", "b", "c", "d", "e", "f", "g", "h"}) {
    const HostValue list = One("animMode", values_.SymbolValue(name));
    EXPECT_EQ(GetAnimMode(&list, table, &services_), kNoSuchMode) << name;
  }
  const HostValue wobble = values_.SymbolValue("wobble");
  Status status = 0;
  EXPECT_EQ(ParseAnimMode(&wobble, &services_, &status), Key("wobble"));
  EXPECT_EQ(status, kNoSuchMode);
}

TEST_F(PropertyGetters, AnimModeThatIsNoSymbolOrMissingIsAbsent) {
  PropertyDesc table[1] = {{Key("animMode"), kTypeSymbol, 100}};
  HostValue list = One("animMode", values_.Integer(1));
  EXPECT_EQ(GetAnimMode(&list, table, &services_), kAbsent);
  list = One("other", values_.SymbolValue("range"));
  EXPECT_EQ(GetAnimMode(&list, table, &services_), kAbsent);
}

// The mode names are made anew on every parse; a host that cannot make one
// of them leaves the mode unread rather than guessed.
TEST_F(PropertyGetters, ModeNameWithoutASymbolLeavesTheModeAbsent) {
  const HostValue list = One("animMode", values_.SymbolValue("range"));
  PropertyDesc table[1] = {{Key("animMode"), kTypeSymbol, 100}};
  for (const char* refused : {"static", "follow", "relativeToPoint"}) {
    SCOPED_TRACE(refused);
    host::RefusingSymbols refusing(values_, refused);
    Services services = services_;
    services.values = refusing.Service();
    EXPECT_EQ(GetAnimMode(&list, table, &services), kAbsent);
    const HostValue range = values_.SymbolValue("range");
    Status status = 0;
    EXPECT_EQ(ParseAnimMode(&range, &services, &status), 0);
    EXPECT_EQ(status, host::RefusingSymbols::kRefused);
  }
}

TEST_F(PropertyGetters, EntryWhoseKeyHasNoSymbolIsLeftAsItWas) {
  host::RefusingSymbols refusing(values_, "numFrames");
  Services services = services_;
  services.values = refusing.Service();
  PropertyDesc table[2] = {{-7, -8, -9}, {-7, -8, -9}};
  AddPropertyDesc(table, 1, "numFrames", 102, kTypeInteger, &services);
  EXPECT_EQ(table[1].keySymbol, -7);
  EXPECT_EQ(table[1].valueType, -8);
  EXPECT_EQ(table[1].propertyId, -9);
  AddPropertyDesc(table, 0, "easeIn", 318, kTypeInteger, &services);
  EXPECT_EQ(table[0].keySymbol, Key("easeIn"));
  EXPECT_EQ(table[0].valueType, kTypeInteger);
  EXPECT_EQ(table[0].propertyId, 318);
}

}  // namespace
}  // namespace vx
