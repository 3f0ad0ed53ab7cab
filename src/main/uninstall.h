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
// Nothing when that command could delete anything but the root: a root that is not absolute
// (without LOCALAPPDATA it is relative, and would name a folder wherever cmd runs), one that
// holds a double quote (it would end the quoted path early and hand rmdir other folders) or a
// control character, one that holds '%' (cmd expands variables even between quotes), and one
// that holds '!' when cmd's delayed expansion is on (`delayed_expansion`; off unless the user
// turned it on in the registry).
std::optional<std::u16string> removal_command_arguments(std::u16string_view root,
                                                        bool delayed_expansion = false);

}  // namespace nelo
