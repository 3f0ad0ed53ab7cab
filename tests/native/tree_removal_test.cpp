#include "install/tree_removal.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace nelo {
namespace {

// A disk of names: folders, files and links, each a path; a link's target lies elsewhere and
// must never be listed or touched.
class FakeTreeDisk final : public TreeDisk {
 public:
  struct Node {
    bool is_folder = false;
    bool is_link = false;
  };
  std::map<std::string, Node> nodes;
  std::set<std::string> stuck;  // names whose removal fails (a file in use)
  std::vector<std::string> listed;
  std::vector<std::string> removed;

  void folder(const std::string& path) { nodes[path] = {true, false}; }
  void file(const std::string& path) { nodes[path] = {false, false}; }
  void link(const std::string& path, bool to_folder) { nodes[path] = {to_folder, true}; }

  std::optional<TreeEntry> inspect(const std::filesystem::path& path) override {
    const auto found = nodes.find(path.generic_string());
    if (found == nodes.end()) {
      return std::nullopt;
    }
    return TreeEntry{path, found->second.is_folder, found->second.is_link};
  }
  std::optional<std::vector<TreeEntry>> list(const std::filesystem::path& folder) override {
    const std::string key = folder.generic_string();
    listed.push_back(key);
    const auto found = nodes.find(key);
    if (found == nodes.end() || !found->second.is_folder) {
      return std::nullopt;
    }
    // A link to a folder lists its target's entries, as the system would.
    const std::string prefix = (found->second.is_link ? "/outside" : key) + "/";
    std::vector<TreeEntry> entries;
    for (const auto& [path, node] : nodes) {
      if (path.starts_with(prefix) && path.find('/', prefix.size()) == std::string::npos) {
        entries.push_back({key + "/" + path.substr(prefix.size()), node.is_folder, node.is_link});
      }
    }
    return entries;
  }
  bool remove_name(const TreeEntry& entry) override {
    const std::string key = entry.path.generic_string();
    if (stuck.count(key)) {
      return false;
    }
    if (entry.is_folder && !entry.is_link) {
      for (const auto& [path, node] : nodes) {
        if (path.starts_with(key + "/")) {
          return false;  // not empty
        }
      }
    }
    removed.push_back(key);
    return nodes.erase(key) == 1;
  }
};

TEST(TreeRemovalTest, ALinkGoesAsANameAndWhatItLeadsToStays) {
  FakeTreeDisk disk;
  disk.folder("/outside");
  disk.file("/outside/precious.txt");
  disk.folder("/v/1.0");
  disk.file("/v/1.0/Nelo.exe");
  disk.folder("/v/1.0/data");
  disk.file("/v/1.0/data/a.bin");
  disk.link("/v/1.0/data/moved", true);     // a junction to /outside
  disk.link("/v/1.0/shortcut.txt", false);  // a file link
  EXPECT_TRUE(remove_tree("/v/1.0", disk));
  EXPECT_TRUE(disk.nodes.count("/outside/precious.txt"));
  EXPECT_TRUE(disk.nodes.count("/outside"));
  EXPECT_FALSE(disk.nodes.count("/v/1.0"));
  for (const std::string& folder : disk.listed) {
    EXPECT_NE(folder, "/v/1.0/data/moved") << "the link was entered";
  }
}

TEST(TreeRemovalTest, ATopThatIsALinkIsOnlyUnlinked) {
  FakeTreeDisk disk;
  disk.folder("/outside");
  disk.file("/outside/precious.txt");
  disk.link("/v/old", true);
  EXPECT_TRUE(remove_tree("/v/old", disk));
  EXPECT_TRUE(disk.nodes.count("/outside/precious.txt"));
  EXPECT_TRUE(disk.listed.empty());
}

TEST(TreeRemovalTest, AFailureInsideKeepsOnlyWhatHoldsIt) {
  FakeTreeDisk disk;
  disk.folder("/v/1.0");
  disk.folder("/v/1.0/a");
  disk.file("/v/1.0/a/in-use.dll");
  disk.file("/v/1.0/a/other.dll");
  disk.folder("/v/1.0/b");
  disk.file("/v/1.0/b/c.txt");
  disk.file("/v/1.0/z.txt");
  disk.stuck.insert("/v/1.0/a/in-use.dll");
  EXPECT_FALSE(remove_tree("/v/1.0", disk));
  const std::set<std::string> left = [&] {
    std::set<std::string> names;
    for (const auto& [path, node] : disk.nodes) {
      names.insert(path);
    }
    return names;
  }();
  EXPECT_EQ(left, (std::set<std::string>{"/v/1.0", "/v/1.0/a", "/v/1.0/a/in-use.dll"}));
}

TEST(TreeRemovalTest, NothingThereIsNothingToDo) {
  FakeTreeDisk disk;
  EXPECT_TRUE(remove_tree("/v/missing", disk));
  EXPECT_TRUE(disk.removed.empty());
}

}  // namespace
}  // namespace nelo
