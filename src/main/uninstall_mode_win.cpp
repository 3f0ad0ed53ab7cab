#include <filesystem>
#include <optional>
#include <string>

#include "base/clock.h"
#include "base/unique_handle.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"
#include "install/process_control.h"
#include "install/shell_integration.h"
#include "main/run_modes.h"
#include "main/uninstall.h"

namespace nelo {
namespace {

// The system folder: its cmd.exe and ping.exe are the ones that run, never a file of that name
// in the launcher's own folder, which a bare name would be looked for in first.
std::optional<std::filesystem::path> system_folder() {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return std::nullopt;
  }
  return std::filesystem::path(std::wstring(folder, length));
}

// An installation root of ours holds the launcher, the versions folder or the pointer to the
// current version. LOCALAPPDATA may name a folder whose "Nelo" is somebody else's: that one is
// never removed.
bool is_installation_root(const std::filesystem::path& root) {
  for (const wchar_t* name : {L"Nelo.exe", L"versions", L"current"}) {
    if (::GetFileAttributesW((root / name).c_str()) != INVALID_FILE_ATTRIBUTES) {
      return true;
    }
  }
  return false;
}

// True when the user turned on cmd's delayed expansion ("!name!") in the registry; a
// DelayedExpansion value of 1 under the machine's or the user's Command Processor key does.
bool cmd_expands_exclamation_marks() {
  for (const HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegGetValueW(hive, L"Software\\Microsoft\\Command Processor", L"DelayedExpansion",
                       RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS &&
        value == 1) {
      return true;
    }
  }
  return false;
}

// Starts the removal of the installation root without a console window and without waiting:
// the pause in the command lets this process end first, so that its own file goes too.
void start_root_removal() {
  const std::filesystem::path root = install_root();
  const std::optional<std::filesystem::path> system = system_folder();
  if (!system || !is_installation_root(root)) {
    return;
  }
  const auto arguments = removal_command_arguments(
      as_utf16(root.native()), as_utf16(system->native()), cmd_expands_exclamation_marks());
  if (!arguments) {
    return;
  }
  // cmd works from the root's parent: an uninstaller started from inside the root must not
  // keep the root in use through cmd's working folder.
  const std::wstring working_folder = root.parent_path().wstring();
  // The argument text goes to cmd exactly as made, after the program's name.
  std::wstring command_line = L"cmd " + to_wide(*arguments);
  const std::filesystem::path program = *system / L"cmd.exe";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, working_folder.c_str(), &startup, &info)) {
    return;
  }
  unique_handle process(info.hProcess);
  unique_handle thread(info.hThread);
}

}  // namespace

// Nothing is shown, asked or logged, and every failure is passed over: the system's own
// uninstall dialog was the confirmation, and the exit code is 0 whatever happens.
void run_uninstall_mode() {
  // No program may run from the versions any more when their files go.
  SteadyClock clock;
  stop_installed_processes(clock);
  remove_shell_integration();
  start_root_removal();
}

}  // namespace nelo
