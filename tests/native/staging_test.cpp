#include "install/staging.h"

#include <gtest/gtest.h>

#include "install/sha256.h"
#include "tests/expect_ok.h"
#include "tests/native/fake_update_client.h"
#include "tests/native/fake_version_store.h"

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

TEST_F(StagingTest, ReportsProgressBeforeFetchingAndAfterEveryChunk) {
  const std::string big(150000, 'x');
  auto manifest = make_manifest("2.0", {{{"Nelo.exe", "p"}, {"big", big}}}, server_);
  manifest.files[0].zsize = 0;  // counts as 1
  ASSERT_OK(stage(manifest));
  ASSERT_FALSE(progress_.empty());
  EXPECT_EQ(progress_[0].bytes_done, 0u);
  EXPECT_EQ(progress_[0].bytes_total, 1 + manifest.files[1].zsize);
  EXPECT_EQ(progress_[0].file_count, 2u);
  std::uint64_t received = 0;
  for (const auto& [path, body] : server_.bodies) {
    received += body.size();
  }
  EXPECT_EQ(progress_.back().bytes_done, received);
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
  EXPECT_TRUE(server_.requests.empty());
  ASSERT_EQ(progress_.size(), 1u);
  EXPECT_EQ(progress_[0].bytes_total, 0u);
  EXPECT_EQ(progress_[0].file_count, 0u);
  EXPECT_EQ(store_.files["/v/2.0/new/name.dll"], store_.files["/v/1.0/old/name.dll"])
      << "a renamed file is linked from its old path";
}

TEST_F(StagingTest, TwoPendingEntriesWithOneDigestAreBothDownloaded) {
  const auto manifest = make_manifest("2.0", {{{"Nelo.exe", "same"}, {"copy", "same"}}}, server_);
  ASSERT_OK(stage(manifest));
  EXPECT_EQ(server_.requests.size(), 2u);
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
      "{\"version\": \"2\", \"files\": [{\"path\": \"Nelo.exe\", "
      "\"sha256\": \"" +
      upper + "\"}]}");
  ASSERT_OK(manifest);
  ASSERT_OK(stage(manifest.value()));
  EXPECT_EQ(server_.requests, std::vector<std::string>{"app/files/" + digest});
}

TEST_F(StagingTest, ALeftoverStagingFolderIsRemovedFirst) {
  store_.folders.insert("/v/2.0.partial");
  store_.files["/v/2.0.partial/stale"] = std::make_shared<std::string>("old");
  const auto manifest = make_manifest("2.0", {{{"Nelo.exe", "p"}}}, server_);
  ASSERT_OK(stage(manifest));
  EXPECT_EQ(store_.log.front(), "remove /v/2.0.partial");
  EXPECT_EQ(store_.content("/v/2.0/stale"), "<missing>");
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

TEST(ReuseIndexTest, TheLastExistingEntryOfADigestWins) {
  ReleaseManifest previous;
  const std::string a(64, 'a');
  const std::string b(64, 'b');
  previous.files = {{"one", a, 0, 0}, {"two", a, 0, 0}, {"gone", a, 0, 0}, {"dir\\three", b, 0, 0}};
  const auto index = build_reuse_index("/v/1", previous, [](const std::filesystem::path& p) {
    return p.generic_string() != "/v/1/gone";
  });
  ASSERT_EQ(index.size(), 2u);
  ASSERT_NE(find_reusable(index, a), nullptr);
  EXPECT_EQ(find_reusable(index, a)->generic_string(), "/v/1/two");
  EXPECT_EQ(find_reusable(index, b)->generic_string(), "/v/1/dir/three");
  EXPECT_EQ(find_reusable(index, std::string(64, 'A')), nullptr) << "digests match exactly";
  EXPECT_TRUE(build_reuse_index("/v/1", std::nullopt, [](auto&) { return true; }).empty());
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
