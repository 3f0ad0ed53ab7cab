// The one way UTF-8 text becomes a path: a manifest's names, labels and digests, and the
// publisher's arguments.
#pragma once

#include <filesystem>
#include <string_view>

namespace nelo {

// On Windows the text's UTF-16; elsewhere its bytes as they are. Text that is not valid UTF-8
// becomes a path of its bytes, one code unit each, on Windows (never an exception): such a name
// then matches no file that valid text names.
std::filesystem::path path_from_utf8(std::string_view text);

}  // namespace nelo
