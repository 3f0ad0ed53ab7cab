#include "main/uninstall.h"

#include "base/win_support.h"

#include <filesystem>
#include <optional>
#include <string>

#include "base/process_start_win.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"

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

}  // namespace

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
  const std::filesystem::path working_folder = root.parent_path();
  // The argument text goes to cmd exactly as made, after the program's name.
  std::wstring command_line = L"cmd " + to_wide(*arguments);
  // Started and let go: its handles close here, and it outlives this process.
  (void)start_process(*system / L"cmd.exe", std::move(command_line), working_folder,
                      CREATE_NO_WINDOW);
}

}  // namespace nelo
