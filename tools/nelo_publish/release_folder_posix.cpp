#include <system_error>

#include "nelo_publish/release_folder.h"

namespace nelo::publish {

bool is_link_elsewhere(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
}

}  // namespace nelo::publish
