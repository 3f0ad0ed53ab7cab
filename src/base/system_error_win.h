// The one formatter of operating-system failures: for the messages the user sees, and for the
// launcher log.
#pragma once

#include <string>

#include "base/win_support.h"

namespace nelo {

// The system's message for `code` (trimmed of its line end), then " (os error N)".
std::string system_error_text(DWORD code);

// system_error_text of GetLastError(), read at once.
std::string last_error_text();

// The system's message for an HRESULT with the code, as written into the launcher log:
// "<message> (0xXXXXXXXX)", or the code alone when the system has no message for it.
std::string hresult_text(HRESULT code);

}  // namespace nelo
