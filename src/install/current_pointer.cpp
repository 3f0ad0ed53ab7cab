#include "install/current_pointer.h"

#include <array>

#include "base/utf.h"
#include "release/windows_names.h"

namespace nelo {
namespace {

// The UTF-8 spellings of the White_Space characters outside ASCII.
constexpr std::array<std::string_view, 18> kWideWhiteSpace = {
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
};
constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

size_t white_space_prefix(std::string_view text) {
  if (!text.empty() && ((text[0] >= '\t' && text[0] <= '\r') || text[0] == ' ')) {
    return 1;
  }
  for (std::string_view space : kWideWhiteSpace) {
    if (text.starts_with(space)) {
      return space.size();
    }
  }
  return text.starts_with(kIdeographicSpace) ? kIdeographicSpace.size() : 0;
}

size_t white_space_suffix(std::string_view text) {
  if (!text.empty() && ((text.back() >= '\t' && text.back() <= '\r') || text.back() == ' ')) {
    return 1;
  }
  for (std::string_view space : kWideWhiteSpace) {
    if (text.ends_with(space)) {
      return space.size();
    }
  }
  return text.ends_with(kIdeographicSpace) ? kIdeographicSpace.size() : 0;
}

}  // namespace

std::string_view strip_unicode_white_space(std::string_view text) {
  while (size_t n = white_space_prefix(text)) {
    text.remove_prefix(n);
  }
  while (size_t n = white_space_suffix(text)) {
    text.remove_suffix(n);
  }
  return text;
}

std::optional<std::string> parse_current_pointer(std::string_view bytes) {
  if (!is_valid_utf8(bytes)) {
    return std::nullopt;
  }
  const std::string_view label = strip_unicode_white_space(bytes);
  // An empty label names no version; one that is not a plain folder name could lead outside the
  // versions folder, so it reads as no version too.
  if (!is_plain_windows_name(label)) {
    return std::nullopt;
  }
  return std::string(label);
}

}  // namespace nelo
