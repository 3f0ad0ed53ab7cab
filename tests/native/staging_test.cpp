#include "install/staging.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>
#include <thread>

#include "release/sha256.h"
#include "nelo_publish/patch_maker.h"
#include "tests/expect_ok.h"
#include "tests/native/fake_update_client.h"
#include "tests/native/fake_version_store.h"
#include "tests/random_bytes.h"

namespace nelo {
namespace {

using testing_support::brotli;
using testing_support::FakeUpdateClient;
using testing_support::FakeVersionStore;

struct Release {
  testing_support::ReleaseFiles files;
};

ReleaseManifest make_manifest(const std::string& version, const Release& release,
                              FakeUpdateClient& server) {
  return testing_support::publish_release(version, release.files, server);
}

class StagingTest : public testing::Test {
 protected:
  Status stage(const ReleaseManifest& manifest, const ReuseIndex& reuse = {},
               std::optional<std::string> current = std::nullopt) {
    return stage_release(
        server_, manifest, reuse, [&](const DownloadProgress& p) { progress_.push_back(p); },
        store_, current);
  }

  FakeUpdateClient server_;
  FakeVersionStore store_;
  std::vector<DownloadProgress> progress_;
};

TEST_F(StagingTest, DownloadsVerifiesAndMovesTheWholeFolderIntoPlace) {
  const std::string big(200000, 'b');
  const auto manifest =
      make_manifest("2.0", {{{"Nelo.exe", "program"}, {"res\\sub/data.bin", big}}}, server_);
  ASSERT_OK(stage(manifest));
  EXPECT_EQ(store_.content("/v/2.0/Nelo.exe"), "program");
  EXPECT_EQ(store_.content("/v/2.0/res/sub/data.bin"), big);
  EXPECT_EQ(store_.content("/v/2.0/.manifest.json"), manifest.document);
  EXPECT_FALSE(store_.folders.count("/v/2.0.partial"));
  // The manifest copy is the last file written, then the folder moves by one rename.
  ASSERT_GE(store_.log.size(), 3u);
  EXPECT_EQ(store_.log[store_.log.size() - 3], "write /v/2.0.partial/.manifest.json");
  EXPECT_EQ(store_.log.back(), "rename /v/2.0.partial /v/2.0");
}

TEST_F(StagingTest, ASignedReleaseKeepsItsSignatureBesideTheManifest) {
  auto manifest = make_manifest("2.0", {{{"Nelo.exe", "p"}}}, server_);
  ASSERT_OK(stage(manifest));
  EXPECT_EQ(store_.content("/v/2.0/.manifest.json.minisig"), "<missing>") << "unsigned";
  manifest.signature = "untrusted comment: x\n...";
  auto second = manifest;
  second.version = "2.1";
  ASSERT_OK(stage(second));
  EXPECT_EQ(store_.content("/v/2.1/.manifest.json.minisig"), second.signature);
  // Both are written before the folder moves into place.
  ASSERT_GE(store_.log.size(), 3u);
  EXPECT_EQ(store_.log[store_.log.size() - 3], "write /v/2.1.partial/.manifest.json.minisig");
}

TEST_F(StagingTest, EachFolderIsAskedForOnce) {
  Release release;
  for (int i = 0; i < 30; ++i) {
    release.files.push_back({"res/f" + std::to_string(i % 3) + "/x" + std::to_string(i), "c"});
  }
  release.files.push_back({"Nelo.exe", "p"});
  release.files.push_back({"res\\f0\\late.bin", "late"});  // the same folder, other separators
  ASSERT_OK(stage(make_manifest("2.0", release, server_)));
  EXPECT_EQ(store_.create_calls["/v/2.0.partial"], 1);
  for (const char* folder :
       {"/v/2.0.partial/res/f0", "/v/2.0.partial/res/f1", "/v/2.0.partial/res/f2"}) {
    EXPECT_EQ(store_.create_calls[folder], 1) << folder;
  }
  EXPECT_EQ(store_.content("/v/2.0/res/f0/late.bin"), "late");
}

TEST_F(StagingTest, ReportsProgressBeforeFetchingAndAfterEveryChunkAndFile) {
  const std::string big(150000, 'x');
  auto manifest = make_manifest("2.0", {{{"Nelo.exe", "p"}, {"big", big}}}, server_);
  manifest.files[0].zsize = 0;  // counts as 1
  ASSERT_OK(stage(manifest));
  ASSERT_FALSE(progress_.empty());
  EXPECT_EQ(progress_[0].bytes_done, 0u);
  EXPECT_EQ(progress_[0].bytes_total, 1 + manifest.files[1].zsize);
  EXPECT_EQ(progress_[0].file_count, 2u);
  EXPECT_EQ(progress_[0].files_done, 0u);
  std::uint64_t received = 0;
  for (const auto& [path, body] : server_.bodies) {
    received += body.size();
  }
  EXPECT_EQ(progress_.back().bytes_done, received);
  EXPECT_EQ(progress_.back().files_done, 2u);
  EXPECT_GT(progress_.back().bytes_done, progress_.back().bytes_total - 1)
      << "a zsize of 0 lets bytes_done pass the total";
  for (const DownloadProgress& p : progress_) {
    EXPECT_EQ(p.file_count, 2u);
  }
}

TEST_F(StagingTest, ReusedFilesAreTakenOverAndNeverRequested) {
  store_.files["/v/1.0/Nelo.exe"] = std::make_shared<std::string>("program");
  store_.files["/v/1.0/old/name.dll"] = std::make_shared<std::string>("library");
  const auto manifest =
      make_manifest("2.0", {{{"Nelo.exe", "program"}, {"new/name.dll", "library"}}}, server_);
  const ReuseIndex reuse = {{sha256_hex("program"), "/v/1.0/Nelo.exe"},
                            {sha256_hex("library"), "/v/1.0/old/name.dll"}};
  ASSERT_OK(stage(manifest, reuse, "1.0"));
  EXPECT_TRUE(server_.requests_seen().empty());
  ASSERT_EQ(progress_.size(), 1u);
  EXPECT_EQ(progress_[0].bytes_total, 0u);
  EXPECT_EQ(progress_[0].file_count, 0u);
  EXPECT_EQ(store_.files["/v/2.0/new/name.dll"], store_.files["/v/1.0/old/name.dll"])
      << "a renamed file is linked from its old path";
}

TEST_F(StagingTest, TwoPendingEntriesWithOneDigestAreBothDownloaded) {
  const auto manifest = make_manifest("2.0", {{{"Nelo.exe", "same"}, {"copy", "same"}}}, server_);
  ASSERT_OK(stage(manifest));
  EXPECT_EQ(server_.requests_seen().size(), 2u);
}

TEST_F(StagingTest, UpperCaseDigestsAreRequestedInLowerCase) {
  FakeUpdateClient unused;
  const std::string digest = sha256_hex("program");
  std::string upper = digest;
  for (char& c : upper) {
    c = static_cast<char>(std::toupper(c));
  }
  server_.bodies["app/files/" + digest] = brotli("program");
  auto manifest = parse_release_manifest(
      "{\"version\": \"2\", \"files\": [{\"path\": \"Nelo.exe\", \"size\": 7, "
      "\"sha256\": \"" +
      upper + "\"}]}");
  ASSERT_OK(manifest);
  ASSERT_OK(stage(manifest.value()));
  EXPECT_EQ(server_.requests_seen(), std::vector<std::string>{"app/files/" + digest});
}

TEST_F(StagingTest, ALeftoverStagingFolderKeepsOnlyWhatHashesToItsDigest) {
  const std::string big(100000, 'b');
  const auto manifest = make_manifest("2.0",
                                      {{{"Nelo.exe", "program"},
                                        {"res/whole.bin", big},
                                        {"res/torn.bin", "torn content"},
                                        {"res/short.bin", "short content"}}},
                                      server_);
  store_.folders.insert("/v/2.0.partial");
  auto put = [&](const std::string& path, const std::string& content) {
    store_.files["/v/2.0.partial/" + path] = std::make_shared<std::string>(content);
  };
  put("res/whole.bin", big);            // verified: kept
  put("res/torn.bin", "TORN CONTENT");  // the listed size, other bytes (a power cut)
  put("res/short.bin", "short");        // cut off
  put("stale", "not in this release");  // goes
  put(".manifest.json", "{}");          // written anew at the end
  ASSERT_OK(stage(manifest));
  const auto requests = server_.requests_seen();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), "app/files/" + sha256_hex(big)), 0)
      << "a verified leftover is not fetched again";
  EXPECT_EQ(requests.size(), 3u);
  EXPECT_EQ(store_.content("/v/2.0/res/whole.bin"), big);
  EXPECT_EQ(store_.content("/v/2.0/res/torn.bin"), "torn content");
  EXPECT_EQ(store_.content("/v/2.0/res/short.bin"), "short content");
  EXPECT_EQ(store_.content("/v/2.0/stale"), "<missing>");
  EXPECT_EQ(store_.content("/v/2.0/.manifest.json"), manifest.document);
  // Only files of the listed size are hashed.
  EXPECT_EQ(std::set<std::string>(store_.hashed.begin(), store_.hashed.end()),
            (std::set<std::string>{"/v/2.0.partial/res/whole.bin", "/v/2.0.partial/res/torn.bin"}));
  // The totals leave out what was kept.
  EXPECT_EQ(progress_.front().file_count, 3u);
  EXPECT_EQ(progress_.front().bytes_total,
            manifest.files[0].zsize + manifest.files[2].zsize + manifest.files[3].zsize);
}

struct FailureCase {
  std::string name;
  std::function<void(FakeUpdateClient&, FakeVersionStore&, const ReleaseManifest&)> arrange;
  std::string message;
};

TEST_F(StagingTest, EachFailureHasItsMessage) {
  const Release release{{{"Nelo.exe", "program"}, {"res/a.dll", "library"}}};
  const FailureCase cases[] = {
      {"folder", [](auto&, auto& d, auto&) { d.failing.insert("/v/2.0.partial"); },
       "pasta: acesso negado (os error 5)"},
      {"subfolder", [](auto&, auto& d, auto&) { d.failing.insert("/v/2.0.partial/res"); },
       "pasta: acesso negado (os error 5)"},
      {"404", [](auto& s, auto&, auto& m) { s.bodies.erase("app/files/" + m.files[1].sha256); },
       "o servidor respondeu 404"},
      {"dropped",
       [](auto& s, auto&, auto& m) {
         s.failures["app/files/" + m.files[1].sha256] = "a conexão caiu";
       },
       "a conexão caiu"},
      {"not brotli",
       [](auto& s, auto&, auto& m) { s.bodies["app/files/" + m.files[1].sha256] = "library"; },
       "res/a.dll veio estragado"},
      {"other content",
       [](auto& s, auto&, auto& m) {
         s.bodies["app/files/" + m.files[1].sha256] = brotli("librarY");
       },
       "res/a.dll não confere com a lista"},
      {"bomb",
       [](auto& s, auto&, auto& m) {
         // Past the smallest bound there is (256 MiB), far past the file's listed size.
         s.bodies["app/files/" + m.files[1].sha256] = brotli(std::string(260u << 20, 'z'), 1);
       },
       "res/a.dll veio estragado"},
      {"write", [](auto&, auto& d, auto&) { d.failing.insert("/v/2.0.partial/res/a.dll"); },
       "gravar res/a.dll: disco cheio (os error 112)"},
      {"manifest", [](auto&, auto& d, auto&) { d.failing.insert("/v/2.0.partial/.manifest.json"); },
       "gravar a lista: disco cheio (os error 112)"},
      {"rename", [](auto&, auto& d, auto&) { d.failing.insert("/v/2.0"); },
       "trocar a pasta: acesso negado (os error 5)"},
  };
  for (const FailureCase& c : cases) {
    FakeUpdateClient server;
    FakeVersionStore store;
    const ReleaseManifest manifest = make_manifest("2.0", release, server);
    c.arrange(server, store, manifest);
    const Status status = stage_release(server, manifest, {}, nullptr, store, std::nullopt);
    ASSERT_FALSE(status.ok()) << c.name;
    EXPECT_EQ(status.message(), c.message) << c.name;
  }
}

TEST_F(StagingTest, AFailedTakeOverNamesTheEntry) {
  const auto manifest = make_manifest("2.0", {{{"Nelo.exe", "p"}, {"lib\\x.dll", "x"}}}, server_);
  const ReuseIndex reuse = {{sha256_hex("x"), "/v/1.0/gone.dll"}};
  const Status status = stage(manifest, reuse);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "copiar lib\\x.dll: não encontrado (os error 2)");
}

TEST_F(StagingTest, TheCurrentVersionsFolderIsNeverRemoved) {
  store_.folders.insert("/v/Beta");
  store_.files["/v/Beta/Nelo.exe"] = std::make_shared<std::string>("installed");
  const auto manifest = make_manifest("beta", {{{"Nelo.exe", "new"}}}, server_);
  // On Windows "beta" and "Beta" are one folder: it must survive, and the rename then fails.
  store_.failing.insert("/v/beta");
  const Status status = stage(manifest, {}, "Beta");
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "trocar a pasta: acesso negado (os error 5)");
  EXPECT_EQ(std::count(store_.log.begin(), store_.log.end(), "remove /v/beta"), 0);
  EXPECT_EQ(store_.content("/v/Beta/Nelo.exe"), "installed");
}

TEST_F(StagingTest, AnOldFolderOfTheSameVersionIsReplaced) {
  store_.folders.insert("/v/2.0");
  store_.files["/v/2.0/Nelo.exe"] = std::make_shared<std::string>("stale");
  const auto manifest = make_manifest("2.0", {{{"Nelo.exe", "new"}}}, server_);
  ASSERT_OK(stage(manifest, {}, "1.0"));
  EXPECT_EQ(store_.content("/v/2.0/Nelo.exe"), "new");
}

std::string random_content(std::size_t count, std::uint32_t seed) {
  return testing_support::random_bytes(count, seed);
}

TEST_F(StagingTest, OddChunkingsAndWrongListedSizesGiveTheSameResult) {
  const std::string content = random_content(150000, 3);
  struct Case {
    const char* name;
    std::function<std::vector<std::size_t>(std::size_t)> chunking;
    std::function<void(ManifestFile&)> listing;
    std::string body_suffix;
    std::string expected;  // "" for the content
  };
  const auto one_byte = [](std::size_t size) { return std::vector<std::size_t>(size, 1); };
  const auto odd = [](std::size_t size) {
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0, total = 0; total < size; ++i) {
      sizes.push_back(1 + (i * 7919) % 9000);
      total += sizes.back();
    }
    return sizes;
  };
  const auto same = [](ManifestFile&) {};
  const Case cases[] = {
      {"64 KiB chunks", nullptr, same, "", ""},
      {"one byte at a time", one_byte, same, "", ""},
      {"odd chunks", odd, same, "", ""},
      {"zsize too small", odd, [](ManifestFile& f) { f.zsize /= 2; }, "", ""},
      {"zsize too large", nullptr, [](ManifestFile& f) { f.zsize *= 3; }, "", ""},
      {"zsize missing", one_byte, [](ManifestFile& f) { f.zsize = 0; }, "", ""},
      {"bytes after the stream", odd, same, "junk after the end", ""},
      {"size too small", odd, [](ManifestFile& f) { f.size -= 1; }, "", "big.bin veio estragado"},
      {"size too large", odd, [](ManifestFile& f) { f.size += 1; }, "", "big.bin veio estragado"},
  };
  for (const Case& c : cases) {
    FakeUpdateClient server;
    FakeVersionStore store;
    ReleaseManifest manifest =
        make_manifest("2.0", {{{"Nelo.exe", "p"}, {"big.bin", content}}}, server);
    c.listing(manifest.files[1]);
    server.bodies["app/files/" + sha256_hex(content)] += c.body_suffix;
    server.chunking = c.chunking;
    const Status staged = stage_release(server, manifest, {}, nullptr, store, std::nullopt);
    if (c.expected.empty()) {
      ASSERT_TRUE(staged.ok()) << c.name << ": " << staged.message();
      EXPECT_EQ(store.content("/v/2.0/big.bin"), content) << c.name;
    } else {
      ASSERT_FALSE(staged.ok()) << c.name;
      EXPECT_EQ(staged.message(), c.expected) << c.name;
      EXPECT_EQ(store.content("/v/2.0.partial/big.bin"), "<missing>")
          << c.name << ": a refused file is removed";
    }
  }
}

// A server that takes its time: every chunk waits a little, at random.
class SlowServer final : public UpdateClient {
 public:
  SlowServer(FakeUpdateClient& inner, std::uint32_t seed) : inner_(inner), generator_(seed) {}
  Result<BodyEnd> fetch(std::string_view path, ByteRange range,
                        const BodyReceiver& receive) override {
    active_.fetch_add(1);
    most_active_ = std::max(most_active_.load(), active_.load());
    if (finished_) {
      started_after_end_ = true;
    }
    auto ended = inner_.fetch(path, range, [&](std::string_view chunk) {
      std::this_thread::sleep_for(std::chrono::microseconds(pause()));
      return receive(chunk);
    });
    active_.fetch_sub(1);
    return ended;
  }
  int pause() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(generator_() % 300);
  }
  std::atomic<int> active_{0};
  std::atomic<int> most_active_{0};
  bool finished_ = false;
  bool started_after_end_ = false;

 private:
  FakeUpdateClient& inner_;
  std::mutex mutex_;
  std::mt19937 generator_;
};

Release many_files(int count, std::size_t size) {
  Release release;
  release.files.push_back({"Nelo.exe", "program"});
  for (int i = 0; i < count; ++i) {
    release.files.push_back({"data/f" + std::to_string(i), random_content(size + i * 97, i)});
  }
  return release;
}

TEST_F(StagingTest, ProgressOnlyGrowsWhateverTheSchedule) {
  const Release release = many_files(40, 20000);
  for (std::uint32_t seed = 1; seed <= 5; ++seed) {
    FakeUpdateClient server;
    server.chunking = [](std::size_t size) {
      return std::vector<std::size_t>(size / 3000 + 1, 3000);
    };
    FakeVersionStore store;
    SlowServer slow(server, seed);
    const ReleaseManifest manifest = make_manifest("2.0", release, server);
    std::vector<DownloadProgress> seen;
    std::atomic<int> inside{0};
    bool overlapped = false;
    ASSERT_OK(stage_release(
        slow, manifest, {},
        [&](const DownloadProgress& p) {
          overlapped = overlapped || inside.fetch_add(1) != 0;
          seen.push_back(p);
          inside.fetch_sub(1);
        },
        store, std::nullopt));
    EXPECT_FALSE(overlapped) << "the sink is never called by two threads at once";
    EXPECT_GT(slow.most_active_.load(), 1) << "several transfers in flight";
    EXPECT_LE(slow.most_active_.load(), static_cast<int>(kTransfersInFlight));
    for (std::size_t i = 1; i < seen.size(); ++i) {
      ASSERT_GE(seen[i].bytes_done, seen[i - 1].bytes_done) << "seed " << seed;
      ASSERT_GE(seen[i].files_done, seen[i - 1].files_done) << "seed " << seed;
      ASSERT_EQ(seen[i].bytes_total, seen[0].bytes_total);
    }
    EXPECT_EQ(seen.back().bytes_done, server.bytes_sent());
    EXPECT_EQ(seen.back().files_done, release.files.size());
    for (const auto& [path, content] : release.files) {
      EXPECT_EQ(store.content("/v/2.0/" + path), content);
    }
  }
}

TEST_F(StagingTest, TheFirstFailureStopsEveryTransferAndNoneOutlivesTheStaging) {
  const Release release = many_files(30, 60000);
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    FakeUpdateClient server;
    server.chunking = [](std::size_t size) {
      return std::vector<std::size_t>(size / 1000 + 1, 1000);
    };
    FakeVersionStore store;
    SlowServer slow(server, seed);
    const ReleaseManifest manifest = make_manifest("2.0", release, server);
    // The largest file goes first, and its answer is a 404.
    server.bodies.erase("app/files/" + manifest.files.back().sha256);
    const Status staged = stage_release(slow, manifest, {}, nullptr, store, std::nullopt);
    slow.finished_ = true;
    ASSERT_FALSE(staged.ok());
    EXPECT_EQ(staged.message(), "o servidor respondeu 404");
    EXPECT_EQ(slow.active_.load(), 0) << "every transfer ended before the staging returned";
    std::uint64_t total = 0;
    for (const auto& [path, body] : server.bodies) {
      total += body.size();
    }
    EXPECT_LT(server.bytes_sent(), total / 4) << "the others stopped at once";
    EXPECT_FALSE(store.folders.count("/v/2.0"));
    // No half-written file stays behind.
    for (const auto& [path, content] : release.files) {
      const std::string staged_content = store.content("/v/2.0.partial/" + path);
      EXPECT_TRUE(staged_content == "<missing>" || staged_content == content) << path;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(slow.started_after_end_);
  }
}

TEST_F(StagingTest, OneTransferAtATimeWhenAskedForOne) {
  const Release release = many_files(10, 5000);
  FakeUpdateClient server;
  SlowServer slow(server, 1);
  const ReleaseManifest manifest = make_manifest("2.0", release, server);
  TransferSettings settings;
  settings.transfers = 1;
  ASSERT_OK(stage_release(slow, manifest, {}, nullptr, store_, std::nullopt, settings));
  EXPECT_EQ(slow.most_active_.load(), 1);
}

TEST_F(StagingTest, ALargeObjectComesInRangesAndABreakResumesFromTheLastByteKept) {
  const std::string content = random_content(300000, 9);  // incompressible: ~300 KB object
  TransferSettings settings;
  settings.range_bytes = 64 * 1024;
  settings.keep_body_from = 100000;
  settings.transfers = 1;  // the large object first and alone: Nelo.exe is never begun
  auto manifest = make_manifest("2.0", {{{"Nelo.exe", "p"}, {"big.bin", content}}}, server_);
  const std::string object = "app/files/" + sha256_hex(content);
  const std::uint64_t zsize = server_.bodies[object].size();
  server_.drop_after[object] = 150000;  // the connection drops in the third range
  Status first = stage_release(server_, manifest, {}, nullptr, store_, std::nullopt, settings);
  ASSERT_FALSE(first.ok());
  EXPECT_EQ(first.message(), "a conexão caiu");
  ASSERT_EQ(store_.kept.count(sha256_hex(content)), 1u);
  EXPECT_EQ(store_.kept[sha256_hex(content)], server_.bodies[object].substr(0, 150000));

  const std::uint64_t sent_before = server_.bytes_sent();
  std::vector<DownloadProgress> progress;
  ASSERT_OK(stage_release(
      server_, manifest, {}, [&](const DownloadProgress& p) { progress.push_back(p); }, store_,
      std::nullopt, settings));
  EXPECT_EQ(store_.content("/v/2.0/big.bin"), content);
  const std::uint64_t program = server_.bodies["app/files/" + sha256_hex("p")].size();
  EXPECT_EQ(server_.bytes_sent() - sent_before, zsize - 150000 + program)
      << "only what was missing is fetched again";
  std::vector<ByteRange> ranges;
  for (const auto& request : server_.ranges_seen()) {
    if (request.path == object) {
      ranges.push_back(request.range);
    }
  }
  ASSERT_EQ(ranges.size(), 3u + 3u);
  EXPECT_EQ(ranges[0].offset, 0u);
  EXPECT_EQ(ranges[0].length, 65536u);
  EXPECT_EQ(ranges[2].offset, 131072u);
  EXPECT_EQ(ranges[3].offset, 150000u) << "the second attempt goes on from the kept bytes";
  EXPECT_EQ(ranges[3].length, 65536u);
  EXPECT_EQ(ranges.back().offset + ranges.back().length, zsize);
  EXPECT_EQ(progress.front().bytes_total, zsize - 150000 + program)
      << "kept bytes are not to fetch";
  EXPECT_TRUE(store_.kept.empty()) << "nothing is kept once the object is whole";
}

// A range answered with fewer bytes than asked for, and ended cleanly, broke off on its way:
// the object is not corrupt, and what came is kept for the next attempt.
TEST_F(StagingTest, ARangeThatBringsLessThanAskedIsADroppedConnection) {
  const std::string content = random_content(300000, 3);
  TransferSettings settings;
  settings.range_bytes = 64 * 1024;
  settings.keep_body_from = 100000;
  settings.transfers = 1;
  auto manifest = make_manifest("2.0", {{{"Nelo.exe", "p"}, {"big.bin", content}}}, server_);
  const std::string object = "app/files/" + sha256_hex(content);
  server_.short_ranges[object] = 1000;
  Status first = stage_release(server_, manifest, {}, nullptr, store_, std::nullopt, settings);
  ASSERT_FALSE(first.ok());
  EXPECT_EQ(first.message(), "a conexão caiu");
  EXPECT_EQ(store_.kept[sha256_hex(content)], server_.bodies[object].substr(0, 65536 - 1000));
  ASSERT_OK(stage_release(server_, manifest, {}, nullptr, store_, std::nullopt, settings));
  EXPECT_EQ(store_.content("/v/2.0/big.bin"), content);
}

TEST_F(StagingTest, AServerWithoutRangesStillServesResumedAndLargeObjects) {
  const std::string content = random_content(200000, 4);
  TransferSettings settings;
  settings.range_bytes = 50000;
  settings.keep_body_from = 0;
  auto manifest = make_manifest("2.0", {{{"Nelo.exe", "p"}, {"big.bin", content}}}, server_);
  const std::string object = "app/files/" + sha256_hex(content);
  server_.ignores_ranges = true;
  server_.drop_after[object] = 120000;
  ASSERT_FALSE(stage_release(server_, manifest, {}, nullptr, store_, std::nullopt, settings).ok());
  ASSERT_OK(stage_release(server_, manifest, {}, nullptr, store_, std::nullopt, settings));
  EXPECT_EQ(store_.content("/v/2.0/big.bin"), content);
}

TEST_F(StagingTest, KeptBytesThatAreNotTheObjectsAreDroppedAndTheObjectFetchedWhole) {
  const std::string content = random_content(200000, 5);
  TransferSettings settings;
  settings.keep_body_from = 0;
  auto manifest = make_manifest("2.0", {{{"Nelo.exe", "p"}, {"big.bin", content}}}, server_);
  const std::string object = "app/files/" + sha256_hex(content);
  struct Case {
    const char* name;
    std::string kept;
  };
  const Case cases[] = {
      {"zeros after a power cut", std::string(90000, '\0')},
      {"a prefix with a torn tail",
       server_.bodies[object].substr(0, 80000) + std::string(5000, 'x')},
      {"the bytes of another object", brotli("another file altogether")},
  };
  for (const Case& c : cases) {
    FakeVersionStore store;
    store.kept[sha256_hex(content)] = c.kept;
    ASSERT_OK(stage_release(server_, manifest, {}, nullptr, store, std::nullopt, settings))
        << c.name;
    EXPECT_EQ(store.content("/v/2.0/big.bin"), content) << c.name;
  }
}

// A release whose file "res/pack.bin" changed a little since the installed version, with a
// patch from the installed content on the server.
struct PatchedUpdate {
  std::string old_content = random_content(200000, 6);
  std::string new_content;
  ReleaseManifest manifest;
  std::string patch;
  std::string patch_path;

  PatchedUpdate(FakeUpdateClient& server, FakeVersionStore& store) {
    new_content = old_content;
    new_content.replace(100000, 50, std::string(50, 'N'));
    store.install("1.0", {{"Nelo.exe", "program"}, {"res/pack.bin", old_content}});
    manifest = testing_support::publish_release(
        "2.0", {{"Nelo.exe", "program"}, {"res/pack.bin", new_content}}, server);
    patch = *publish::make_patch(old_content, new_content, new_content.size());
    patch_path = "app/patches/" + sha256_hex(old_content) + "-" + sha256_hex(new_content);
    server.bodies[patch_path] = patch;
    manifest.files[1].patches = {{sha256_hex(old_content), patch.size()}};
  }
  ReuseIndex reuse(FakeVersionStore& store) const {
    return store.reusable_files(std::string("1.0"), store.stored.at("1.0"));
  }
};

TEST_F(StagingTest, AFileWithAPatchFromTheInstalledContentComesFromThePatch) {
  PatchedUpdate update(server_, store_);
  ASSERT_OK(stage(update.manifest, update.reuse(store_), "1.0"));
  EXPECT_EQ(store_.content("/v/2.0/res/pack.bin"), update.new_content);
  EXPECT_EQ(server_.requests_seen(), std::vector<std::string>{update.patch_path})
      << "the patch alone is fetched, not the object";
  ASSERT_FALSE(progress_.empty());
  EXPECT_EQ(progress_.front().bytes_total, update.patch.size()) << "the total counts the patch";
  EXPECT_EQ(progress_.back().bytes_done, update.patch.size());
  EXPECT_TRUE(store_.notes.empty());
}

TEST_F(StagingTest, AnyFailureOfThePatchFallsBackToTheWholeObject) {
  struct Case {
    const char* name;
    std::function<void(PatchedUpdate&, FakeUpdateClient&, FakeVersionStore&)> spoil;
  };
  const Case cases[] = {
      {"the patch is not on the server", [](PatchedUpdate& u, FakeUpdateClient& s,
                                            FakeVersionStore&) { s.bodies.erase(u.patch_path); }},
      {"the patch is cut short",
       [](PatchedUpdate& u, FakeUpdateClient& s, FakeVersionStore&) {
         s.bodies[u.patch_path] = u.patch.substr(0, u.patch.size() / 2);
       }},
      {"the old file changed after the index was made",
       [](PatchedUpdate&, FakeUpdateClient&, FakeVersionStore& d) {
         std::string& old = *d.files["/v/1.0/res/pack.bin"];
         old[10] ^= 1;
       }},
      {"the old file is gone", [](PatchedUpdate&, FakeUpdateClient&,
                                  FakeVersionStore& d) { d.files.erase("/v/1.0/res/pack.bin"); }},
      {"the patch decodes to other content",
       [](PatchedUpdate& u, FakeUpdateClient& s, FakeVersionStore&) {
         std::string other = u.new_content;
         other[0] ^= 1;
         s.bodies[u.patch_path] = *publish::make_patch(u.old_content, other, other.size());
       }},
  };
  for (const Case& c : cases) {
    FakeUpdateClient server;
    FakeVersionStore store;
    PatchedUpdate update(server, store);
    const ReuseIndex reuse = update.reuse(store);
    c.spoil(update, server, store);
    std::vector<DownloadProgress> progress;
    ASSERT_OK(stage_release(
        server, update.manifest, reuse, [&](const DownloadProgress& p) { progress.push_back(p); },
        store, "1.0"))
        << c.name;
    EXPECT_EQ(store.content("/v/2.0/res/pack.bin"), update.new_content) << c.name;
    const auto requests = server.requests_seen();
    EXPECT_EQ(requests.back(), "app/files/" + sha256_hex(update.new_content)) << c.name;
    ASSERT_EQ(store.notes.size(), 1u) << c.name;
    EXPECT_TRUE(store.notes[0].starts_with("patch de res/pack.bin recusado")) << store.notes[0];
    EXPECT_EQ(progress.back().bytes_total, update.patch.size() + update.manifest.files[1].zsize)
        << c.name << ": the whole object is added to what is to fetch";
  }
}

TEST_F(StagingTest, WithoutTheOlderContentAPatchIsNeverAskedFor) {
  PatchedUpdate update(server_, store_);
  ASSERT_OK(stage(update.manifest, {}, "1.0"));
  EXPECT_EQ(store_.content("/v/2.0/res/pack.bin"), update.new_content);
  for (const std::string& request : server_.requests_seen()) {
    EXPECT_FALSE(request.starts_with("app/patches/")) << request;
  }
}

TEST(NextRangeTest, WholeObjectsUpToARangeThenRangesThenTheRest) {
  constexpr std::uint64_t kR = 100;
  struct Case {
    std::uint64_t zsize;
    std::uint64_t offset;
    std::uint64_t want_offset;
    std::uint64_t want_length;
  };
  const Case cases[] = {
      {0, 0, 0, 0},         {50, 0, 0, 0},       {100, 0, 0, 0},     {101, 0, 0, 100},
      {250, 100, 100, 100}, {250, 200, 200, 50}, {250, 250, 250, 0}, {250, 300, 300, 0},
      {50, 20, 20, 30},     {0, 20, 20, 0},
  };
  for (const Case& c : cases) {
    const ByteRange range = next_range(c.zsize, c.offset, kR);
    EXPECT_EQ(range.offset, c.want_offset) << c.zsize << " " << c.offset;
    EXPECT_EQ(range.length, c.want_length) << c.zsize << " " << c.offset;
  }
  EXPECT_EQ(next_range(5ull << 30, 0).length, kRangeBytes) << "4 GiB never in one answer";
}

TEST_F(StagingTest, TwoEntriesForOneFileWriteItOnceWithTheLastContent) {
  const auto manifest = make_manifest(
      "2.0", {{{"Nelo.exe", "p"}, {"Res/A.txt", "first"}, {"res\\a.TXT", "second"}}}, server_);
  ASSERT_OK(stage(manifest));
  const auto requests = server_.requests_seen();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), "app/files/" + sha256_hex("first")), 0);
  EXPECT_EQ(store_.content("/v/2.0/res/a.TXT"), "second");
}

}  // namespace
}  // namespace nelo
