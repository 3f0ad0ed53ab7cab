// The update base URL: where the release manifest and the files are fetched from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace nelo {

struct UpdateBase {
  bool secure = true;
  std::string host;
  std::uint16_t port = 443;
  // Always begins with "/"; request paths are appended to it without a separator.
  std::string base_path = "/";
};

// The URL to use: the variable's value when it is set and valid Unicode (used verbatim, even
// when empty), otherwise the built-in default.
std::u16string choose_update_base(const std::optional<std::u16string>& variable);

// Splits the base URL. "endereço" when it starts with neither "https://" nor "http://" (exact
// case), "porta" when a ":" after the host is not followed by a decimal port 0-65535 (one
// optional leading "+"). Nothing after the first "/" is interpreted.
Result<UpdateBase> parse_update_base(std::string_view url);

}  // namespace nelo
