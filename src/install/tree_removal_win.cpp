#include "install/tree_removal.h"

#include "base/clock.h"
#include "base/file_system_win.h"
#include "base/unique_handle.h"
#include "base/win_support.h"

namespace nelo {
namespace {

// A reparse point that leads elsewhere: a symbolic link or a junction (mount point). Other
// reparse points (a cloud file's placeholder, a deduplicated file) are the entry itself, and are
// removed like any file or folder. An unknown tag (0) counts as a link: nothing is ever entered
// that might lie elsewhere.
bool leads_elsewhere(DWORD attributes, DWORD reparse_tag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return false;
  }
  return reparse_tag == 0 || reparse_tag == IO_REPARSE_TAG_SYMLINK ||
         reparse_tag == IO_REPARSE_TAG_MOUNT_POINT;
}

TreeEntry entry_of(const std::filesystem::path& path, const WIN32_FIND_DATAW& found) {
  // For a reparse point, the listing's dwReserved0 holds its tag.
  return {path, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
          leads_elsewhere(found.dwFileAttributes, found.dwReserved0)};
}

// True when the folder at `path`, opened as itself (a link is not followed), is a plain folder
// or a reparse point that does not lead elsewhere: one swapped for a link since it was listed
// is never entered.
bool is_folder_itself(const std::filesystem::path& path) {
  unique_file folder(::CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder) {
    return false;
  }
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (!::GetFileInformationByHandleEx(folder.get(), FileAttributeTagInfo, &info, sizeof(info))) {
    return false;
  }
  return (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         !leads_elsewhere(info.FileAttributes, info.ReparseTag);
}

class WindowsTreeDisk final : public TreeDisk {
 public:
  std::optional<TreeEntry> inspect(const std::filesystem::path& path) override {
    // The name itself: a reparse point is not followed here.
    WIN32_FIND_DATAW found{};
    unique_find find(::FindFirstFileExW(path.c_str(), FindExInfoBasic, &found,
                                        FindExSearchNameMatch, nullptr, 0));
    if (!find) {
      return std::nullopt;
    }
    return entry_of(path, found);
  }

  std::optional<std::vector<TreeEntry>> list(const std::filesystem::path& folder) override {
    // What the walk found a folder may have become a link since: asked again, as itself, just
    // before its entries are read. (A swap between this question and the listing would list a
    // link's target, but the entries are removed by name all the same: never through it.)
    if (!is_folder_itself(folder)) {
      return std::nullopt;
    }
    std::vector<TreeEntry> entries;
    if (!for_each_in_folder(folder, [&](const WIN32_FIND_DATAW& found) {
          entries.push_back(entry_of(folder / found.cFileName, found));
        })) {
      return std::nullopt;
    }
    return entries;
  }

  bool remove_name(const TreeEntry& entry) override {
    // RemoveDirectoryW on a junction or a folder link removes the link; DeleteFileW on a file
    // link removes the link. A read-only name is made writable and tried once more. A name a
    // scanner holds is tried again, within one budget for the whole tree.
    return entry.is_folder ? delete_folder_name(entry.path, &held_)
                           : delete_file_name(entry.path, &held_);
  }

 private:
  SteadyClock clock_;
  HeldFileRetry held_{clock_};
};

}  // namespace

bool remove_tree(const std::filesystem::path& path) {
  WindowsTreeDisk disk;
  return remove_tree(path, disk);
}

}  // namespace nelo
