#include "nelo_publish/text_paths.h"

#include "base/utf.h"

namespace nelo::publish {

std::optional<std::string> path_to_utf8(const std::filesystem::path& path) {
  if (!is_valid_utf8(path.native())) {
    return std::nullopt;
  }
  return path.native();
}

std::string shown(const std::filesystem::path& path) {
  return path.native();
}

}  // namespace nelo::publish
