#include "base/win_support.h"
#include "nelo_publish/release_folder.h"

namespace nelo::publish {

bool is_link_elsewhere(const std::filesystem::path& path) {
  // The attributes of the name itself: a reparse point of any kind is refused rather than
  // published as what it leads to (or, for a placeholder, fetched from the cloud).
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace nelo::publish
