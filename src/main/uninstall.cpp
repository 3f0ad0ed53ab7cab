#include "main/uninstall.h"

namespace nelo {

std::optional<std::u16string> removal_command_arguments(std::u16string_view root) {
  // Double quotes keep blanks, '&', '^' and the like literal for cmd, but not its variable
  // references; a path cannot hold a double quote itself.
  if (root.find_first_of(u"%!") != std::u16string_view::npos) {
    return std::nullopt;
  }
  std::u16string arguments = u"/c ping -n 3 127.0.0.1 >nul & rmdir /s /q \"";
  arguments.append(root).append(u"\"");
  return arguments;
}

}  // namespace nelo
