#include "nelo_publish/text_paths.h"

#include "base/utf.h"

namespace nelo::publish {

std::optional<std::string> path_to_utf8(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  return utf16_to_utf8(std::u16string(wide.begin(), wide.end()));
}

std::string shown(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  return utf16_to_utf8_lossy(std::u16string(wide.begin(), wide.end()));
}

}  // namespace nelo::publish
