#include "install/reuse.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>
#include <string>

namespace nelo {
namespace {

// A previous version on a disk: each path's size, time and digest as they are now.
struct SeenFile {
  std::uint64_t size = 0;
  std::uint64_t written = 0;
  std::string sha256;
};

struct ReuseDisk {
  std::map<std::string, SeenFile> files;
  std::vector<std::string> hashed;

  ReuseIndex index(const std::optional<ReleaseManifest>& previous, const FileRecord* record) {
    return build_reuse_index(
        "/v/1", previous, record,
        [&](const std::filesystem::path& p) -> std::optional<FileStamp> {
          const auto it = files.find(p.generic_string());
          return it == files.end() ? std::nullopt
                                   : std::optional(FileStamp(it->second.size, it->second.written));
        },
        [&](const std::filesystem::path& p) -> std::optional<std::string> {
          hashed.push_back(p.generic_string());
          return files.at(p.generic_string()).sha256;
        });
  }
};

TEST(ReuseIndexTest, TheLastExistingEntryOfADigestWins) {
  ReleaseManifest previous;
  const std::string a(64, 'a');
  const std::string b(64, 'b');
  previous.files = {{"one", a, 1, 0}, {"two", a, 1, 0}, {"gone", a, 1, 0}, {"dir\\three", b, 2, 0}};
  ReuseDisk disk;
  disk.files = {{"/v/1/one", {1, 5, a}}, {"/v/1/two", {1, 6, a}}, {"/v/1/dir/three", {2, 7, b}}};
  const FileRecord record = {{1, 5}, {1, 6}, {1, 0}, {2, 7}};
  const auto index = disk.index(previous, &record);
  ASSERT_EQ(index.size(), 2u);
  ASSERT_NE(find_reusable(index, a), nullptr);
  EXPECT_EQ(find_reusable(index, a)->generic_string(), "/v/1/two");
  EXPECT_EQ(find_reusable(index, b)->generic_string(), "/v/1/dir/three");
  EXPECT_EQ(find_reusable(index, std::string(64, 'A')), nullptr) << "digests match exactly";
  EXPECT_TRUE(disk.hashed.empty()) << "files as recorded are not hashed";
  EXPECT_TRUE(disk.index(std::nullopt, nullptr).empty());
}

TEST(ReuseIndexTest, OnlyAFileThatIsWhatItClaimsIsReused) {
  const std::string digest(64, 'c');
  struct Case {
    const char* name;
    SeenFile seen;  // the file "f" as it is now (listed: 10 bytes, recorded at time 5)
    bool with_record;
    bool reused;
    bool hashed;
  };
  const Case cases[] = {
      {"as recorded", {10, 5, digest}, true, true, false},
      {"cut short", {9, 5, digest}, true, false, false},
      {"rewritten, same length", {10, 8, std::string(64, 'd')}, true, false, true},
      {"touched, same bytes", {10, 8, digest}, true, true, true},
      {"no record, right bytes", {10, 5, digest}, false, true, true},
      {"no record, wrong bytes", {10, 5, std::string(64, 'd')}, false, false, true},
      {"no record, grown", {11, 5, digest}, false, false, false},
  };
  for (const Case& c : cases) {
    ReleaseManifest previous;
    previous.files = {{"f", digest, 10, 0}};
    ReuseDisk disk;
    disk.files["/v/1/f"] = c.seen;
    const FileRecord record = {{10, 5}};
    const auto index = disk.index(previous, c.with_record ? &record : nullptr);
    EXPECT_EQ(find_reusable(index, digest) != nullptr, c.reused) << c.name;
    EXPECT_EQ(!disk.hashed.empty(), c.hashed) << c.name;
  }
}

TEST(PruneTest, KeepsTheNewAndThePreviousVersionOnly) {
  struct Case {
    std::string name;
    bool pruned;
  };
  const Case with_previous[] = {{"3", false},        {"2", false},  {"1", true},
                                {"3.partial", true}, {"2.0", true}, {"B", true}};
  for (const Case& c : with_previous) {
    EXPECT_EQ(should_prune(c.name, "3", std::string("2")), c.pruned) << c.name;
  }
  EXPECT_TRUE(should_prune("2", "3", std::nullopt));
  EXPECT_FALSE(should_prune("3", "3", std::nullopt));
  EXPECT_TRUE(should_prune("b", "B", std::nullopt)) << "exact bytes, no case folding";
}

TEST(SameFolderNameTest, IgnoresLetterCase) {
  EXPECT_TRUE(same_folder_name("Beta-1.0", "beta-1.0"));
  EXPECT_FALSE(same_folder_name("beta", "beta2"));
  EXPECT_FALSE(same_folder_name("1.0", "1,0"));
}

}  // namespace
}  // namespace nelo
