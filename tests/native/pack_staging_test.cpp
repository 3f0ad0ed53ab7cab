// Staging a release that has packs: runs of members in few range requests, the same files as
// from the objects, and every kind of trouble with a pack ending in the objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "install/staging.h"
#include "release/sha256.h"
#include "tests/expect_ok.h"
#include "tests/native/fake_update_client.h"
#include "tests/native/fake_version_store.h"
#include "tests/random_bytes.h"

namespace nelo {
namespace {

using testing_support::FakeUpdateClient;
using testing_support::FakeVersionStore;
using testing_support::ReleaseFiles;

// The program and `count` small files of random content (incompressible: their objects are
// about as large as they are).
ReleaseFiles small_files(int count, std::size_t size = 3000) {
  ReleaseFiles files = {{"Nelo.exe", "program"}};
  for (int i = 0; i < count; ++i) {
    files.push_back({"data/f" + std::to_string(i),
                     testing_support::random_bytes(size + std::size_t(i) * 7, i)});
  }
  return files;
}

struct Staged {
  Status status;
  std::vector<DownloadProgress> progress;
};

Staged stage(FakeUpdateClient& server, FakeVersionStore& store, const ReleaseManifest& manifest,
             const ReuseIndex& reuse = {}, std::optional<std::string> current = std::nullopt) {
  Staged staged;
  staged.status = stage_release(
      server, manifest, reuse, [&](const DownloadProgress& p) { staged.progress.push_back(p); },
      store, current);
  return staged;
}

std::vector<std::string> requested(const FakeUpdateClient& server, const std::string& folder) {
  std::vector<std::string> paths;
  for (const std::string& path : server.requests_seen()) {
    if (path.starts_with(folder)) {
      paths.push_back(path);
    }
  }
  return paths;
}

void expect_files(FakeVersionStore& store, const ReleaseFiles& files, const std::string& label) {
  for (const auto& [path, content] : files) {
    EXPECT_EQ(store.content("/v/" + label + "/" + path), content) << label << " " << path;
  }
}

TEST(PackStagingTest, AFirstInstallFromPacksIsTheInstallFromObjectsInFewRequests) {
  const ReleaseFiles files = small_files(120);
  FakeUpdateClient packed_server;
  const ReleaseManifest packed =
      testing_support::publish_release("2.0", files, packed_server, std::nullopt, 50);
  ASSERT_EQ(packed.packs.size(), 3u);
  FakeUpdateClient plain_server;
  const ReleaseManifest plain = testing_support::publish_release("2.0", files, plain_server);

  FakeVersionStore from_packs;
  const Staged packed_run = stage(packed_server, from_packs, packed);
  ASSERT_OK(packed_run.status);
  FakeVersionStore from_objects;
  const Staged plain_run = stage(plain_server, from_objects, plain);
  ASSERT_OK(plain_run.status);

  expect_files(from_packs, files, "2.0");
  EXPECT_TRUE(requested(packed_server, "app/files/").empty());
  EXPECT_LE(requested(packed_server, "app/packs/").size(), 8u) << "about one a transfer";
  EXPECT_TRUE(from_packs.notes.empty());
  // The progress is the objects' progress: the same totals, ending at them.
  ASSERT_FALSE(packed_run.progress.empty());
  EXPECT_EQ(packed_run.progress.front().bytes_total, plain_run.progress.front().bytes_total);
  EXPECT_EQ(packed_run.progress.front().file_count, plain_run.progress.front().file_count);
  EXPECT_EQ(packed_run.progress.back().bytes_done, packed_run.progress.back().bytes_total);
  EXPECT_EQ(packed_run.progress.back().file_count, files.size());
  for (std::size_t i = 1; i < packed_run.progress.size(); ++i) {
    EXPECT_GE(packed_run.progress[i].bytes_done, packed_run.progress[i - 1].bytes_done);
  }
  // Every pack request asked for a range, and no byte outside the packs' members but gaps.
  for (const auto& seen : packed_server.ranges_seen()) {
    EXPECT_FALSE(seen.range.whole()) << seen.path;
    EXPECT_TRUE(seen.range.range_only) << seen.path;
  }
}

// The damage each case does to the served packs, and what the staging must still give: every
// file, from the objects where the pack failed, never a member fetched twice as an object.
TEST(PackStagingTest, AnyTroubleWithAPackEndsInTheObjectsOfTheMembersNotYetDone) {
  const ReleaseFiles files = small_files(40);
  struct Case {
    const char* name;
    std::function<void(FakeUpdateClient&, const ReleaseManifest&)> damage;
    std::size_t most_objects;  // the most objects fetched alone
  };
  const auto pack_path = [](const ReleaseManifest& m) { return "app/packs/" + m.packs[0].name; };
  const auto member_at = [](const ReleaseManifest& m, std::size_t i) {
    return m.packs[0].members[i].offset;
  };
  const Case cases[] = {
      {"a server that ignores ranges",
       [](FakeUpdateClient& s, const ReleaseManifest&) { s.ignores_ranges = true; }, 41},
      {"a pack missing",
       [&](FakeUpdateClient& s, const ReleaseManifest& m) { s.bodies.erase(pack_path(m)); }, 41},
      {"a range past the pack's end (416)",
       [&](FakeUpdateClient& s, const ReleaseManifest& m) { s.bodies[pack_path(m)] = ""; }, 41},
      {"a body cut in the 30th member",
       [&](FakeUpdateClient& s, const ReleaseManifest& m) {
         s.drop_after[pack_path(m)] = member_at(m, 29) + 100;
       },
       12},
      {"a range that ends early",
       [&](FakeUpdateClient& s, const ReleaseManifest& m) { s.short_ranges[pack_path(m)] = 500; },
       1},
      {"a corrupt 10th member",
       [&](FakeUpdateClient& s, const ReleaseManifest& m) {
         s.bodies[pack_path(m)][member_at(m, 9) + 50] ^= 0x10;
       },
       32},
      {"a member that is another object",
       [&](FakeUpdateClient& s, const ReleaseManifest& m) {
         std::string& pack = s.bodies[pack_path(m)];
         const std::string other = s.bodies.at("app/files/" + m.packs[0].members[5].sha256);
         pack.replace(member_at(m, 4), other.size(), other);  // members grow by 7 bytes each
       },
       37},
  };
  for (const Case& c : cases) {
    FakeUpdateClient server;
    const ReleaseManifest manifest =
        testing_support::publish_release("2.0", files, server, std::nullopt, 100);
    ASSERT_EQ(manifest.packs.size(), 1u);
    c.damage(server, manifest);
    FakeVersionStore store;
    TransferSettings one_at_a_time;
    one_at_a_time.transfers = 1;  // one range: the case decides where the pack fails
    std::vector<DownloadProgress> progress;
    const Status staged = stage_release(
        server, manifest, {}, [&](const DownloadProgress& p) { progress.push_back(p); }, store,
        std::nullopt, one_at_a_time);
    ASSERT_OK(staged) << c.name << ": " << staged.message();
    expect_files(store, files, "2.0");
    const std::vector<std::string> objects = requested(server, "app/files/");
    EXPECT_GE(objects.size(), 1u) << c.name;
    EXPECT_LE(objects.size(), c.most_objects) << c.name;
    std::vector<std::string> sorted = objects;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end())
        << c.name << ": an object fetched twice";
    ASSERT_EQ(store.notes.size(), 1u) << c.name;
    EXPECT_TRUE(store.notes[0].starts_with("pacote " + manifest.packs[0].name)) << store.notes[0];
    EXPECT_EQ(progress.back().bytes_done, progress.back().bytes_total) << c.name;
    EXPECT_EQ(progress.back().file_count, files.size()) << c.name;
  }
}

TEST(PackStagingTest, WhenTheObjectsFailTooTheObjectsFailureIsTheStagings) {
  const ReleaseFiles files = small_files(10);
  FakeUpdateClient server;
  const ReleaseManifest manifest =
      testing_support::publish_release("2.0", files, server, std::nullopt, 100);
  server.bodies.erase("app/packs/" + manifest.packs[0].name);
  server.bodies.erase("app/files/" + sha256_hex(files[4].second));
  FakeVersionStore store;
  const Staged staged = stage(server, store, manifest);
  ASSERT_FALSE(staged.status.ok());
  EXPECT_EQ(staged.status.message(), "o servidor respondeu 404");
  EXPECT_FALSE(store.folders.count("/v/2.0"));
}

TEST(PackStagingTest, AFullDiskFailsAtOnceWithoutTheObjects) {
  const ReleaseFiles files = small_files(10);
  FakeUpdateClient server;
  const ReleaseManifest manifest =
      testing_support::publish_release("2.0", files, server, std::nullopt, 100);
  FakeVersionStore store;
  store.failing.insert("/v/2.0.partial/data/f3");
  const Staged staged = stage(server, store, manifest);
  ASSERT_FALSE(staged.status.ok());
  EXPECT_EQ(staged.status.message(), "gravar data/f3: disco cheio (os error 112)");
  EXPECT_TRUE(requested(server, "app/files/").empty());
}

// An update fetches only the changed files, each from a range of its pack: the unchanged
// members between them are not fetched unless the gap is small.
TEST(PackStagingTest, AnUpdateFetchesTheChangedMembersByRanges) {
  ReleaseFiles old_files = small_files(300, 4000);
  FakeUpdateClient server;
  FakeVersionStore store;
  ReuseIndex reuse;
  for (const auto& [path, content] : old_files) {
    store.files["/v/1.0/" + path] = std::make_shared<std::string>(content);
    reuse[sha256_hex(content)] = "/v/1.0/" + path;
  }
  ReleaseFiles new_files = old_files;
  std::uint64_t changed_bytes = 0;
  for (std::size_t i : {10u, 11u, 150u, 290u}) {
    new_files[i].second = testing_support::random_bytes(4000, 1000 + static_cast<std::uint32_t>(i));
  }
  const ReleaseManifest manifest =
      testing_support::publish_release("2.0", new_files, server, std::nullopt, 1000);
  for (std::size_t i : {10u, 11u, 150u, 290u}) {
    changed_bytes += server.bodies.at("app/files/" + sha256_hex(new_files[i].second)).size();
  }
  const Staged staged = stage(server, store, manifest, reuse, "1.0");
  ASSERT_OK(staged.status);
  expect_files(store, new_files, "2.0");
  EXPECT_TRUE(requested(server, "app/files/").empty());
  EXPECT_EQ(staged.progress.front().file_count, 4u);
  // 10 and 11 are neighbours; 150 and 290 are far apart: three ranges, none of the pack's rest.
  EXPECT_EQ(requested(server, "app/packs/").size(), 3u);
  EXPECT_EQ(server.bytes_sent(), changed_bytes);
}

TEST(PackStagingTest, OneMemberWritesEveryPathOfItsContent) {
  ReleaseFiles files = small_files(5);
  files.push_back({"copy/of/f2", files[3].second});
  FakeUpdateClient server;
  const ReleaseManifest manifest =
      testing_support::publish_release("2.0", files, server, std::nullopt, 100);
  FakeVersionStore store;
  const Staged staged = stage(server, store, manifest);
  ASSERT_OK(staged.status);
  expect_files(store, files, "2.0");
  EXPECT_EQ(requested(server, "app/packs/").size(), 1u);
  EXPECT_EQ(staged.progress.back().file_count, files.size());
  EXPECT_EQ(staged.progress.back().bytes_done, staged.progress.back().bytes_total);
}

}  // namespace
}  // namespace nelo
