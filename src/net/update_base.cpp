#include "net/update_base.h"

#include "base/product.h"
#include "base/utf.h"

namespace nelo {

std::u16string choose_update_base(const std::optional<std::u16string>& variable) {
  if (variable && utf16_to_utf8(*variable)) {
    return *variable;
  }
  return *utf8_to_utf16(kDefaultUpdateBase);
}

Result<UpdateBase> parse_update_base(std::string_view url) {
  UpdateBase base;
  std::string_view rest;
  if (url.starts_with("https://")) {
    base.secure = true;
    rest = url.substr(8);
  } else if (url.starts_with("http://")) {
    base.secure = false;
    rest = url.substr(7);
  } else {
    return fail("endereço");
  }

  std::string_view authority = rest;
  base.base_path = "/";
  if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
    authority = rest.substr(0, slash);
    base.base_path = std::string(rest.substr(slash));
  }

  const size_t colon = authority.find(':');
  base.host = std::string(authority.substr(0, colon));
  if (colon == std::string_view::npos) {
    base.port = base.secure ? 443 : 80;
    return base;
  }
  std::string_view digits = authority.substr(colon + 1);
  if (digits.starts_with('+')) {
    digits.remove_prefix(1);
  }
  if (digits.empty()) {
    return fail("porta");
  }
  std::uint32_t port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') {
      return fail("porta");
    }
    port = port * 10 + static_cast<std::uint32_t>(c - '0');
    if (port > 65535) {
      return fail("porta");
    }
  }
  base.port = static_cast<std::uint16_t>(port);
  return base;
}

}  // namespace nelo
