#include "install/launcher_log.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "base/unique_handle.h"
#include "base/win_support.h"
#include "install/install_layout.h"

namespace nelo {
namespace {

// How long a writer waits for its turn before it writes anyway: a log line never holds up the
// window.
constexpr DWORD kTurnTimeoutMs = 2000;

// The turn of one writer among all launcher processes of the session. Appends through separate
// handles are atomic on Windows, but Wine places each at the end of the file as it last saw it,
// so two writers at once could write over each other's line.
class LogTurn {
 public:
  LogTurn() : mutex_(::CreateMutexW(nullptr, FALSE, L"Local\\NeloLauncherLog")) {
    if (mutex_) {
      const DWORD waited = ::WaitForSingleObject(mutex_.get(), kTurnTimeoutMs);
      // WAIT_ABANDONED (a writer died holding it) gives the turn just the same.
      held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
  }
  ~LogTurn() {
    if (held_) {
      ::ReleaseMutex(mutex_.get());
    }
  }
  LogTurn(const LogTurn&) = delete;
  LogTurn& operator=(const LogTurn&) = delete;

 private:
  unique_handle mutex_;
  bool held_ = false;
};

void append_or_drop(std::string_view message) {
  const std::filesystem::path root = install_root();
  std::error_code ignored;
  // A root that cannot be made shows up as a file that cannot be opened just below.
  std::filesystem::create_directories(root, ignored);

  // FILE_APPEND_DATA alone makes every write land at the end of the file, whoever else appends.
  const LogTurn turn;
  unique_file file(::CreateFileW((root / L"launcher.log").c_str(), FILE_APPEND_DATA,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return;
  }
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  const std::uint64_t file_time =
      (std::uint64_t{now.dwHighDateTime} << 32) | std::uint64_t{now.dwLowDateTime};
  const std::string line = log_line(log_stamp(file_time), message);
  DWORD written = 0;
  // One write for the whole line; a failed or short write is dropped, logging never fails.
  ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

void append_log_line(std::string_view message) {
  try {
    append_or_drop(message);
  } catch (const std::exception&) {
    // Out of memory for a path or the line: the line is lost, the caller goes on.
  }
}

}  // namespace nelo
