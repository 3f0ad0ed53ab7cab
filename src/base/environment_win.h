// Reading the process environment as the system holds it (UTF-16).
#pragma once

#include <optional>
#include <string>

namespace nelo {

// The variable's value, an empty text for a variable that is set but empty, or nothing when it
// is not set.
std::optional<std::u16string> environment_variable(const wchar_t* name);

}  // namespace nelo
