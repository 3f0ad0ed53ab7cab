#include "install/tree_removal.h"

#include "base/file_system_win.h"
#include "base/win_support.h"

namespace nelo {
namespace {

TreeEntry entry_of(const std::filesystem::path& path, DWORD attributes) {
  return {path, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0};
}

class WindowsTreeDisk final : public TreeDisk {
 public:
  std::optional<TreeEntry> inspect(const std::filesystem::path& path) override {
    // The attributes of the name itself: a reparse point is not followed here.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      return std::nullopt;
    }
    return entry_of(path, attributes);
  }

  std::optional<std::vector<TreeEntry>> list(const std::filesystem::path& folder) override {
    std::optional<std::vector<ListedEntry>> listed = list_folder(folder);
    if (!listed) {
      return std::nullopt;
    }
    std::vector<TreeEntry> entries;
    for (const ListedEntry& entry : *listed) {
      entries.push_back(entry_of(folder / entry.name, entry.attributes));
    }
    return entries;
  }

  bool remove_name(const TreeEntry& entry) override {
    // RemoveDirectoryW on a junction or a folder link removes the link; DeleteFileW on a file
    // link removes the link. A read-only name is made writable and tried once more.
    const auto remove = [&] {
      return entry.is_folder ? ::RemoveDirectoryW(entry.path.c_str()) != FALSE
                             : ::DeleteFileW(entry.path.c_str()) != FALSE;
    };
    if (remove()) {
      return true;
    }
    if (::GetLastError() != ERROR_ACCESS_DENIED) {
      return false;
    }
    const DWORD attributes = ::GetFileAttributesW(entry.path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
      return false;
    }
    ::SetFileAttributesW(entry.path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    return remove();
  }
};

}  // namespace

bool remove_tree(const std::filesystem::path& path) {
  WindowsTreeDisk disk;
  return remove_tree(path, disk);
}

}  // namespace nelo
