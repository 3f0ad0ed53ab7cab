// The content of the "current" pointer file: the current version's label in UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nelo {

// The label that the pointer's bytes name, or nothing: the bytes must be valid UTF-8; white
// space (every character with the Unicode White_Space property) is stripped at both ends; what
// remains must be a usable folder name below "versions".
std::optional<std::string> parse_current_pointer(std::string_view bytes);

// Strips Unicode white space at both ends of valid UTF-8 text; inner white space stays.
std::string_view strip_unicode_white_space(std::string_view text);

}  // namespace nelo
