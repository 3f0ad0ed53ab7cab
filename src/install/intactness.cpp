#include "install/intactness.h"

#include <map>
#include <unordered_map>

#include "base/unicode_lower.h"
#include "base/utf.h"

namespace nelo {
namespace {

// A folder's entries by their case-folded names. When two names fold alike (a file system that
// keeps letter case apart), the first listed answers, as a lookup by name would find one.
using FoldedListing = std::unordered_map<std::u32string, FolderEntry>;

std::optional<std::vector<std::u16string>> path_pieces(std::string_view path) {
  const std::optional<std::u16string> wide = utf8_to_utf16(path);
  if (!wide) {
    return std::nullopt;
  }
  std::vector<std::u16string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = wide->find_first_of(u"/\\", start);
    pieces.push_back(wide->substr(start, end - start));
    if (end == std::u16string::npos) {
      return pieces;
    }
    start = end + 1;
  }
}

}  // namespace

bool is_version_intact(const ReleaseManifest& manifest, const FileSizeProbe& file_size) {
  for (const ManifestFile& file : manifest.files) {
    const std::optional<std::uint64_t> size = file_size(file.path);
    if (!size || *size != file.size) {
      return false;
    }
  }
  return true;
}

bool is_version_intact_by_listing(const ReleaseManifest& manifest, const FolderLister& list) {
  // Folders by the folded pieces of their path; a folder that cannot be listed is kept as an
  // empty optional, so it is asked for once.
  std::map<std::vector<std::u32string>, std::optional<FoldedListing>> listings;
  for (const ManifestFile& file : manifest.files) {
    std::optional<std::vector<std::u16string>> pieces = path_pieces(file.path);
    if (!pieces) {
      return false;
    }
    const std::u16string name = std::move(pieces->back());
    pieces->pop_back();
    std::vector<std::u32string> folded_folder;
    for (const std::u16string& piece : *pieces) {
      folded_folder.push_back(lower_case(piece));
    }
    auto found = listings.find(folded_folder);
    if (found == listings.end()) {
      std::optional<FoldedListing> folded;
      if (std::optional<std::vector<FolderEntry>> entries = list(*pieces)) {
        folded.emplace();
        for (FolderEntry& entry : *entries) {
          folded->try_emplace(lower_case(entry.name), std::move(entry));
        }
      }
      found = listings.emplace(std::move(folded_folder), std::move(folded)).first;
    }
    if (!found->second) {
      return false;
    }
    const auto entry = found->second->find(lower_case(name));
    if (entry == found->second->end() || entry->second.is_folder ||
        entry->second.size != file.size) {
      return false;
    }
  }
  return true;
}

}  // namespace nelo
