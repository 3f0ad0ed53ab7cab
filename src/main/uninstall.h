// The last step of the uninstall: the command that deletes the installation root once the
// launcher has exited.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nelo {

// The argument text for "cmd" that waits about two seconds (three echo requests to the local
// host), then deletes `root` recursively and quietly:
//   /c ping -n 3 127.0.0.1 >nul & rmdir /s /q "<root>"
// Nothing when the root's path holds '%' or '!': cmd would read those as the start of a
// variable (even between quotes) and could delete another folder than the root.
std::optional<std::u16string> removal_command_arguments(std::u16string_view root);

}  // namespace nelo
