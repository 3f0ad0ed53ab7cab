// UTF-8 <-> the UTF-16 wide strings of the Windows API (wchar_t is 16 bits there).
#pragma once

#include <string>
#include <string_view>

namespace nelo {

std::u16string_view as_utf16(std::wstring_view text);
std::wstring to_wide(std::u16string_view text);

// Valid UTF-8 in, UTF-16 out; invalid bytes become U+FFFD, since the program only converts its
// own texts this way.
std::wstring to_wide(std::string_view utf8);

// Wide text to UTF-8, with U+FFFD for unpaired surrogates.
std::string to_utf8(std::wstring_view text);

}  // namespace nelo
