// Paths as UTF-8 text, the form of the command line, the manifest and the messages.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/utf8_path.h"

namespace nelo::publish {

// A path's text as UTF-8 (nothing for a name that is not valid Unicode: a POSIX name that is
// not UTF-8, a Windows name with an unpaired surrogate). The other way is base's
// path_from_utf8.
std::optional<std::string> path_to_utf8(const std::filesystem::path& path);

// A path as text for messages; never fails.
std::string shown(const std::filesystem::path& path);

}  // namespace nelo::publish
