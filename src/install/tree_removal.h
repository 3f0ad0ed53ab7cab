// Removing a folder with everything inside it, without ever going through a link: a junction or
// symbolic link inside a version folder (the application or the user may make one, to move its
// data elsewhere) is removed as a name, and what it leads to is never touched.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace nelo {

struct TreeEntry {
  std::filesystem::path path;
  bool is_folder = false;
  bool is_link = false;  // any reparse point: junction, symbolic link, mount point
};

// What removing a tree does to the disk.
class TreeDisk {
 public:
  virtual ~TreeDisk() = default;
  // What is at `path`, without following a link; nothing when nothing is there.
  virtual std::optional<TreeEntry> inspect(const std::filesystem::path& path) = 0;
  // The entries of a folder (never "." or ".."), each as `inspect` tells it; nothing when the
  // folder cannot be listed.
  virtual std::optional<std::vector<TreeEntry>> list(const std::filesystem::path& folder) = 0;
  // Removes one name: a file, a link (never what it leads to), or an empty folder. False when
  // it could not.
  virtual bool remove_name(const TreeEntry& entry) = 0;
};

// Removes `path` and, when it is a folder and not a link, everything below it. A failure is
// passed over: whatever else can go, goes. True when nothing is left at `path`.
bool remove_tree(const std::filesystem::path& path, TreeDisk& disk);

// The same on the real disk (Windows); failures are ignored by the callers that want that.
bool remove_tree(const std::filesystem::path& path);

}  // namespace nelo
