// The one formatter of operating-system failures for messages the user sees.
#pragma once

#include <string>

#include "base/win_support.h"

namespace nelo {

// The system's message for `code` (trimmed of its line end), then " (os error N)".
std::string system_error_text(DWORD code);

// system_error_text of GetLastError(), read at once.
std::string last_error_text();

}  // namespace nelo
