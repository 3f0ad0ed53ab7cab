// Reusing unchanged files of the previous version, and pruning old versions.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/result.h"
#include "install/file_record.h"
#include "release/manifest.h"

namespace nelo {

// Content digest to the path of an existing file with that content in the previous version.
using ReuseIndex = std::unordered_map<std::string, std::filesystem::path>;

// The size and last-write time of the regular file at a path; nothing when there is none.
using StampProbe = std::function<std::optional<FileStamp>(const std::filesystem::path&)>;
// The SHA-256 of a file's content; nothing when it cannot be read.
using DigestProbe = std::function<std::optional<std::string>(const std::filesystem::path&)>;

// The manifest path below `folder`, splitting at "/" and "\" alike.
std::filesystem::path join_manifest_path(const std::filesystem::path& folder,
                                         std::string_view manifest_path);

// The entries of the previous version's stored manifest whose files in `folder` are what it
// lists: of the listed size, and with the size and time its `record` gives (when it has one and
// they match), else with content that hashes to the listed digest now. A file cut short, or
// rewritten since, is not reused. For a digest listed more than once, the last such entry wins
// (a file is hashed only while its digest has no trusted path yet). Empty without a manifest.
ReuseIndex build_reuse_index(const std::filesystem::path& folder,
                             const std::optional<ReleaseManifest>& previous,
                             const FileRecord* record, const StampProbe& stamp,
                             const DigestProbe& digest);

const std::filesystem::path* find_reusable(const ReuseIndex& index, std::string_view sha256);

// True for an entry of the versions folder that pruning removes: every name but the version to
// keep and the previous one, compared as exact bytes.
bool should_prune(std::string_view name, std::string_view keep,
                  const std::optional<std::string>& previous);

// Compares two labels as Windows compares names: ASCII letters without regard to case (labels
// are ASCII).
bool same_folder_name(std::string_view a, std::string_view b);

}  // namespace nelo
