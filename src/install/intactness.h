// Whether the files of an installed version are all there.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "install/manifest.h"

namespace nelo {

// The size of the regular file at a manifest path below the version folder, or nothing when
// there is no such file.
using FileSizeProbe = std::function<std::optional<std::uint64_t>(std::string_view path)>;

// True when every file the manifest lists exists with exactly its size; stops at the first that
// is missing or differs.
bool is_version_intact(const ReleaseManifest& manifest, const FileSizeProbe& file_size);

}  // namespace nelo
