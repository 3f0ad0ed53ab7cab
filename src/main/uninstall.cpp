#include "main/uninstall.h"

namespace nelo {
namespace {

bool is_ascii_letter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// "C:\..." or "C:/...", or a UNC or device path ("\\server\share", "\\?\C:\...").
bool is_absolute_windows_path(std::u16string_view path) {
  const bool drive = path.size() >= 3 && is_ascii_letter(path[0]) && path[1] == u':' &&
                     (path[2] == u'\\' || path[2] == u'/');
  const bool unc = path.size() >= 3 && path[0] == u'\\' && path[1] == u'\\';
  return drive || unc;
}

bool has_control_character(std::u16string_view path) {
  for (const char16_t c : path) {
    if (c < 0x20 || c == 0x7F) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<std::u16string> removal_command_arguments(std::u16string_view root,
                                                        std::u16string_view system_folder,
                                                        bool delayed_expansion) {
  // Double quotes keep blanks, '&', '^' and the like literal for cmd, but not its variable
  // references, and not a double quote of the path itself.
  const std::u16string_view expanded = delayed_expansion ? u"%!\"" : u"%\"";
  for (const std::u16string_view path : {root, system_folder}) {
    if (!is_absolute_windows_path(path) || has_control_character(path) ||
        path.find_first_of(expanded) != std::u16string_view::npos) {
      return std::nullopt;
    }
  }
  std::u16string arguments = u"/d /s /c \"\"";
  arguments.append(system_folder);
  if (!system_folder.ends_with(u'\\')) {
    arguments += u'\\';
  }
  arguments.append(u"ping.exe\" -n 3 127.0.0.1 >nul & rmdir /s /q \"").append(root).append(u"\"\"");
  return arguments;
}

}  // namespace nelo
