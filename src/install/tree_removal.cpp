#include "install/tree_removal.h"

namespace nelo {
namespace {

bool remove_entry(const TreeEntry& entry, TreeDisk& disk) {
  // A link is a name like a file: what it leads to lies outside and is never entered.
  if (entry.is_folder && !entry.is_link) {
    if (std::optional<std::vector<TreeEntry>> entries = disk.list(entry.path)) {
      for (const TreeEntry& inside : *entries) {
        (void)remove_entry(inside, disk);  // one that stays keeps its folder, not the others
      }
    }
  }
  return disk.remove_name(entry);
}

}  // namespace

bool remove_tree(const std::filesystem::path& path, TreeDisk& disk) {
  const std::optional<TreeEntry> top = disk.inspect(path);
  return !top || remove_entry(*top, disk);
}

}  // namespace nelo
