#include "install/tree_removal.h"

#include "base/unique_handle.h"
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
    WIN32_FIND_DATAW found{};
    unique_find find(::FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &found,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
      return std::nullopt;
    }
    std::vector<TreeEntry> entries;
    do {
      const std::wstring_view name = found.cFileName;
      if (name != L"." && name != L"..") {
        entries.push_back(entry_of(folder / name, found.dwFileAttributes));
      }
    } while (::FindNextFileW(find.get(), &found));
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
