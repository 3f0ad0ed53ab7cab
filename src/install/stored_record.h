// The record of a version folder (file_record.h) as the store keeps it beside the stored
// manifest.
#pragma once

#include <filesystem>
#include <optional>
#include <unordered_set>

#include "base/result.h"
#include "install/file_record.h"
#include "install/version_store.h"
#include "release/manifest.h"

namespace nelo {

// The record kept in `folder` when it is one of `manifest`; nothing otherwise.
std::optional<FileRecord> load_file_record(VersionStore& store, const std::filesystem::path& folder,
                                           const ReleaseManifest& manifest);

// Records every file of `manifest` in `folder` as it is now (to be called once the launcher has
// put them all there). When the release cannot have a record, or a file cannot be listed, an
// older record goes instead: a version without one is checked by sizes and hashed before reuse.
// The files in `untrusted` are recorded so that they match nothing: they count as damaged.
Status write_file_record(VersionStore& store, const std::filesystem::path& folder,
                         const ReleaseManifest& manifest,
                         const std::unordered_set<const ManifestFile*>* untrusted = nullptr);

// The files of the version in `folder` (whose stored manifest is `manifest`) that may be reused:
// of their listed size, and either as the version's record says or, without a matching record
// line, hashing to their digest now. For a digest listed more than once, the last such entry
// wins.
ReuseIndex find_reusable_files(VersionStore& store, const std::filesystem::path& folder,
                               const ReleaseManifest& manifest);

}  // namespace nelo
