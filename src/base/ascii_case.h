// Letter case of ASCII text: A to Z against a to z, every other byte as it is. Labels, device
// names and digests are compared this way, as Windows compares names made of ASCII letters.
#pragma once

#include <string>
#include <string_view>

namespace nelo {

constexpr char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string ascii_lower(std::string_view text);

// True when the two texts differ at most in the letter case of ASCII letters.
bool equal_ignoring_ascii_case(std::string_view a, std::string_view b);

}  // namespace nelo
