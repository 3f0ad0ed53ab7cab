#include "install/process_control.h"

#include "base/unicode_lower.h"

namespace nelo {

FolderPrefix::FolderPrefix(std::u16string_view folder) : prefix_(lower_case(folder)) {}

bool FolderPrefix::contains(std::u16string_view image_path) const {
  return lower_case(image_path).starts_with(prefix_);
}

void stop_processes(ProcessTable& table, Clock& clock) {
  // The grace period only lets processes that are already ending go; nobody is asked to close.
  const Clock::time_point deadline = clock.now() + kStopGracePeriod;
  while (clock.now() < deadline) {
    if (table.scan().empty()) {
      break;
    }
    clock.sleep_for(kStopScanInterval);
  }
  for (const ProcessId id : table.scan()) {
    table.terminate(id);
  }
}

}  // namespace nelo
