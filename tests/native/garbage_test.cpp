#include "nelo_publish/garbage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>

#include "nelo_publish/command.h"
#include "nelo_publish/publish.h"
#include "nelo_publish/served_pair.h"
#include "tests/expect_ok.h"
#include "tests/native/publish_support.h"
#include "tests/temp_folder.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::TempFolder;
using testing_support::write_file;

constexpr std::int64_t kDay = 86400;

using testing_support::random_bytes;

std::int64_t now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Five releases: a shared library that never changes, a pack edited in each (so each release
// after the first brings patches), and a file of its own in each.
class GarbageTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pack = random_bytes(20000, 1);
    for (int release = 1; release <= 5; ++release) {
      pack[std::size_t(release) * 1000] ^= 0x5a;
      const std::map<std::string, std::string> files = {
          {"shared.dll", "the same in every release"},
          {"pack.bin", pack},
          {"only-" + std::to_string(release), random_bytes(3000, 100 + release)}};
      TempFolder folder;
      write_file(folder.path() / "Nelo.exe", "program");
      for (const auto& [path, content] : files) {
        write_file(folder.path() / path, content);
      }
      PublishOptions options;
      options.version = std::to_string(release) + ".0";
      options.from = folder.path();
      options.to = root_.path();
      options.quality = 1;
      ASSERT_OK(publish_release(options));
      manifests_.push_back(*parse_release_manifest(read_file(served_manifest_path(root_.path()))));
    }
  }

  // Every object, patch and pack file, as paths below the root.
  std::set<std::string> stored() const {
    std::set<std::string> paths;
    for (const char* folder : {"files", "patches", "packs"}) {
      for (const auto& entry : fs::directory_iterator(root_.path() / "app" / folder)) {
        paths.insert(std::string("app/") + folder + "/" + entry.path().filename().string());
      }
    }
    return paths;
  }

  std::set<std::string> needed_by(std::initializer_list<int> releases) const {
    std::set<std::string> paths;
    for (const int release : releases) {
      for (const ManifestFile& file : manifests_[std::size_t(release) - 1].files) {
        paths.insert("app/files/" + file.sha256);
        for (const PatchOffer& patch : file.patches) {
          paths.insert("app/patches/" + patch.from + "-" + file.sha256);
        }
      }
      for (const ReleasePack& pack : manifests_[std::size_t(release) - 1].packs) {
        paths.insert("app/packs/" + pack.name);
      }
    }
    return paths;
  }

  // Ages every object, patch and pack, and the history's records (when each release was published).
  void age_everything(std::int64_t days) {
    const auto then = fs::file_time_type::clock::now() - std::chrono::hours(24 * days);
    for (const std::string& path : stored()) {
      fs::last_write_time(root_.path() / path, then);
    }
    for (const auto& entry : fs::directory_iterator(root_.path() / "releases")) {
      fs::last_write_time(entry.path(), then);
    }
  }

  TempFolder root_;
  std::vector<ReleaseManifest> manifests_;
};

TEST_F(GarbageTest, KeepingTwoRemovesWhatOnlyTheOlderReleasesUsed) {
  age_everything(30);
  const std::set<std::string> before = stored();
  const std::set<std::string> needed = needed_by({4, 5});
  std::set<std::string> expected_unused;
  std::set_difference(before.begin(), before.end(), needed.begin(), needed.end(),
                      std::inserter(expected_unused, expected_unused.end()));
  ASSERT_GE(expected_unused.size(), 3u) << "the older releases' own files at least";

  const auto listed = collect_garbage(root_.path(), {2, 7 * kDay, now(), false});
  ASSERT_OK(listed);
  EXPECT_EQ(listed->kept_releases, (std::vector<std::string>{"5.0", "4.0"}));
  std::set<std::string> unused;
  for (const UnusedFile& file : listed->unused) {
    unused.insert(file.path);
    EXPECT_EQ(file.size, fs::file_size(root_.path() / file.path)) << file.path;
  }
  EXPECT_EQ(unused, expected_unused);
  EXPECT_EQ(stored(), before) << "nothing removed without --delete";

  const auto removed = collect_garbage(root_.path(), {2, 7 * kDay, now(), true});
  ASSERT_OK(removed);
  EXPECT_EQ(removed->removed, expected_unused.size());
  EXPECT_TRUE(removed->failures.empty());
  EXPECT_EQ(stored(), needed);
  EXPECT_TRUE(fs::exists(served_manifest_path(root_.path())));
}

TEST_F(GarbageTest, FilesWithinTheGracePeriodStay) {
  age_everything(3);
  const auto listed = collect_garbage(root_.path(), {2, 7 * kDay, now(), true});
  ASSERT_OK(listed);
  EXPECT_TRUE(listed->unused.empty());
  EXPECT_EQ(listed->removed, 0u);
  EXPECT_GE(listed->young, 3u);
  const auto shorter = collect_garbage(root_.path(), {2, 2 * kDay, now(), false});
  ASSERT_OK(shorter);
  EXPECT_EQ(shorter->unused.size(), listed->young);
}

// Objects written long ago that a release used until its successor came out a moment ago are
// not garbage yet: the grace counts from when the release stopped being kept.
TEST_F(GarbageTest, TheGraceCountsFromWhenAReleaseStoppedBeingKept) {
  age_everything(30);
  fs::last_write_time(root_.path() / "releases" / "5.0.json", fs::file_time_type::clock::now());
  const std::set<std::string> only_4 = [&] {
    std::set<std::string> paths;
    const std::set<std::string> four = needed_by({4});
    const std::set<std::string> five = needed_by({5});
    std::set_difference(four.begin(), four.end(), five.begin(), five.end(),
                        std::inserter(paths, paths.end()));
    return paths;
  }();
  ASSERT_FALSE(only_4.empty());
  const auto listed = collect_garbage(root_.path(), {1, 7 * kDay, now(), false});
  ASSERT_OK(listed);
  for (const UnusedFile& file : listed->unused) {
    EXPECT_FALSE(only_4.contains(file.path)) << file.path << " was used by 4.0 until now";
  }
  EXPECT_GE(listed->young, only_4.size());
  // Releases 1.0 to 3.0 were pushed out by releases published 30 days ago: theirs go.
  EXPECT_FALSE(listed->unused.empty());

  const auto without_grace = collect_garbage(root_.path(), {1, 0, now(), false});
  ASSERT_OK(without_grace);
  std::set<std::string> unused;
  for (const UnusedFile& file : without_grace->unused) {
    unused.insert(file.path);
  }
  EXPECT_TRUE(std::includes(unused.begin(), unused.end(), only_4.begin(), only_4.end()));
}

TEST_F(GarbageTest, TheServedManifestKeepsItsFilesWhateverTheHistory) {
  age_everything(30);
  // The operator rolled back by hand: release 1 is served again.
  write_file(served_manifest_path(root_.path()), manifests_[0].document);
  ASSERT_OK(collect_garbage(root_.path(), {1, 7 * kDay, now(), true}));
  std::set<std::string> needed = needed_by({1, 5});
  EXPECT_EQ(stored(), needed);
}

TEST_F(GarbageTest, RefusesWithoutAHistoryItCanRead) {
  TempFolder bare;
  write_file(bare.path() / "app" / "files" / std::string(64, 'a'), "object");
  const auto refused = collect_garbage(bare.path(), {2, 0, now(), true});
  ASSERT_FALSE(refused.ok());
  EXPECT_TRUE(refused.message().starts_with("não há histórico de versões em "))
      << refused.message();
  EXPECT_TRUE(fs::exists(bare.path() / "app" / "files" / std::string(64, 'a')));

  write_file(root_.path() / "releases" / "4.0.json", "{}");
  const auto damaged = collect_garbage(root_.path(), {2, 0, now(), true});
  ASSERT_FALSE(damaged.ok());
  EXPECT_NE(damaged.message().find("4.0"), std::string::npos) << damaged.message();
  EXPECT_EQ(stored().size(), needed_by({1, 2, 3, 4, 5}).size()) << "nothing removed";
}

TEST_F(GarbageTest, TheCommandListsThenDeletes) {
  age_everything(30);
  const struct {
    std::vector<std::string> arguments;
    int exit_code;
    std::string first_line;
  } cases[] = {
      {{"gc", "ROOT", "--keep", "0"},
       2,
       "nelo-publish gc: --keep espera um número de 1 a 9999, "
       "não \"0\""},
      {{"gc", "ROOT"}, 2, "nelo-publish gc: falta --keep"},
      {{"gc", "ROOT", "--keep", "2", "--grace", "x"},
       2,
       "nelo-publish gc: --grace espera um número de dias, não \"x\""},
      {{"gc", "ROOT", "--keep", "2"}, 0, "versões mantidas: 5.0, 4.0"},
      {{"gc", "ROOT", "--keep", "2", "--grace", "0", "--delete"}, 0, "versões mantidas: 5.0, 4.0"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = c.arguments;
    arguments[1] = root_.path().string();
    std::string output;
    const auto sink = [&](std::string_view text) { output += text; };
    EXPECT_EQ(run_publish_command(arguments, false, sink, sink), c.exit_code);
    EXPECT_EQ(output.substr(0, output.find('\n')), c.first_line);
  }
  EXPECT_EQ(stored(), needed_by({4, 5}));
}

}  // namespace
}  // namespace nelo::publish
