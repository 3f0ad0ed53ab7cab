#include "install/intactness.h"

#include <algorithm>
#include <unordered_map>

#include "base/path_pieces.h"
#include "base/unicode_upper.h"
#include "base/utf.h"

namespace nelo {
namespace {

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

// A file the manifest lists in one folder, and what its listing showed of it.
struct Expected {
  std::string_view name;  // UTF-8, as the manifest writes it
  std::size_t index = 0;  // into the manifest's files
  bool seen = false;
  bool whole = false;  // a file of exactly its size (and its recorded time)
};

// An entry of a listing, by its fold.
struct Folded {
  std::u16string folded;
  bool is_folder = false;
  FileStamp stamp;
};

// One folder, listed once: every file must be a file of its size. Names are matched exactly
// (the launcher wrote them as the manifest spells them), without allocating anything per entry;
// only when a name is not found so, the folder is listed again and names are matched by their
// Windows folds, as Windows finds a file (when two entries fold alike, on a file system that
// keeps letter case apart, the first listed answers).
bool folder_is_intact(const ReleaseManifest& manifest, const FileRecord* record,
                      std::string_view folder_path, const std::vector<std::size_t>& files,
                      const FolderLister& list) {
  std::vector<Expected> expected;
  expected.reserve(files.size());
  for (const std::size_t index : files) {
    const std::string_view path = manifest.files[index].path;
    expected.push_back({path.substr(folder_path.empty() ? 0 : folder_path.size() + 1), index});
  }
  std::sort(expected.begin(), expected.end(),
            [](const Expected& a, const Expected& b) { return a.name < b.name; });

  const std::optional<std::vector<std::u16string>> pieces =
      folder_path.empty() ? std::vector<std::u16string>() : path_pieces(folder_path);
  if (!pieces) {
    return false;
  }
  std::string name;
  const bool listed =
      list(*pieces, [&](std::u16string_view entry, bool is_folder, const FileStamp& stamp) {
        utf16_to_utf8_into(entry, name);
        const auto [first, last] =
            std::equal_range(expected.begin(), expected.end(), Expected{name},
                             [](const Expected& a, const Expected& b) { return a.name < b.name; });
        for (auto it = first; it != last; ++it) {
          it->seen = true;
          it->whole = !is_folder && stamp_matches(manifest, record, it->index, stamp);
        }
      });
  if (!listed) {
    return false;
  }
  bool all_seen = true;
  for (const Expected& file : expected) {
    if (file.seen && !file.whole) {
      return false;
    }
    all_seen = all_seen && file.seen;
  }
  if (all_seen) {
    return true;
  }
  // Names the listing does not spell as the manifest does: listed once more, every entry by
  // its fold.
  std::vector<Folded> folded_entries;
  if (!list(*pieces, [&](std::u16string_view entry, bool is_folder, const FileStamp& stamp) {
        folded_entries.push_back({upper_case(entry), is_folder, stamp});
      })) {
    return false;
  }
  for (const Expected& file : expected) {
    if (file.seen) {
      continue;
    }
    const std::optional<std::u16string> folded = fold_windows_name(file.name);
    const auto found = std::find_if(folded_entries.begin(), folded_entries.end(),
                                    [&](const Folded& entry) { return entry.folded == folded; });
    if (found == folded_entries.end() || found->is_folder ||
        !stamp_matches(manifest, record, file.index, found->stamp)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool is_version_intact(const ReleaseManifest& manifest, const FileSizeProbe& file_size,
                       const FileRecord* record) {
  for (std::size_t index = 0; index < manifest.files.size(); ++index) {
    const std::optional<FileStamp> stamp = file_size(manifest.files[index].path);
    if (!stamp || !stamp_matches(manifest, record, index, *stamp)) {
      return false;
    }
  }
  return true;
}

bool is_version_intact(const ReleaseManifest& manifest, const FileSizeProbe& file_size,
                       const FolderLister& list, const FileRecord* record, std::size_t list_from) {
  // Folders by the text of their path as the manifest writes it. Two spellings of one folder
  // (letter case, "/" against "\\") count apart: at worst a folder is listed twice, and each
  // listing is searched without regard to letter case all the same.
  const auto folder_of = [](std::string_view path) {
    const std::size_t last = path.find_last_of("/\\");
    return last == std::string_view::npos ? std::string_view() : path.substr(0, last);
  };
  std::unordered_map<std::string_view, std::vector<std::size_t>> folders;
  for (std::size_t index = 0; index < manifest.files.size(); ++index) {
    folders[folder_of(manifest.files[index].path)].push_back(index);
  }

  for (const auto& [folder_path, files] : folders) {
    if (files.size() < list_from) {
      for (const std::size_t index : files) {
        const std::optional<FileStamp> stamp = file_size(manifest.files[index].path);
        if (!stamp || !stamp_matches(manifest, record, index, *stamp)) {
          return false;
        }
      }
      continue;
    }
    if (!folder_is_intact(manifest, record, folder_path, files, list)) {
      return false;
    }
  }
  return true;
}

}  // namespace nelo
