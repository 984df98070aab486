// vornix-check [--json] [--group NAME]... MODULE: validates a module against
// the host contract; exit 0 when every check passed, 1 when one failed, 2 on
// a bad command line.
#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>

#include "check.h"

int main(int argc, char** argv) {
  bool json = false;
  std::string module;
  std::vector<std::string> groups;
  const std::vector<std::string> names = vx::check::GroupNames();
  bool bad = false;
  for (int i = 1; i < argc && !bad; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--group") == 0 && i + 1 < argc &&
               std::find(names.begin(), names.end(), argv[i + 1]) != names.end()) {
      groups.emplace_back(argv[++i]);
    } else if (module.empty() && argv[i][0] != '-') {
      module = argv[i];
    } else {
      bad = true;
    }
  }
  if (bad || module.empty()) {
    std::cerr << "usage: vornix-check [--json] [--group NAME]... MODULE\ngroups:";
    for (const std::string& name : names) std::cerr << " \"" << name << "\"";
    std::cerr << "\n";
    return 2;
  }
  return vx::check::Run(module, json, std::cout, groups);
}
