#include "host/core/listing.h"

namespace vx::host {

Status PrintClasses(std::ostream& out, Host& host) {
  const std::vector<ClassInfoRecord> records = host.ListClasses();
  out << "Classes:\n";
  for (const ClassInfoRecord& record : records) {
    if (record.interfaceId == kUnknownInterfaceId) continue;  // the class's own record
    out << "  " << ClassName(record.classId) << "  " << GuidText(record.classId)
        << "  interface " << GuidText(record.interfaceId) << "\n";
  }

  RegistryRecorder registry;
  const Status status = host.RegisterEffects(registry);
  out << "Registered effects:\n";
  const auto& openings = registry.Openings();
  for (std::size_t i = 0; i < openings.size(); ++i) {
    out << "  " << ClassName(openings[i].classId) << "  " << GuidText(openings[i].classId)
        << "\n";
    for (const RegistryRecorder::Entry& entry : registry.Entries()) {
      if (entry.dictionary != static_cast<int>(i)) continue;
      out << "    \"" << entry.key << "\" = ";
      if (entry.type == kEntryText)
        out << '"' << entry.text << "\"\n";
      else
        out << entry.value << "\n";
    }
  }
  if (status != kOk) out << "Registration failed with status " << status << "\n";
  return status;
}

}  // namespace vx::host
