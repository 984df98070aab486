// vornix check: validates a module of this kind against the host contract.
// It loads the library by path and reaches it only through the five
// exports, as a host does, then works through the contract group by group.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vx::check {

struct GroupResult {
  std::string name;
  int checks = 0;
  int failed = 0;
  double seconds = 0;
  std::vector<std::string> failures;  // the first few failed checks, one line each
  bool Passed() const { return failed == 0; }
};

struct Report {
  std::string module;
  std::vector<GroupResult> groups;
  bool Passed() const;
};

// `only` names the groups to run (all when empty); the exports, the class
// list and registration run always, as the others build on what they learn.
Report CheckModule(const std::string& modulePath, const std::vector<std::string>& only = {});

// One line per group and a summary line.
void PrintText(std::ostream& out, const Report& report);
void PrintJson(std::ostream& out, const Report& report);

// Checks and prints; the exit status: 0 when everything passed, else 1.
int Run(const std::string& modulePath, bool json, std::ostream& out, const std::vector<std::string>& only = {});

// The group names, in the order they run.
std::vector<std::string> GroupNames();

}  // namespace vx::check
