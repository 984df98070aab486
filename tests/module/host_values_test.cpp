// The host's value and list services, as the effects will read property
// lists through them.
#include <gtest/gtest.h>

#include "host/core/values.h"

namespace vx::host {
namespace {

TEST(HostValues, SymbolsKeepTheirCase) {
  Values values;
  const Symbol lower = values.Intern("mosaic");
  EXPECT_EQ(values.Intern("mosaic"), lower);
  EXPECT_NE(values.Intern("Mosaic"), lower);
  EXPECT_EQ(values.SymbolText(lower), "mosaic");
  EXPECT_EQ(values.SymbolText(0), "");
}

TEST(HostValues, ConversionsThroughTheServiceTable) {
  Values values;
  ValueService* service = values.Service();
  const ValueServiceOps& ops = *service->ops;

  HostValue v{};
  std::int32_t i = 0;
  double d = 0;
  std::int32_t type = 0;
  ASSERT_EQ(ops.FloatToValue(service, 2.9, &v), kOk);
  EXPECT_EQ(ops.GetValueType(service, &v, &type), kOk);
  EXPECT_EQ(type, kTypeFloat);
  EXPECT_EQ(ops.ValueToInteger(service, &v, &i), kOk);
  EXPECT_EQ(i, 2);
  ASSERT_EQ(ops.FloatToValue(service, -2.9, &v), kOk);
  EXPECT_EQ(ops.ValueToInteger(service, &v, &i), kOk);
  EXPECT_EQ(i, -2);
  ASSERT_EQ(ops.FloatToValue(service, 1e12, &v), kOk);
  EXPECT_NE(ops.ValueToInteger(service, &v, &i), kOk);

  ASSERT_EQ(ops.IntegerToValue(service, -7, &v), kOk);
  EXPECT_EQ(ops.ValueToFloat(service, &v, &d), kOk);
  EXPECT_EQ(d, -7.0);
  Symbol s = 0;
  EXPECT_NE(ops.ValueToSymbol(service, &v, &s), kOk);

  const PointRecord p{3, -4};
  PointRecord q{};
  ASSERT_EQ(ops.PointToValue(service, &p, &v), kOk);
  EXPECT_EQ(ops.ValueToPoint(service, &v, &q), kOk);
  EXPECT_EQ(q.vertical, 3);
  EXPECT_EQ(q.horizontal, -4);
  i = 99;
  EXPECT_NE(ops.ValueToInteger(service, &v, &i), kOk);
  EXPECT_EQ(i, 99);

  const RectRecord r{1, 2, 3, 4};
  RectRecord back{};
  ASSERT_EQ(ops.RectToValue(service, &r, &v), kOk);
  EXPECT_EQ(ops.ValueToRect(service, &v, &back), kOk);
  EXPECT_EQ(back.top, 1);
  EXPECT_EQ(back.right, 4);

  ASSERT_EQ(ops.TextToSymbol(service, "range", &s), kOk);
  ASSERT_EQ(ops.SymbolToValue(service, s, &v), kOk);
  Symbol t = 0;
  EXPECT_EQ(ops.ValueToSymbol(service, &v, &t), kOk);
  EXPECT_EQ(t, s);
  EXPECT_NE(ops.SymbolToValue(service, 12345, &v), kOk);

  // A value no service made is refused, not read.
  const HostValue forged{(std::uint64_t{kTypeFloat} << 32) | 5000};
  EXPECT_NE(ops.ValueToFloat(service, &forged, &d), kOk);
  EXPECT_NE(ops.GetValueType(service, &forged, &type), kOk);
}

TEST(HostValues, PropertyListLookupAndLiveCount) {
  Values values;
  const HostValue list = values.List({{"numFrames", values.Integer(12)},
                                      {"animMode", values.SymbolValue("range")}});
  ListService* lists = values.Lists();
  const std::int64_t live = values.LiveValues();

  HostValue key = values.SymbolValue("numFrames");
  HostValue found{};
  ASSERT_EQ(lists->ops->GetPropByKey(lists, &list, &key, &found), kOk);
  std::int32_t n = 0;
  EXPECT_EQ(values.ToInteger(found, &n), kOk);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(values.LiveValues(), live + 2);
  EXPECT_EQ(values.Release(&found), kOk);
  EXPECT_EQ(values.Release(&key), kOk);
  EXPECT_EQ(values.LiveValues(), live);

  HostValue missing = values.SymbolValue("NumFrames");
  EXPECT_NE(lists->ops->GetPropByKey(lists, &list, &missing, &found), kOk);
  HostValue notAList = values.Integer(3);
  EXPECT_NE(lists->ops->GetPropByKey(lists, &notAList, &key, &found), kOk);
}

}  // namespace
}  // namespace vx::host
