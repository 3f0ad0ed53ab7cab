// The text of a Windows error code for the launcher log, portable so that its form is tested.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nelo {

// "<system message> (0xXXXXXXXX)", or only "0xXXXXXXXX" when the system has no message for it.
// The message is trimmed of trailing line ends and blanks.
std::string error_code_text(std::string_view system_message, std::uint32_t code);

}  // namespace nelo
