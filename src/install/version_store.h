// The pointer to the current version. Reading needs no lock: the pointer only ever changes by
// one rename, so a reader sees the old label or the new one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace nelo {

// The current version's label, or nothing when the pointer is missing, unreadable, not valid
// UTF-8, blank, not a plain folder name, or names a version whose "Nelo.exe" is gone.
std::optional<std::string> read_current_version();

// Makes `label` current: writes "current.tmp", then renames it over "current". Fails with
// "gravar: " and the system's text; the old pointer then stays in force.
Status write_current_version(std::string_view label);

}  // namespace nelo
