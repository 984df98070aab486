#include "framework/interface_record.h"

namespace vx {
namespace {
std::uint32_t gLiveRecords = 0;
}

std::uint32_t LiveRecordCount() { return gLiveRecords; }
void CountRecordMade() { ++gLiveRecords; }
void CountRecordFreed() { --gLiveRecords; }

}  // namespace vx
