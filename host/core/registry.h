// The registry service Register writes to: records every dictionary opened
// and every entry stored, and can be told to fail.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host/core/bound_interface.h"
#include "vornix/abi.h"

namespace vx::host {

class RegistryRecorder {
 public:
  struct Opening {
    Word token;
    Guid classId;
    Guid interfaceId;
  };
  struct Entry {
    int dictionary = 0;  // index into Openings()
    std::int32_t type = 0;
    std::string key;
    std::string text;        // text entries
    std::int32_t value = 0;  // integer entries
    std::int32_t zero = 0;   // the argument the module passes as 0
  };

  RegistryRecorder();
  RegistryRecorder(const RegistryRecorder&) = delete;
  RegistryRecorder& operator=(const RegistryRecorder&) = delete;

  Registry* Interface() { return &bound_.iface; }

  // The `n`th open / store from now (1 = the next) answers `status`.
  void FailNthOpen(int n, Status status) { failOpenAt_ = n, failOpenStatus_ = status; }
  void FailNthStore(int n, Status status) { failStoreAt_ = n, failStoreStatus_ = status; }

  const std::vector<Opening>& Openings() const { return openings_; }
  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  friend struct RecorderOps;
  friend struct DictionaryRecorderOps;
  struct Dict {
    Dictionary iface;
    RegistryRecorder* owner;
    int index;
  };

  BoundInterface<Registry, RegistryRecorder> bound_;
  std::deque<Dict> dictionaries_;
  std::vector<Opening> openings_;
  std::vector<Entry> entries_;
  int openCalls_ = 0;
  int storeCalls_ = 0;
  int failOpenAt_ = 0;
  int failStoreAt_ = 0;
  Status failOpenStatus_ = kOk;
  Status failStoreStatus_ = kOk;
};

}  // namespace vx::host
