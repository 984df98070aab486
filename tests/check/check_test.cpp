// The validator catches what it is for: a module with one deliberate fault
// fails the group that covers it, naming the fault, where the module it
// wraps does not.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "check.h"

namespace {

using vx::check::Report;

const vx::check::GroupResult* Find(const Report& report, const std::string& name) {
  for (const auto& g : report.groups)
    if (g.name == name) return &g;
  return nullptr;
}

int Matching(const vx::check::GroupResult& group, const std::regex& pattern) {
  int n = 0;
  for (const std::string& line : group.failures) n += std::regex_search(line, pattern) ? 1 : 0;
  return n;
}

TEST(ModuleCheck, EachDeliberateFaultFailsItsGroup) {
  struct Fault {
    const char* module;
    const char* group;
    const char* pattern;
  };
  const Fault faults[] = {
      {VX_FAULT_LEAK, "SetProperties", R"(SetProperties: [0-9]+ block\(s\) of [0-9]+ bytes never freed)"},
      {VX_FAULT_OVERRUN, "renders", R"(: Render .*: wrote (into the padding of|past) the destination)"},
      {VX_FAULT_STATUS, "script calls", R"(a function it lacks, no arguments: status 0x00000000, expected 0x800407DF)"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.module);
    const std::regex pattern(fault.pattern);
    const Report real = vx::check::CheckModule(VX_MODULE_PATH, {fault.group});
    const Report broken = vx::check::CheckModule(fault.module, {fault.group});
    const auto* realGroup = Find(real, fault.group);
    const auto* brokenGroup = Find(broken, fault.group);
    ASSERT_NE(realGroup, nullptr);
    ASSERT_NE(brokenGroup, nullptr);
    EXPECT_FALSE(brokenGroup->Passed());
    EXPECT_FALSE(broken.Passed());
    EXPECT_GT(brokenGroup->failed, realGroup->failed);
    EXPECT_GT(Matching(*brokenGroup, pattern), 0);
    EXPECT_EQ(Matching(*realGroup, pattern), 0);
    // The groups every other one builds on see nothing wrong in any of them.
    for (const char* name : {"exports", "class list", "registration"}) {
      ASSERT_NE(Find(broken, name), nullptr) << name;
      EXPECT_TRUE(Find(broken, name)->Passed()) << name;
    }
  }
}

TEST(ModuleCheck, ExitStatusAndJsonFollowTheVerdict) {
  std::ostringstream text, json;
  EXPECT_EQ(vx::check::Run(VX_FAULT_STATUS, false, text, {"script calls"}), 1);
  EXPECT_NE(text.str().find("FAIL  script calls"), std::string::npos) << text.str();
  EXPECT_EQ(vx::check::Run(VX_FAULT_STATUS, true, json, {"script calls"}), 1);
  EXPECT_NE(json.str().find(R"({"name": "script calls", "passed": false)"), std::string::npos) << json.str();
  EXPECT_NE(json.str().find(R"("passed": false, "groups")"), std::string::npos) << json.str();

  // A library without the exports fails the first group and stops there.
  const Report missing = vx::check::CheckModule(VX_FAULT_STATUS + std::string(".absent"));
  ASSERT_EQ(missing.groups.size(), 1u);
  EXPECT_FALSE(missing.groups[0].Passed());
}

}  // namespace
