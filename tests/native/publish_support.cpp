#include "tests/native/publish_support.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace nelo::testing_support {

void expect_published(const fs::path& root, const std::string& version,
                      const std::map<std::string, std::string>& files) {
  const std::string document = read_file(root / "app/manifest.json");
  EXPECT_TRUE(nlohmann::json::accept(document));
  const ReleaseManifest manifest = read_manifest(root);
  EXPECT_EQ(manifest.version, version);

  std::vector<std::string> paths;
  std::set<std::string> digests;
  for (const ManifestFile& file : manifest.files) {
    paths.push_back(file.path);
    digests.insert(file.sha256);
    ASSERT_TRUE(files.contains(file.path)) << file.path;
    const std::string& content = files.at(file.path);
    EXPECT_EQ(file.sha256, sha256_hex(content)) << file.path;
    EXPECT_EQ(file.size, content.size()) << file.path;
    const fs::path object_path = root / "app/files" / file.sha256;
    ASSERT_TRUE(fs::is_regular_file(object_path)) << file.path;
    EXPECT_EQ(file.zsize, fs::file_size(object_path)) << file.path;
    const std::string object = read_file(object_path);
    // 0x11 opens every stream of the large-window extension.
    ASSERT_FALSE(object.empty());
    EXPECT_NE(static_cast<unsigned char>(object[0]), 0x11) << file.path;
    EXPECT_EQ(decode(object, file.size), content) << file.path;
  }
  // Every file once, sorted byte-wise (std::map orders std::string keys that way).
  std::vector<std::string> expected_paths;
  for (const auto& [path, content] : files) {
    expected_paths.push_back(path);
  }
  EXPECT_EQ(paths, expected_paths);

  // Nothing else: no temporary file left behind, no object that no entry names.
  std::set<std::string> objects;
  for (const fs::directory_entry& entry : fs::directory_iterator(root / "app/files")) {
    objects.insert(entry.path().filename().string());
  }
  EXPECT_EQ(objects, digests);
  std::set<std::string> app;
  for (const fs::directory_entry& entry : fs::directory_iterator(root / "app")) {
    app.insert(entry.path().filename().string());
  }
  // Every pack holds the exact bytes of its members' objects where the manifest says, under
  // the name of its own digest; every object below the pack bound is in one.
  std::set<std::string> packed;
  std::set<std::string> packs;
  for (const ReleasePack& pack : manifest.packs) {
    const std::string bytes = read_file(root / "app/packs" / pack.name);
    EXPECT_EQ(sha256_hex(bytes), pack.name);
    EXPECT_EQ(bytes.size(), pack.size);
    std::uint64_t end = 0;
    for (const PackMember& member : pack.members) {
      const std::string object = read_file(root / "app/files" / member.sha256);
      EXPECT_EQ(member.offset, end) << "members lie end to end";
      EXPECT_EQ(bytes.substr(member.offset, object.size()), object) << member.sha256;
      end = member.offset + object.size();
      EXPECT_TRUE(packed.insert(member.sha256).second) << "each object in one pack";
    }
    EXPECT_EQ(end, pack.size);
    packs.insert(pack.name);
  }
  for (const ManifestFile& file : manifest.files) {
    if (!manifest.packs.empty()) {
      EXPECT_EQ(packed.contains(file.sha256), file.zsize < publish::kPackMemberBytes) << file.path;
    }
  }
  std::set<std::string> app_expected{"files", "manifest.json"};
  if (!manifest.packs.empty()) {
    app_expected.insert("packs");
    // Packs of earlier releases stay, as their objects do; no temporary file is left.
    std::set<std::string> stored;
    for (const fs::directory_entry& entry : fs::directory_iterator(root / "app/packs")) {
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(name.size(), 64u) << name;
      stored.insert(name);
    }
    EXPECT_TRUE(std::includes(stored.begin(), stored.end(), packs.begin(), packs.end()));
  }
  EXPECT_EQ(app, app_expected);
}

}  // namespace nelo::testing_support
