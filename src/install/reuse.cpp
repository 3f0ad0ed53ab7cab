#include "install/reuse.h"

#include <algorithm>

namespace nelo {

std::filesystem::path join_manifest_path(const std::filesystem::path& folder,
                                         std::string_view manifest_path) {
  std::filesystem::path joined = folder;
  size_t start = 0;
  for (;;) {
    const size_t end = manifest_path.find_first_of("/\\", start);
    const std::string_view piece = manifest_path.substr(start, end - start);
    joined /= std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(piece.data()), piece.size()));
    if (end == std::string_view::npos) {
      return joined;
    }
    start = end + 1;
  }
}

ReuseIndex build_reuse_index(const std::filesystem::path& folder,
                             const std::optional<ReleaseManifest>& previous,
                             const ExistsProbe& exists) {
  ReuseIndex index;
  if (!previous) {
    return index;
  }
  for (const ManifestFile& file : previous->files) {
    std::filesystem::path path = join_manifest_path(folder, file.path);
    if (exists(path)) {
      index[file.sha256] = std::move(path);
    }
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
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

}  // namespace nelo
