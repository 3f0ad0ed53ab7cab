// The files of a release and where each goes below a folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "release/manifest.h"
#include "install/version_store.h"

namespace nelo {

// One file of the release and its place.
struct FileTarget {
  const ManifestFile* file = nullptr;  // into the manifest, which outlives the targets
  std::filesystem::path target;
};

// Every file of `manifest` below `folder` once, by the last entry for its path (two entries
// whose paths Windows takes for one name write one file, and the later one is what stays), in
// the manifest's order.
std::vector<FileTarget> release_targets(const ReleaseManifest& manifest,
                                        const std::filesystem::path& folder);

// The entries a folder of the release may hold: its files and the folders on their way, by
// their paths as Windows matches them.
class ReleaseEntries {
 public:
  explicit ReleaseEntries(const std::vector<FileTarget>& targets);
  // True for a path below the folder ("/" or "\" between pieces) that names one of the
  // release's files (`is_folder` false) or a folder holding one (`is_folder` true).
  bool wants(std::string_view path, bool is_folder) const;

 private:
  std::unordered_set<std::u16string> files_;
  std::unordered_set<std::u16string> folders_;
};

// A manifest path as the store's listings write it: pieces joined by "/".
std::string listing_key(std::string_view manifest_path);

// The targets whose file `listing` (the store's listing of their folder) shows with its listed
// size and whose content hashes to its digest, hashed on up to `threads` threads. Only a digest
// that matches is trusted: a file torn by a power cut, or changed by something else, is not.
// With the folder's `record` (of `manifest`, whose files the targets point into), a file whose
// size and time are the recorded ones is trusted without hashing.
std::unordered_set<const ManifestFile*> files_with_their_content(
    const ReleaseManifest& manifest, const std::vector<FileTarget>& targets,
    const std::unordered_map<std::string, FileStamp>& listing, const FileRecord* record,
    std::size_t threads, VersionStore& store);

}  // namespace nelo
