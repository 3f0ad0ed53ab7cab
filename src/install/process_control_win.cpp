#include "install/process_control.h"

#include <optional>
#include <utility>

#include "base/win_support.h"
// The Toolhelp declarations need the Windows types first.
#include <tlhelp32.h>

#include "base/unique_handle.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"

namespace nelo {
namespace {

// Image paths of 1024 UTF-16 units or more are not read; such a process is not found.
constexpr DWORD kImagePathUnits = 1024;
constexpr DWORD kTerminateWaitMs = 3000;
constexpr UINT kTerminatedExitCode = 0;

// The system reads the entry by the size it is told; this is the 64-bit layout.
static_assert(sizeof(PROCESSENTRY32W) == 568);

// The full Win32 image path of an open process, or nothing when it cannot be read.
std::optional<std::wstring> image_path(HANDLE process) {
  wchar_t buffer[kImagePathUnits];
  DWORD length = kImagePathUnits;
  if (!::QueryFullProcessImageNameW(process, 0, buffer, &length)) {
    return std::nullopt;
  }
  return std::wstring(buffer, length);
}

class RunningProcesses final : public ProcessTable {
 public:
  explicit RunningProcesses(std::filesystem::path folder)
      : folder_(std::move(folder)), prefix_(as_utf16(folder_.native())) {}

  std::vector<ProcessId> scan() override { return find_processes_under(folder_); }
  void terminate(ProcessId id) override { (void)terminate_process_under(id, prefix_); }

 private:
  std::filesystem::path folder_;
  FolderPrefix prefix_;
};

}  // namespace

std::vector<ProcessId> find_processes_under(const std::filesystem::path& folder) {
  const FolderPrefix prefix(as_utf16(folder.native()));
  std::vector<ProcessId> found;
  unique_file snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) {
    return found;
  }
  const DWORD own_id = ::GetCurrentProcessId();
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == own_id) {
      continue;
    }
    // Processes of other users and protected processes do not open and are not found.
    unique_handle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (!process) {
      continue;
    }
    const auto path = image_path(process.get());
    if (path && prefix.contains(as_utf16(*path))) {
      found.push_back(entry.th32ProcessID);
    }
  }
  return found;
}

bool terminate_process_under(ProcessId id, const FolderPrefix& folder) {
  unique_handle process(::OpenProcess(
      PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  if (!process) {
    return false;
  }
  // The id came from an earlier scan; the open handle pins the process it names now, so this
  // check cannot be overtaken by another exit.
  const auto path = image_path(process.get());
  if (!path || !folder.contains(as_utf16(*path))) {
    return false;
  }
  const bool terminated = ::TerminateProcess(process.get(), kTerminatedExitCode) != FALSE;
  (void)::WaitForSingleObject(process.get(), kTerminateWaitMs);
  return terminated;
}

void stop_installed_processes(Clock& clock) {
  RunningProcesses processes(versions_dir());
  stop_processes(processes, clock);
}

}  // namespace nelo
