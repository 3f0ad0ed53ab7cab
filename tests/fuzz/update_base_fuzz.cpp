// The update base URL parser never fails on any input; what it accepts splits the URL without
// losing or inventing text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/update_base.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  const auto base = nelo::parse_update_base(url);
  if (!base.ok()) {
    if (base.message() != "endereço" && base.message() != "porta") {
      std::abort();
    }
    return 0;
  }
  const std::string scheme = base->secure ? "https://" : "http://";
  const bool has_slash = url.find('/', scheme.size()) != std::string::npos;
  if (base->base_path.empty() || base->base_path[0] != '/' ||
      !url.starts_with(scheme + base->host) || base->host.find(':') != std::string::npos ||
      base->host.find('/') != std::string::npos || (has_slash && !url.ends_with(base->base_path)) ||
      (!has_slash && base->base_path != "/")) {
    std::abort();
  }
  const bool has_port = url.size() > scheme.size() + base->host.size() &&
                        url[scheme.size() + base->host.size()] == ':';
  if (!has_port && base->port != (base->secure ? 443 : 80)) {
    std::abort();
  }
  return 0;
}
