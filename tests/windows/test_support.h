// Helpers for the Windows tests (beside the temporary folders and files of temp_folder.h):
// scoped environment variables, the build's programs, and child processes whose output is
// read through a pipe.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/unique_handle.h"
#include "base/win_support.h"
#include "tests/temp_folder.h"

namespace nelo::testing_support {

// Sets (or, with nothing, removes) a variable of this process and restores it afterwards.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, std::optional<std::wstring> value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::wstring name_;
  std::optional<std::wstring> saved_;
};

// LOCALAPPDATA set to `folder` (a test's own) for the object's lifetime, so that the
// installation root, `root()`, is a folder of the test's.
class ScopedLocalAppData {
 public:
  explicit ScopedLocalAppData(std::filesystem::path folder)
      : folder_(std::move(folder)), variable_(L"LOCALAPPDATA", folder_.wstring()) {}
  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path root() const { return folder_ / L"Nelo"; }

 private:
  std::filesystem::path folder_;
  ScopedEnvironment variable_;
};

// Files the build made, as Windows paths.
std::filesystem::path launcher_exe();
std::filesystem::path standin_exe();

// The stand-in application, started as a copy at `program` with its folder as the working
// folder; it ends by itself with `exit_code` after `exit_after_ms`, or runs on until it is ended.
// Its process is invalid when it could not be started.
struct StartedStandin {
  unique_handle process;
  DWORD id = 0;
};
StartedStandin start_standin(const std::filesystem::path& program, int exit_after_ms,
                             DWORD exit_code);

struct ChildRun {
  std::string output;  // everything the child wrote to its standard output and error
  DWORD exit_code = 0;
  bool finished = false;
};

// Runs `command_line` exactly as given (the program found from its first word, or `program`
// when given), its standard output and error going to a pipe that this process reads to the
// end; waits up to `timeout_ms` for the child.
ChildRun run_and_capture(const std::wstring& command_line, DWORD timeout_ms = 60000,
                         const std::filesystem::path& program = {});

// Holds a named mutex for its lifetime (waiting for it first), so that tests that share one
// resource of the whole user session -- the current user's registry, known folders and
// shortcuts -- never overlap, even when CTest runs them in separate processes at once. A mutex
// left by a test process that died is taken over.
class ExclusiveSection {
 public:
  explicit ExclusiveSection(const wchar_t* name);
  ~ExclusiveSection();
  ExclusiveSection(const ExclusiveSection&) = delete;
  ExclusiveSection& operator=(const ExclusiveSection&) = delete;

 private:
  HANDLE mutex_ = nullptr;
};

// One registry value as it is stored: its type and its bytes.
struct StoredValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  bool operator==(const StoredValue&) const = default;
};

// The values of a key below HKEY_CURRENT_USER by name, or nothing when the key does not open.
std::optional<std::map<std::wstring, StoredValue>> read_user_key(const std::wstring& subkey);

// Makes the key below HKEY_CURRENT_USER if needed and writes the value; false on failure.
bool write_user_value(const std::wstring& subkey, const std::wstring& name,
                      const StoredValue& value);

// True when the tests run under Wine rather than Windows.
bool running_under_wine();

// Keeps what a key below HKEY_CURRENT_USER holds (its values; keys below it are not kept) and
// puts it back afterwards: the key is deleted with everything below it, then made again with
// the kept values if it existed.
class ScopedUserKey {
 public:
  explicit ScopedUserKey(std::wstring subkey);
  ~ScopedUserKey();
  ScopedUserKey(const ScopedUserKey&) = delete;
  ScopedUserKey& operator=(const ScopedUserKey&) = delete;

 private:
  std::wstring subkey_;
  std::optional<std::map<std::wstring, StoredValue>> saved_;
};

// Keeps one value of a key below HKEY_CURRENT_USER and puts it back (or removes it again when
// it did not exist) afterwards.
class ScopedUserValue {
 public:
  ScopedUserValue(std::wstring subkey, std::wstring name);
  ~ScopedUserValue();
  ScopedUserValue(const ScopedUserValue&) = delete;
  ScopedUserValue& operator=(const ScopedUserValue&) = delete;

 private:
  std::wstring subkey_;
  std::wstring name_;
  std::optional<StoredValue> saved_;
};

// Points the current user's desktop and Start-menu programs folders (the "User Shell Folders"
// values that the known-folder lookup reads, Wine's included) at other folders, and restores the
// earlier values afterwards. Tests use it so that shortcuts go to folders of their own.
class ScopedShellFolders {
 public:
  ScopedShellFolders(const std::filesystem::path& desktop, const std::filesystem::path& programs);
  ~ScopedShellFolders() = default;
  ScopedShellFolders(const ScopedShellFolders&) = delete;
  ScopedShellFolders& operator=(const ScopedShellFolders&) = delete;

 private:
  ScopedUserValue desktop_;
  ScopedUserValue programs_;
};

// The current user's shell integration set aside for one test: holds the section that tests of
// the user's shell share, points the desktop and the Start-menu programs at "Desktop" and
// "Start Menu\Programs" below `folder` (both made), keeps the uninstall entry and the autostart
// value and puts them back afterwards (the test starts without either), and keeps Wine's menu
// builder (which copies the icons of saved shortcuts into the Unix user's home) off meanwhile.
class ScopedUserShell {
 public:
  explicit ScopedUserShell(const std::filesystem::path& folder);
  ~ScopedUserShell() = default;
  ScopedUserShell(const ScopedUserShell&) = delete;
  ScopedUserShell& operator=(const ScopedUserShell&) = delete;

  const std::filesystem::path& desktop() const { return desktop_; }
  const std::filesystem::path& programs() const { return programs_; }

 private:
  ExclusiveSection section_;
  std::filesystem::path desktop_;
  std::filesystem::path programs_;
  ScopedShellFolders folders_;
  ScopedUserKey uninstall_entry_;
  ScopedUserValue autostart_;
  std::optional<ScopedUserValue> menu_builder_;
};

extern const wchar_t kUninstallKeyName[];
extern const wchar_t kRunKeyName[];
extern const wchar_t kApplicationIdName[];

}  // namespace nelo::testing_support
