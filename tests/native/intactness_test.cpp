#include "install/intactness.h"

#include <gtest/gtest.h>

#include <map>

#include "base/unicode_upper.h"
#include "base/utf.h"

namespace nelo {
namespace {

TEST(IntactnessTest, EveryFileMustHaveItsExactSize) {
  ReleaseManifest manifest;
  manifest.files = {{"Nelo.exe", "", 10, 0}, {"a/b.dll", "", 0, 0}, {"c", "", 5, 0}};
  std::map<std::string, std::uint64_t> disk = {{"Nelo.exe", 10}, {"a/b.dll", 0}, {"c", 5}};
  std::vector<std::string> asked;
  const FileSizeProbe probe = [&](std::string_view path) -> std::optional<std::uint64_t> {
    asked.emplace_back(path);
    const auto it = disk.find(std::string(path));
    return it == disk.end() ? std::nullopt : std::optional<std::uint64_t>(it->second);
  };
  EXPECT_TRUE(is_version_intact(manifest, probe));

  disk["a/b.dll"] = 1;
  asked.clear();
  EXPECT_FALSE(is_version_intact(manifest, probe));
  EXPECT_EQ(asked, (std::vector<std::string>{"Nelo.exe", "a/b.dll"})) << "stops at the first";

  disk["a/b.dll"] = 0;
  disk.erase("c");
  EXPECT_FALSE(is_version_intact(manifest, probe));
}

// A version folder as Windows shows it: names keep their letter case, lookups compare names by
// their upper case, unit by unit, as Windows does.
struct Node {
  bool is_folder = true;
  std::uint64_t size = 0;
  std::map<std::u16string, Node> children;
};

std::u16string wide(std::string_view utf8) {
  return *utf8_to_utf16(utf8);
}

const Node* child(const Node& folder, const std::u16string& name) {
  for (const auto& [entry_name, entry] : folder.children) {
    if (upper_case(entry_name) == upper_case(name)) {
      return &entry;
    }
  }
  return nullptr;
}

void add(Node& root, std::string_view path, std::optional<std::uint64_t> file_size) {
  Node* node = &root;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find('/', start);
    Node& next = node->children[wide(path.substr(start, end - start))];
    if (end == std::string_view::npos) {
      next.is_folder = !file_size;
      next.size = file_size.value_or(0);
      return;
    }
    node = &next;
    start = end + 1;
  }
}

const Node* find(const Node& root, const std::vector<std::u16string>& pieces) {
  const Node* node = &root;
  for (const std::u16string& piece : pieces) {
    if (!node->is_folder || !(node = child(*node, piece))) {
      return nullptr;
    }
  }
  return node;
}

std::vector<std::u16string> split(std::string_view path) {
  std::vector<std::u16string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find_first_of("/\\", start);
    pieces.push_back(wide(path.substr(start, end - start)));
    if (end == std::string_view::npos) {
      return pieces;
    }
    start = end + 1;
  }
}

// The per-file question and the per-folder listing, over the same disk.
struct Disk {
  Node root;
  int listings = 0;

  FileSizeProbe probe() const {
    return [this](std::string_view path) -> std::optional<std::uint64_t> {
      const Node* node = find(root, split(path));
      return node && !node->is_folder ? std::optional<std::uint64_t>(node->size) : std::nullopt;
    };
  }
  FolderLister lister() {
    return [this](const std::vector<std::u16string>& folder, const EntryVisitor& visit) {
      ++listings;
      const Node* node = find(root, folder);
      if (!node || !node->is_folder) {
        return false;
      }
      for (const auto& [name, entry] : node->children) {
        visit(name, entry.is_folder, entry.size);
      }
      return true;
    };
  }
};

ReleaseManifest listing(std::vector<std::pair<std::string, std::uint64_t>> files) {
  ReleaseManifest manifest;
  for (auto& [path, size] : files) {
    manifest.files.push_back({path, "", size, 0});
  }
  return manifest;
}

TEST(IntactnessTest, TheListingAgreesWithTheQuestionPerFile) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::optional<std::uint64_t>>> disk;  // none: a folder
    std::vector<std::pair<std::string, std::uint64_t>> manifest;
    bool intact;
  };
  const std::vector<Case> cases = {
      {"whole",
       {{"Nelo.exe", 10}, {"res/a.bin", 3}, {"res/deep/b", 0}},
       {{"Nelo.exe", 10}, {"res/a.bin", 3}, {"res/deep/b", 0}},
       true},
      {"a file missing", {{"Nelo.exe", 10}}, {{"Nelo.exe", 10}, {"res/a.bin", 3}}, false},
      {"a folder missing", {{"Nelo.exe", 10}}, {{"Nelo.exe", 10}, {"x/y/z", 1}}, false},
      {"one byte more", {{"Nelo.exe", 11}}, {{"Nelo.exe", 10}}, false},
      {"one byte less", {{"Nelo.exe", 9}}, {{"Nelo.exe", 10}}, false},
      {"a folder where a file should be",
       {{"Nelo.exe", 10}, {"res", std::nullopt}},
       {{"Nelo.exe", 10}, {"res", 0}},
       false},
      {"a file where a folder should be",
       {{"Nelo.exe", 10}, {"res", 4}},
       {{"Nelo.exe", 10}, {"res/a.bin", 4}},
       false},
      {"letter case of the file", {{"nelo.EXE", 10}}, {{"Nelo.exe", 10}}, true},
      {"letter case of the folders",
       {{"Nelo.exe", 1}, {"RES/Deep/a", 2}},
       {{"Nelo.exe", 1}, {"res/dEEP/A", 2}},
       true},
      {"letter case beyond ASCII",
       {{"Nelo.exe", 1}, {"Ärger/Öl.txt", 2}},
       {{"Nelo.exe", 1}, {"ärger/öL.txt", 2}},
       true},
      {"a path through backslashes",
       {{"Nelo.exe", 1}, {"res/sub/a", 2}},
       {{"Nelo.exe", 1}, {"res\\sub\\a", 2}, {"res/sub\\a", 2}},
       true},
      {"a path through backslashes, missing",
       {{"Nelo.exe", 1}, {"res/a", 2}},
       {{"Nelo.exe", 1}, {"res\\sub\\a", 2}},
       false},
      {"a file listed twice", {{"Nelo.exe", 1}}, {{"Nelo.exe", 1}, {"NELO.exe", 1}}, true},
      // Windows takes the long s for "S" and the dotless i for "I", but the Kelvin sign stays
      // itself: it is no "K".
      {"the long s",
       {{"Nelo.exe", 1}, {"\u017Fetup.dll", 2}},
       {{"Nelo.exe", 1}, {"Setup.dll", 2}},
       true},
      {"the dotless i",
       {{"Nelo.exe", 1}, {"\u0131.txt", 2}},
       {{"Nelo.exe", 1}, {"I.txt", 2}},
       true},
      {"the Kelvin sign",
       {{"Nelo.exe", 1}, {"\u212A.bin", 2}},
       {{"Nelo.exe", 1}, {"k.bin", 2}},
       false},
      {"the Kelvin sign, listed as written",
       {{"Nelo.exe", 1}, {"\u212A.bin", 2}},
       {{"Nelo.exe", 1}, {"\u212A.bin", 2}},
       true},
      {"a final sigma",
       {{"Nelo.exe", 1}, {"\u03BB\u03CC\u03B3\u03BF\u03C2", 2}},
       {{"Nelo.exe", 1}, {"\u039B\u038C\u0393\u039F\u03A3", 2}},
       true},
      {"extra files are no matter",
       {{"Nelo.exe", 1}, {"user-data.txt", 7}},
       {{"Nelo.exe", 1}},
       true},
  };
  for (const Case& c : cases) {
    Disk disk;
    for (const auto& [path, size] : c.disk) {
      add(disk.root, path, size);
    }
    const ReleaseManifest manifest = listing(c.manifest);
    EXPECT_EQ(is_version_intact(manifest, disk.probe()), c.intact) << c.name << " (per file)";
    EXPECT_EQ(is_version_intact(manifest, disk.probe(), disk.lister(), nullptr, 1), c.intact)
        << c.name << " (every folder listed)";
    EXPECT_EQ(is_version_intact(manifest, disk.probe(), disk.lister(), nullptr, 2), c.intact)
        << c.name << " (folders of two files or more listed)";
  }
}

TEST(IntactnessTest, LargeFoldersAreListedOnceAndSmallOnesAskedFileByFile) {
  Disk disk;
  std::vector<std::pair<std::string, std::uint64_t>> files = {{"Nelo.exe", 5}};
  add(disk.root, "Nelo.exe", 5);
  for (int i = 0; i < 2000; ++i) {
    const std::string path = "res/f" + std::to_string(i % 20) + "/file" + std::to_string(i);
    add(disk.root, path, i);
    files.push_back({i % 2 ? path : "RES\\F" + path.substr(5), i});
  }
  int questions = 0;
  const FileSizeProbe probe = disk.probe();
  const FileSizeProbe counted = [&](std::string_view path) {
    ++questions;
    return probe(path);
  };
  EXPECT_TRUE(is_version_intact(listing(files), counted, disk.lister()));
  EXPECT_EQ(disk.listings, 20) << "each folder of a hundred files, once";
  EXPECT_EQ(questions, 1) << "the version folder holds one file: it is asked for";

  add(disk.root, "res/f7/file7", 8);  // one byte more
  EXPECT_FALSE(is_version_intact(listing(files), counted, disk.lister()));
}

}  // namespace
}  // namespace nelo
