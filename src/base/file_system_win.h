// File-system operations with the system's own error codes in their failures.
#pragma once

#include <filesystem>

#include "base/result.h"

namespace nelo {

// Creates a folder with every missing parent; one that exists already is fine. Fails with the
// system's error text.
Status create_folders(const std::filesystem::path& folder);

}  // namespace nelo
