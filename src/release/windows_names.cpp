#include "release/windows_names.h"

#include <array>
#include <string>

#include "base/ascii_case.h"

namespace nelo {
namespace {

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
  const std::string lower = ascii_lower(base);
  constexpr std::array<std::string_view, 6> kPlain = {"con", "prn",    "aux",
                                                      "nul", "conin$", "conout$"};
  for (std::string_view device : kPlain) {
    if (lower == device) {
      return true;
    }
  }
  const std::string_view prefix = std::string_view(lower).substr(0, 3);
  if (lower.size() > 3 && (prefix == "com" || prefix == "lpt")) {
    return is_device_digit(std::string_view(lower).substr(3));
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

bool has_short_name_form(std::string_view name) {
  const std::size_t dot = name.find('.');
  const std::string_view base = name.substr(0, dot);
  const std::string_view extension =
      dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3 ||
      extension.find('.') != std::string_view::npos) {
    return false;
  }
  for (std::size_t tilde = base.find('~'); tilde != std::string_view::npos;
       tilde = base.find('~', tilde + 1)) {
    if (tilde + 1 < base.size() && base[tilde + 1] >= '0' && base[tilde + 1] <= '9') {
      return true;
    }
  }
  return false;
}

}  // namespace nelo
