// The last step of the uninstall: the command that deletes the installation root once the
// launcher has exited.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nelo {

// The argument text for "cmd" that waits about two seconds (three echo requests to the local
// host, by the ping of `system_folder`), then deletes `root` recursively and quietly:
//   /d /s /c ""<system folder>\ping.exe" -n 3 127.0.0.1 >nul & rmdir /s /q "<root>""
// "/d" leaves out the AutoRun commands of the registry; "/s" takes the outer quotes away and
// keeps the inner ones. Nothing when that command could run or delete anything else: a path
// that is not absolute (without LOCALAPPDATA the root is relative, and would name a folder
// wherever cmd runs), one that holds a double quote (it would end the quoted path early) or a
// control character, one that holds '%' (cmd expands variables even between quotes), and one
// that holds '!' when cmd's delayed expansion is on (`delayed_expansion`; off unless the user
// turned it on in the registry).
std::optional<std::u16string> removal_command_arguments(std::u16string_view root,
                                                        std::u16string_view system_folder,
                                                        bool delayed_expansion = false);

// Windows (uninstall_win.cpp): starts that command for the installation root, without a
// console window and without waiting: its pause lets this process end first, so that its own
// file goes too. Nothing is started for a root that holds none of the launcher, the versions
// folder or the current pointer (LOCALAPPDATA may name somebody else's "Nelo"), or when no
// safe command can be made.
void start_root_removal();

}  // namespace nelo
