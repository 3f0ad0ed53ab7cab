#include "install/intactness.h"

#include <unordered_map>

#include "base/path_pieces.h"
#include "base/unicode_lower.h"
#include "base/utf.h"

namespace nelo {
namespace {

// A folder's entries by their case-folded names. When two names fold alike (a file system that
// keeps letter case apart), the first listed answers, as a lookup by name would find one.
using FoldedListing = std::unordered_map<std::u32string, FolderEntry>;

// The pieces of a manifest path as UTF-16 names; nothing when the path is not valid UTF-8.
std::optional<std::vector<std::u16string>> path_pieces(std::string_view path) {
  std::vector<std::u16string> names;
  PathPieces pieces(path);
  while (const std::optional<std::string_view> piece = pieces.next()) {
    std::optional<std::u16string> name = utf8_to_utf16(*piece);
    if (!name) {
      return std::nullopt;
    }
    names.push_back(std::move(*name));
  }
  return names;
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

bool is_version_intact(const ReleaseManifest& manifest, const FileSizeProbe& file_size,
                       const FolderLister& list, std::size_t list_from) {
  // Folders by the text of their path as the manifest writes it. Two spellings of one folder
  // (letter case, "/" against "\\") count apart: at worst a folder is listed twice, and each
  // listing is searched without regard to letter case all the same.
  struct Folder {
    std::size_t files = 0;
    bool listed = false;
    std::optional<FoldedListing> entries;  // empty when the folder could not be listed
  };
  const auto folder_of = [](std::string_view path) {
    const std::size_t last = path.find_last_of("/\\");
    return last == std::string_view::npos ? std::string_view() : path.substr(0, last);
  };
  std::unordered_map<std::string_view, Folder> folders;
  for (const ManifestFile& file : manifest.files) {
    ++folders[folder_of(file.path)].files;
  }

  for (const ManifestFile& file : manifest.files) {
    const std::string_view folder_path = folder_of(file.path);
    Folder& folder = folders[folder_path];
    if (folder.files < list_from) {
      const std::optional<std::uint64_t> size = file_size(file.path);
      if (!size || *size != file.size) {
        return false;
      }
      continue;
    }
    if (!folder.listed) {
      folder.listed = true;
      const std::optional<std::vector<std::u16string>> pieces =
          folder_path.empty() ? std::vector<std::u16string>() : path_pieces(folder_path);
      std::optional<std::vector<FolderEntry>> entries;
      if (pieces) {
        entries = list(*pieces);
      }
      if (entries) {
        folder.entries.emplace();
        folder.entries->reserve(entries->size());
        for (FolderEntry& entry : *entries) {
          folder.entries->try_emplace(lower_case(entry.name), std::move(entry));
        }
      }
    }
    const std::string_view name =
        std::string_view(file.path).substr(folder_path.empty() ? 0 : folder_path.size() + 1);
    const std::optional<std::u16string> wide_name = utf8_to_utf16(name);
    if (!folder.entries || !wide_name) {
      return false;
    }
    const auto entry = folder.entries->find(lower_case(*wide_name));
    if (entry == folder.entries->end() || entry->second.is_folder ||
        entry->second.size != file.size) {
      return false;
    }
  }
  return true;
}

}  // namespace nelo
