// Whether the files of an installed version are all there.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "install/file_record.h"
#include "release/manifest.h"

namespace nelo {

// The size and last-write time of the regular file at a manifest path below the version folder,
// or nothing when there is no such file.
using FileSizeProbe = std::function<std::optional<FileStamp>(std::string_view path)>;

// True when every file the manifest lists exists with exactly its size, and, with the version's
// `record`, with the last-write time it records (a file rewritten since, even to the same
// length, is damaged); stops at the first that is missing or differs. Asks once per file.
bool is_version_intact(const ReleaseManifest& manifest, const FileSizeProbe& file_size,
                       const FileRecord* record = nullptr);

// Takes one entry of a folder listing: its name (valid only during the call), whether it is a
// folder, and its size and last-write time.
using EntryVisitor =
    std::function<void(std::u16string_view name, bool is_folder, const FileStamp& stamp)>;

// Lists a folder below the version folder, named by its pieces ({} for the version folder
// itself), handing each entry to the visitor; false when it cannot be listed (missing, or not a
// folder).
using FolderLister =
    std::function<bool(const std::vector<std::u16string>& pieces, const EntryVisitor& visit)>;

// From this many files of the manifest in one folder on, the folder is listed once rather than
// each file asked for: a listing costs about as much as 80 single questions under Wine (and 4 on
// Windows), so a large folder is cheaper listed and a small one cheaper asked.
constexpr std::size_t kListFolderFrom = 64;

// The same decision as `is_version_intact`, asked the cheapest way: a folder that holds at least
// `list_from` of the manifest's files is listed once (sizes from the listing), the files of any
// other folder are asked for one by one. Names in a listing are matched as Windows matches them,
// without regard to letter case; "/" and "\" both separate pieces.
bool is_version_intact(const ReleaseManifest& manifest, const FileSizeProbe& file_size,
                       const FolderLister& list, const FileRecord* record = nullptr,
                       std::size_t list_from = kListFolderFrom);

}  // namespace nelo
