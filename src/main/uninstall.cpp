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
                                                        bool delayed_expansion) {
  // Double quotes keep blanks, '&', '^' and the like literal for cmd, but not its variable
  // references, and not a double quote of the path itself.
  const std::u16string_view expanded = delayed_expansion ? u"%!\"" : u"%\"";
  if (!is_absolute_windows_path(root) || has_control_character(root) ||
      root.find_first_of(expanded) != std::u16string_view::npos) {
    return std::nullopt;
  }
  std::u16string arguments = u"/c ping -n 3 127.0.0.1 >nul & rmdir /s /q \"";
  arguments.append(root).append(u"\"");
  return arguments;
}

}  // namespace nelo
