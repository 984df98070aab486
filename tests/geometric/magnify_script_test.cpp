// Magnify's script functions through the operation table: argument counts,
// unreadable arguments and the changed flag, each from the function's rules.
#include <string>
#include <vector>

#include "tests/rotate/rotate_host.h"

namespace vx::host {
namespace {

class MagnifyScript : public EffectHost {
 protected:
  MagnifyScript() : EffectHost(kMagnifyClassId, "magnify") {}
};

constexpr Status kPointCount = static_cast<Status>(0x800407E3u);
constexpr Status kCount = static_cast<Status>(0x800407E5u);
constexpr Status kUnreadable = static_cast<Status>(0x800407D9u);

TEST_F(MagnifyScript, CallsAnswerByTheirArgumentRules) {
  const HostValue word = values().SymbolValue("word");
  const HostValue ten = values().Integer(10), twenty = values().Integer(20);
  const struct {
    const char* name;
    std::vector<HostValue> args;
    Status status;
    std::int32_t changed;
  } cases[] = {
      {"SetMagPoint", {ten, twenty}, kOk, 1},
      {"SetMagPoint", {ten}, kPointCount, 0},
      {"SetMagPoint", {ten, twenty, ten}, kPointCount, 0},
      {"SetMagPoint", {word, twenty}, kUnreadable, 0},
      {"SetMagPoint", {ten, word}, kUnreadable, 0},
      {"InterpolateNow", {}, kOk, 1},
      {"InterpolateNow", {ten, word}, kOk, 1},
      {"SetInterpolation", {values().Integer(2)}, kOk, 1},
      {"SetInterpolation", {}, kCount, 1},
      {"SetInterpolation", {ten, ten}, kCount, 1},
      {"SetInterpolation", {word}, kUnreadable, 1},
      {"GetAngle", {}, kNoSuchFunction, 0},
      {"RelToPoint", {ten, ten}, kNoSuchFunction, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " with " + std::to_string(c.args.size()));
    EXPECT_EQ(Call(c.name, c.args), c.status);
    EXPECT_EQ(changed, c.changed);
    EXPECT_EQ(restarted, 0);
  }
}

}  // namespace
}  // namespace vx::host
