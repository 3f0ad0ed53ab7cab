// The process command line: splitting it into arguments and choosing the run mode.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nelo {

// Splits a command line the way the C runtime builds argv: the program name ends at the first
// blank or tab outside double quotes (quotes toggle and are never kept); every later argument
// follows the backslash and quote rules, where two double quotes inside quotes give one literal
// quote and stay inside. The program name is the first element; an empty line gives no elements.
std::vector<std::u16string> split_command_line(std::u16string_view line);

// The four ways the program starts, each with a run mode of its own:
//   Normal     the user's start: the window, the update session, the launch
//   Hidden     "--hidden": the same without window or questions, "--hidden" passed on
//   Stage      "--stage": the running application prepares the next release
//   Uninstall  "--uninstall": the installed-programs list removes Nelo
//   SelfTest   "--self-test": an updater checks that this program can run before installing it
enum class RunMode { Normal, Hidden, Stage, Uninstall, SelfTest };

// Picks the mode from the arguments after the program name. Arguments are compared whole and
// case-sensitively at any position; "--self-test" wins over all (it changes nothing), then
// "--uninstall" over "--stage", which wins over "--hidden"; others are ignored.
RunMode choose_run_mode(const std::vector<std::string>& arguments);

// Splits `line`, drops the program name, converts each argument to UTF-8 (an unpaired surrogate
// becomes U+FFFD, so such an argument never equals a mode flag) and picks the mode.
RunMode parse_command_line(std::u16string_view line);

}  // namespace nelo
