// What makes the installation visible to Windows: two shortcuts that start the installed
// launcher and the entry in the current user's list of installed programs. Everything is
// rewritten in full on each registration and is its own state:
//
//   <desktop>\Nelo.lnk                         the installed launcher, working folder the root
//   <Start-menu programs>\Nelo.lnk             the same
//   HKEY_CURRENT_USER
//     Software\Microsoft\Windows\CurrentVersion
//       Uninstall\Nelo                         the ten values of uninstall_entry_values
//       Run  value <application id>            never written here; removed at uninstall
//
// Every failure is silent: a shortcut that cannot be written is skipped, a key that cannot be
// created leaves the entry out, a value that cannot be written is skipped.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The shell's property store of a shortcut (Windows only).
struct IPropertyStore;

namespace nelo {

constexpr std::u16string_view kShortcutName = u"Nelo.lnk";
constexpr std::u16string_view kUninstallKeyPath =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Nelo";
constexpr std::u16string_view kRunKeyPath = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

enum class RegistryType {
  Text,    // REG_SZ
  Number,  // REG_DWORD
};

struct RegistryValue {
  std::u16string name;
  RegistryType type = RegistryType::Text;
  // Exactly the bytes stored: text as UTF-16LE with its terminating NUL, a number as four
  // little-endian bytes.
  std::vector<std::uint8_t> data;
};

// The uninstall entry's values in the order they are written, for the version label `version`,
// the installed launcher's full path and the installation root's path (both taken as they
// read, without quotes added or normalisation).
std::vector<RegistryValue> uninstall_entry_values(std::u16string_view version,
                                                  std::u16string_view launcher_path,
                                                  std::u16string_view root_path);

// The shortcut paths: "Nelo.lnk" in the user's desktop, then in the user's Start-menu programs
// folder. A folder the system cannot give (one that does not exist, say) is left out, so the
// list holds zero to two paths.
std::vector<std::filesystem::path> shortcut_paths();

// Writes both shortcuts and the uninstall entry naming `version` (a UTF-8 label). Each shortcut
// is given up on its own on any failure; the outcome is never reported. Needs COM initialised
// on the calling thread.
void register_shell_integration(std::string_view version);

// Deletes the shortcuts, the uninstall entry with everything in it and the autostart value
// named by the application id; whatever is missing or cannot be deleted is left.
void remove_shell_integration();

// Sets the application user model id of a shortcut's `store` to the application id as a
// VT_BSTR value, then commits the store; false as soon as a step fails.
bool store_application_id(::IPropertyStore& store);

}  // namespace nelo
