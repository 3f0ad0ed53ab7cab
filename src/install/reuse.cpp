#include "install/reuse.h"

#include <algorithm>

#include "base/ascii_case.h"
#include "base/path_pieces.h"
#include "base/utf8_path.h"

namespace nelo {

std::filesystem::path join_manifest_path(const std::filesystem::path& folder,
                                         std::string_view manifest_path) {
  std::filesystem::path joined = folder;
  PathPieces pieces(manifest_path);
  while (const std::optional<std::string_view> piece = pieces.next()) {
    joined /= path_from_utf8(*piece);
  }
  return joined;
}

ReuseIndex build_reuse_index(const std::filesystem::path& folder,
                             const std::optional<ReleaseManifest>& previous,
                             const FileRecord* record, const StampProbe& stamp,
                             const DigestProbe& digest) {
  ReuseIndex index;
  if (!previous) {
    return index;
  }
  for (std::size_t i = 0; i < previous->files.size(); ++i) {
    const ManifestFile& file = previous->files[i];
    std::filesystem::path path = join_manifest_path(folder, file.path);
    const std::optional<FileStamp> seen = stamp(path);
    if (!seen || seen->size != file.size) {
      continue;
    }
    const bool recorded = record != nullptr && stamp_matches(*previous, record, i, *seen);
    if (!recorded && (index.contains(file.sha256) || digest(path) != file.sha256)) {
      continue;
    }
    index[file.sha256] = std::move(path);
  }
  return index;
}

const std::filesystem::path* find_reusable(const ReuseIndex& index, std::string_view sha256) {
  const auto it = index.find(std::string(sha256));
  return it == index.end() ? nullptr : &it->second;
}

bool should_prune(std::string_view name, std::string_view keep,
                  const std::optional<std::string>& previous) {
  return name != keep && (!previous || name != *previous);
}

bool same_folder_name(std::string_view a, std::string_view b) {
  return equal_ignoring_ascii_case(a, b);
}

}  // namespace nelo
