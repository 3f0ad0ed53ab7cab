// Finding and stopping the programs that run from the installation, so that its folder can be
// deleted. Every call scans the system anew; nothing is remembered between scans.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"

namespace nelo {

using ProcessId = std::uint32_t;

// How long processes get to end on their own, and how often they are looked for meanwhile.
constexpr std::chrono::seconds kStopGracePeriod{5};
constexpr std::chrono::milliseconds kStopScanInterval{250};

// A folder's path, lower-cased, as the start that process image paths are compared with.
class FolderPrefix {
 public:
  explicit FolderPrefix(std::u16string_view folder);

  // True when `image_path`, lower-cased the same way, begins with the folder's text. This is a
  // plain text test with no separator added: "...\versions2\a.exe" begins with "...\versions"
  // and so counts as lying below it.
  bool contains(std::u16string_view image_path) const;

 private:
  std::u32string prefix_;
};

// What stopping needs from the system: the Windows table scans the running processes, tests
// hand in a fake.
class ProcessTable {
 public:
  virtual ~ProcessTable() = default;
  // The ids of the processes to stop that run at this moment, in the system's order.
  virtual std::vector<ProcessId> scan() = 0;
  // Ends the process, if it can, and waits a bounded time for it; the outcome is not reported.
  virtual void terminate(ProcessId id) = 0;
};

// Gives the processes that `table` finds up to 5 seconds on `clock` to end on their own,
// scanning every 250 ms and stopping at the first empty scan, then terminates, in order, every
// process that one last scan still finds.
void stop_processes(ProcessTable& table, Clock& clock);

// The ids of the other running processes whose full image path begins with `folder`'s path,
// compared as lower-cased text (see FolderPrefix). The own process is never listed; a process
// that cannot be inspected is left out, and a snapshot that cannot be taken gives no ids.
std::vector<ProcessId> find_processes_under(const std::filesystem::path& folder);

// Terminates the process `id` with exit code 0 and waits up to 3000 ms for it to end, but only
// while its image still lies below `folder`: once the process found has ended, the system may
// give its id to an unrelated process. Gives whether it was terminated.
bool terminate_process_under(ProcessId id, const FolderPrefix& folder);

// stop_processes over the processes running from the versions folder (see install_layout.h).
// The installed launcher in the installation root is not below it and is never stopped.
void stop_installed_processes(Clock& clock);

}  // namespace nelo
