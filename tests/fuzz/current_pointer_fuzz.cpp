// The "current" pointer's reader never fails on any bytes; what it accepts is the pointer's
// own text without the white space around it, valid UTF-8, and one plain folder name, so that
// no pointer can lead outside the versions folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/utf.h"
#include "install/current_pointer.h"
#include "release/windows_names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const auto label = nelo::parse_current_pointer(bytes);
  if (!label) {
    return 0;
  }
  const std::string_view stripped = nelo::strip_unicode_white_space(bytes);
  if (*label != stripped || label->empty() || bytes.find(*label) == std::string::npos ||
      !nelo::is_valid_utf8(*label) || !nelo::is_plain_windows_name(*label) ||
      label->find_first_of("/\\:") != std::string::npos || *label == "." || *label == "..") {
    std::abort();
  }
  // Stripping is idempotent: the label has no white space left at either end.
  if (nelo::strip_unicode_white_space(*label) != *label) {
    std::abort();
  }
  return 0;
}
