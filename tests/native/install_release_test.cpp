#include "main/install_release.h"

#include <gtest/gtest.h>

#include "release/sha256.h"
#include "tests/expect_ok.h"
#include "tests/native/signer.h"
#include "tests/native/fake_update_client.h"
#include "tests/native/fake_version_store.h"

namespace nelo {
namespace {

using testing_support::FakeUpdateClient;
using testing_support::FakeVersionStore;
using testing_support::publish_release;
using testing_support::Signer;

ReleaseManifest release(const std::string& version, std::vector<ManifestFile> files) {
  ReleaseManifest manifest;
  manifest.version = version;
  manifest.files = std::move(files);
  return manifest;
}

const std::string kA(64, 'a');

TEST(InstallReleaseTest, StagesSwitchesAndPrunesUnderTheLock) {
  FakeVersionStore store;
  store.install("1.0", {{"Nelo.exe", "program"}, {"lib.dll", "library 1"}});
  FakeUpdateClient client;
  const auto outcome = install_release(
      client, publish_release("2.0", {{"Nelo.exe", "program"}, {"lib.dll", "library 2"}}, client),
      nullptr, store);
  ASSERT_OK(outcome);
  EXPECT_TRUE(outcome->changes_app);
  EXPECT_EQ(store.calls,
            (std::vector<std::string>{"lock", "read", "index 1.0", "switch 2.0", "prune 2.0 1.0"}));
  // The unchanged file is taken over from the previous version, the changed one fetched.
  EXPECT_EQ(store.files["/v/2.0/Nelo.exe"], store.files["/v/1.0/Nelo.exe"]);
  EXPECT_EQ(client.requests_seen(),
            std::vector<std::string>{"app/files/" + sha256_hex("library 2")});
  EXPECT_EQ(store.log.back(), "rename /v/2.0.partial /v/2.0") << "staged before the switch";
}

TEST(InstallReleaseTest, AReleaseInstalledMeanwhileIsNotStagedAgain) {
  FakeVersionStore store;
  store.install("1.0", {{"Nelo.exe", "program 1"}});
  store.current_after_lock = "2.0";  // another launcher finished while this one waited for it
  store.stored["2.0"] = release("2.0", {{"Nelo.exe", kA, 1, 1}});
  FakeUpdateClient client;
  const auto outcome =
      install_release(client, release("2.0", {{"Nelo.exe", kA, 1, 1}}), nullptr, store);
  ASSERT_OK(outcome);
  EXPECT_TRUE(outcome->changes_app) << "nothing changed reads as a change of the application";
  EXPECT_EQ(store.calls, (std::vector<std::string>{"lock", "read", "installed?"}));
  EXPECT_TRUE(store.log.empty());
  EXPECT_TRUE(client.requests_seen().empty());
}

TEST(InstallReleaseTest, ADamagedCurrentVersionIsRepairedInPlace) {
  const std::string big(100000, 'b');
  const testing_support::ReleaseFiles files = {{"Nelo.exe", "program"},
                                               {"res/big.bin", big},
                                               {"res/gone.bin", "gone"},
                                               {"res/changed.bin", "original"}};
  struct Case {
    const char* name;
    std::function<void(FakeVersionStore&)> damage;
    std::vector<std::string> fetched;  // the contents fetched again
  };
  const Case cases[] = {
      {"a file deleted",
       [](FakeVersionStore& s) { s.files.erase("/v/1.0/res/gone.bin"); },
       {"gone"}},
      {"a file changed, its size kept",
       [](FakeVersionStore& s) {
         s.files["/v/1.0/res/changed.bin"] = std::make_shared<std::string>("ORIGINAL");
       },
       {"original"}},
      {"a file cut short",
       [&big](FakeVersionStore& s) {
         s.files["/v/1.0/res/big.bin"] = std::make_shared<std::string>(big.substr(0, 10));
       },
       {big}},
      {"the stored manifest lost",
       [](FakeVersionStore& s) { s.files.erase("/v/1.0/.manifest.json"); },
       {}},
  };
  for (const Case& c : cases) {
    FakeVersionStore store;
    store.install("1.0", files);
    FakeUpdateClient client;
    const ReleaseManifest manifest = publish_release("1.0", files, client);
    store.files["/v/1.0/.manifest.json"] = std::make_shared<std::string>(manifest.document);
    // A file the previous version shares by a hard link is never written through.
    const auto shared = store.files["/v/1.0/res/changed.bin"];
    store.files["/v/0.9/res/changed.bin"] = shared;
    c.damage(store);
    store.torn.insert("1.0");
    std::vector<DownloadProgress> progress;
    const auto outcome = install_release(
        client, manifest, [&](const DownloadProgress& p) { progress.push_back(p); }, store);
    ASSERT_OK(outcome) << c.name;
    for (const auto& [path, content] : files) {
      EXPECT_EQ(store.content("/v/1.0/" + path), content) << c.name << ": " << path;
    }
    EXPECT_EQ(store.content("/v/1.0/.manifest.json"), manifest.document) << c.name;
    std::vector<std::string> wanted;
    for (const std::string& content : c.fetched) {
      wanted.push_back("app/files/" + sha256_hex(content));
    }
    EXPECT_EQ(client.requests_seen(), wanted) << c.name << ": only what is damaged is fetched";
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front().file_count, c.fetched.size()) << c.name;
    EXPECT_EQ(store.calls, (std::vector<std::string>{"lock", "read", "installed?"}))
        << c.name << ": no switch, no pruning";
    EXPECT_EQ(*store.files["/v/0.9/res/changed.bin"], "original") << c.name;
  }
}

// A file the running application holds cannot be replaced, only renamed: it goes aside and
// the repaired one takes its name. When even that fails, the file stays as it was, the log
// says so, and the version is started all the same; its record leaves it damaged.
TEST(InstallReleaseTest, ARepairBesideTheRunningApplicationMovesHeldFilesAside) {
  const testing_support::ReleaseFiles files = {{"Nelo.exe", "program"}, {"a.dll", "library"}};
  for (const bool renames : {true, false}) {
    FakeVersionStore store;
    store.install("1.0", files);
    FakeUpdateClient client;
    const ReleaseManifest manifest = publish_release("1.0", files, client);
    store.files["/v/1.0/a.dll"] = std::make_shared<std::string>("LIBRARY");
    store.torn.insert("1.0");
    store.held.insert("/v/1.0/a.dll");
    if (!renames) {
      store.failing.insert("/v/1.0/a.dll");
    }
    const auto outcome = install_release(client, manifest, nullptr, store);
    ASSERT_TRUE(outcome.ok()) << renames << ": " << outcome.message();
    EXPECT_EQ(store.content("/v/1.0/a.dll"), renames ? "library" : "LIBRARY") << renames;
    EXPECT_EQ(store.current, "1.0");
    EXPECT_EQ(store.notes.size(), renames ? 0u : 1u) << renames;
    const auto record = load_file_record(store, "/v/1.0", manifest);
    ASSERT_TRUE(record) << renames;
    const std::size_t dll = manifest.files[0].path == "a.dll" ? 0 : 1;
    EXPECT_EQ(stamp_matches(manifest, &*record, dll, *store.file_stamp("/v/1.0/a.dll")), renames)
        << "a file left damaged is never recorded as whole";
    EXPECT_TRUE(stamp_matches(manifest, &*record, 1 - dll,
                              *store.file_stamp("/v/1.0/" + manifest.files[1 - dll].path)));
  }
}

// A launcher that waited for the lock while another installed a newer signed release holds its
// own, older release against the version that is current once it has the lock.
TEST(InstallReleaseTest, TheRollbackCheckHoldsUnderTheLock) {
  const Signer signer;
  struct Case {
    const char* name;
    std::int64_t release_signed_at;
    std::int64_t current_signed_at;
    bool installed;
  };
  const Case cases[] = {
      {"older than the version current after the lock", 1000, 2000, false},
      {"as old", 2000, 2000, true},
      {"newer", 3000, 2000, true},
  };
  for (const Case& c : cases) {
    FakeVersionStore store;
    store.install("1.0", {{"Nelo.exe", "program 1"}});
    store.trust.keys = {signer.release_key};
    store.signed_at["1.0"] = 500;
    store.current_after_lock = "3.0";  // installed by another launcher meanwhile
    store.stored["3.0"] = release("3.0", {{"Nelo.exe", kA, 1, 1}});
    store.signed_at["3.0"] = c.current_signed_at;
    FakeUpdateClient client;
    ReleaseManifest manifest = publish_release("2.0", {{"Nelo.exe", "program 2"}}, client);
    manifest.signature = signer.sign(manifest.document, c.release_signed_at);
    const auto outcome = install_release(client, manifest, nullptr, store);
    if (c.installed) {
      ASSERT_OK(outcome) << c.name;
      EXPECT_EQ(store.current, "2.0") << c.name;
    } else {
      ASSERT_FALSE(outcome.ok()) << c.name;
      EXPECT_EQ(outcome.message(), "lista antiga") << c.name;
      EXPECT_EQ(store.current, "3.0") << c.name;
      EXPECT_TRUE(client.requests_seen().empty()) << c.name;
    }
  }
}

TEST(InstallReleaseTest, AMediaOnlyReleaseSaysSo) {
  FakeVersionStore store;
  store.install("1.0", {{"Nelo.exe", "program"}, {"resources/nelo-audio.exe", "audio 1"}});
  FakeUpdateClient client;
  const auto outcome = install_release(
      client,
      publish_release("1.1", {{"Nelo.exe", "program"}, {"resources\\nelo-audio.exe", "audio 2"}},
                      client),
      nullptr, store);
  ASSERT_OK(outcome);
  EXPECT_FALSE(outcome->changes_app);
}

TEST(InstallReleaseTest, AFirstInstallReusesNothing) {
  FakeVersionStore store;
  FakeUpdateClient client;
  ASSERT_OK(install_release(client, publish_release("1.0", {{"Nelo.exe", "program"}}, client),
                            nullptr, store));
  EXPECT_EQ(store.calls,
            (std::vector<std::string>{"lock", "read", "index -", "switch 1.0", "prune 1.0 -"}));
  EXPECT_EQ(client.requests_seen(), std::vector<std::string>{"app/files/" + sha256_hex("program")});
}

TEST(InstallReleaseTest, FailuresStopBeforeTheSwitchOrThePrune) {
  {
    FakeVersionStore store;
    FakeUpdateClient client;
    const ReleaseManifest manifest = publish_release("1.0", {{"Nelo.exe", "program"}}, client);
    client.failures["app/files/" + sha256_hex("program")] = "a conexão caiu";
    const auto outcome = install_release(client, manifest, nullptr, store);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.message(), "a conexão caiu");
    EXPECT_EQ(store.calls.back(), "index -") << "neither switched nor pruned";
  }
  {
    FakeVersionStore store;
    store.write_current_result = fail("gravar: acesso negado (os error 5)");
    FakeUpdateClient client;
    const auto outcome = install_release(client, release("1.0", {}), nullptr, store);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.message(), "gravar: acesso negado (os error 5)");
    EXPECT_EQ(store.calls.back(), "switch 1.0") << "nothing is pruned after a failed switch";
  }
}

}  // namespace
}  // namespace nelo
