#include "install/windows_names.h"

#include <array>
#include <cctype>
#include <string>

namespace nelo {
namespace {

std::string ascii_upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return upper;
}

bool is_device_digit(std::string_view rest) {
  if (rest.size() == 1) {
    return rest[0] >= '0' && rest[0] <= '9';
  }
  // Superscript one, two and three (U+00B9, U+00B2, U+00B3) also make device names.
  return rest == "\xC2\xB9" || rest == "\xC2\xB2" || rest == "\xC2\xB3";
}

}  // namespace

bool is_reserved_device_name(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') {
    base.remove_suffix(1);
  }
  const std::string upper = ascii_upper(base);
  constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN",    "AUX",
                                                      "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view device : kPlain) {
    if (upper == device) {
      return true;
    }
  }
  const std::string_view prefix = std::string_view(upper).substr(0, 3);
  if (upper.size() > 3 && (prefix == "COM" || prefix == "LPT")) {
    return is_device_digit(std::string_view(upper).substr(3));
  }
  return false;
}

bool is_plain_windows_name(std::string_view name) {
  if (name.empty() || name == "." || name == "..") {
    return false;
  }
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
        c == '<' || c == '>' || c == '|') {
      return false;
    }
  }
  if (name.back() == '.' || name.back() == ' ') {
    return false;
  }
  return !is_reserved_device_name(name);
}

}  // namespace nelo
