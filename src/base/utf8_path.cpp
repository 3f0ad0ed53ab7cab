#include "base/utf8_path.h"

#include <optional>
#include <string>

#include "base/utf.h"

namespace nelo {

std::filesystem::path path_from_utf8(std::string_view text) {
#ifdef _WIN32
  if (const std::optional<std::u16string> wide = utf8_to_utf16(text)) {
    return std::filesystem::path(std::wstring(wide->begin(), wide->end()));
  }
  return std::filesystem::path(std::wstring(text.begin(), text.end()));
#else
  return std::filesystem::path(std::string(text));
#endif
}

}  // namespace nelo
