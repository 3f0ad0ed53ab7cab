#include "install/release_targets.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>

#include "install/parallel_work.h"
#include "install/reuse.h"

namespace nelo {

std::vector<FileTarget> release_targets(const ReleaseManifest& manifest,
                                        const std::filesystem::path& folder) {
  std::vector<FileTarget> targets;
  std::unordered_set<std::u16string> seen;
  for (auto file = manifest.files.rbegin(); file != manifest.files.rend(); ++file) {
    if (seen.insert(folded_path_key(file->path)).second) {
      targets.push_back({&*file, join_manifest_path(folder, file->path)});
    }
  }
  std::reverse(targets.begin(), targets.end());
  return targets;
}

ReleaseEntries::ReleaseEntries(const std::vector<FileTarget>& targets) {
  for (const FileTarget& entry : targets) {
    std::u16string key = folded_path_key(entry.file->path);
    for (std::size_t cut = key.rfind(u'/'); cut != std::u16string::npos && cut > 0;
         cut = key.rfind(u'/', cut - 1)) {
      if (!folders_.insert(key.substr(0, cut)).second) {
        break;  // its parents are in already
      }
    }
    files_.insert(std::move(key));
  }
}

bool ReleaseEntries::wants(std::string_view path, bool is_folder) const {
  return (is_folder ? folders_ : files_).contains(folded_path_key(path));
}

std::string listing_key(std::string_view manifest_path) {
  std::string key(manifest_path);
  std::replace(key.begin(), key.end(), '\\', '/');
  return key;
}

std::unordered_set<const ManifestFile*> files_with_their_content(
    const ReleaseManifest& manifest, const std::vector<FileTarget>& targets,
    const std::unordered_map<std::string, FileStamp>& listing, const FileRecord* record,
    std::size_t threads, VersionStore& store) {
  std::unordered_set<const ManifestFile*> whole;
  std::vector<FileTarget> candidates;
  for (const FileTarget& entry : targets) {
    const auto found = listing.find(listing_key(entry.file->path));
    if (found == listing.end() || found->second.size != entry.file->size) {
      continue;
    }
    const auto index = static_cast<std::size_t>(entry.file - manifest.files.data());
    if (record != nullptr && stamp_matches(manifest, record, index, found->second)) {
      whole.insert(entry.file);
    } else {
      candidates.push_back(entry);
    }
  }
  std::mutex mutex;
  TransferBoard board({}, nullptr);
  work_through(candidates, threads, board, nullptr, [&](const FileTarget& entry) -> Status {
    if (store.file_digest(entry.target) == entry.file->sha256) {
      std::lock_guard lock(mutex);
      whole.insert(entry.file);
    }
    return {};
  });
  return whole;
}

}  // namespace nelo
