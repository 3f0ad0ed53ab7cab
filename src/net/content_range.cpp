#include "net/content_range.h"

#include <charconv>

namespace nelo {
namespace {

// A decimal number without sign or blanks that fits in 64 bits, and the rest of the text.
std::optional<std::uint64_t> take_number(std::string_view& text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) {
    return std::nullopt;
  }
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return value;
}

bool take(std::string_view& text, std::string_view expected) {
  if (!text.starts_with(expected)) {
    return false;
  }
  text.remove_prefix(expected.size());
  return true;
}

}  // namespace

std::string range_header(ByteRange range) {
  std::string header = "Range: bytes=" + std::to_string(range.offset) + "-";
  if (range.length != 0) {
    header += std::to_string(range.offset + range.length - 1);
  }
  return header;
}

std::optional<std::uint64_t> content_range_start(std::string_view value) {
  std::string_view text = value;
  if (!take(text, "bytes ")) {
    return std::nullopt;
  }
  const std::optional<std::uint64_t> first = take_number(text);
  if (!first || !take(text, "-")) {
    return std::nullopt;
  }
  const std::optional<std::uint64_t> last = take_number(text);
  if (!last || *last < *first || !take(text, "/")) {
    return std::nullopt;
  }
  if (text == "*") {
    return first;
  }
  const std::optional<std::uint64_t> total = take_number(text);
  if (!total || !text.empty() || *last >= *total) {
    return std::nullopt;
  }
  return first;
}

std::optional<std::uint64_t> content_length_value(std::string_view value) {
  std::string_view text = value;
  const std::optional<std::uint64_t> length = take_number(text);
  if (!length || !text.empty()) {
    return std::nullopt;
  }
  return length;
}

}  // namespace nelo
