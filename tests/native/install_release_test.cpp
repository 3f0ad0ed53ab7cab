#include "main/install_release.h"

#include <gtest/gtest.h>

#include "install/sha256.h"
#include "tests/expect_ok.h"
#include "tests/native/fake_update_client.h"
#include "tests/native/fake_version_store.h"

namespace nelo {
namespace {

using testing_support::FakeUpdateClient;
using testing_support::FakeVersionStore;
using testing_support::publish_release;

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
  EXPECT_EQ(store.calls, (std::vector<std::string>{"lock", "read"}));
  EXPECT_TRUE(store.log.empty());
  EXPECT_TRUE(client.requests_seen().empty());
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
