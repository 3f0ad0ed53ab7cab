// Conversions between UTF-8 (the program's own text) and UTF-16 (what Windows hands over).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nelo {

// UTF-16 to UTF-8, writing U+FFFD in place of every unpaired surrogate, so that any text the
// system gives can be carried on.
std::string utf16_to_utf8_lossy(std::u16string_view text);

// The same into `out`, replacing what it held; a buffer used again costs no allocation.
void utf16_to_utf8_into(std::u16string_view text, std::string& out);

// UTF-16 to UTF-8, or nothing when the text holds an unpaired surrogate.
std::optional<std::string> utf16_to_utf8(std::u16string_view text);

// UTF-8 to UTF-16, or nothing when the bytes are not valid UTF-8 (overlong forms, surrogates
// and values above U+10FFFF are invalid).
std::optional<std::u16string> utf8_to_utf16(std::string_view bytes);

bool is_valid_utf8(std::string_view bytes);

}  // namespace nelo
