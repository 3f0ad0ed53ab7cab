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

std::string listing_key(std::string_view manifest_path) {
  std::string key(manifest_path);
  std::replace(key.begin(), key.end(), '\\', '/');
  return key;
}

std::unordered_set<const ManifestFile*> files_with_their_content(
    const std::vector<FileTarget>& targets,
    const std::unordered_map<std::string, std::uint64_t>& listing, std::size_t threads,
    VersionStore& store) {
  std::vector<FileTarget> candidates;
  for (const FileTarget& entry : targets) {
    const auto found = listing.find(listing_key(entry.file->path));
    if (found != listing.end() && found->second == entry.file->size) {
      candidates.push_back(entry);
    }
  }
  std::mutex mutex;
  std::unordered_set<const ManifestFile*> whole;
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
