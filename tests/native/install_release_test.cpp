#include "main/install_release.h"

#include <gtest/gtest.h>

#include "tests/native/staging_fakes.h"

namespace nelo {
namespace {

using testing_support::FakeUpdateClient;

ReleaseManifest release(const std::string& version, std::vector<ManifestFile> files) {
  ReleaseManifest manifest;
  manifest.version = version;
  manifest.files = std::move(files);
  return manifest;
}

const std::string kA(64, 'a');
const std::string kB(64, 'b');
const std::string kC(64, 'c');

// A store that records the calls made to it.
class RecordingStore final : public ReleaseStore {
 public:
  std::optional<std::string> current;
  std::map<std::string, ReleaseManifest> stored;
  Status stage_result;
  Status write_result;
  std::vector<std::string> calls;
  ReuseIndex reuse_given;

  void acquire_update_lock() override { calls.push_back("lock"); }
  std::optional<std::string> read_current_version() override {
    calls.push_back("read");
    return current;
  }
  std::optional<ReleaseManifest> load_stored_manifest(
      const std::optional<std::string>& label) override {
    if (!label || !stored.count(*label)) {
      return std::nullopt;
    }
    return stored.at(*label);
  }
  std::optional<std::string> find_installed_version() override { return current; }
  ReuseIndex build_reuse_index(const std::optional<std::string>& label,
                               const std::optional<ReleaseManifest>& manifest) override {
    calls.push_back("index " + label.value_or("-"));
    ReuseIndex index;
    if (manifest) {
      for (const ManifestFile& file : manifest->files) {
        index[file.sha256] = "/v/" + *label + "/" + file.path;
      }
    }
    return index;
  }
  Status stage_version(UpdateClient&, const ReleaseManifest& manifest, const ReuseIndex& reuse,
                       const ProgressSink&,
                       const std::optional<std::string>& staged_over) override {
    calls.push_back("stage " + manifest.version + " over " + staged_over.value_or("-"));
    reuse_given = reuse;
    return stage_result;
  }
  Status write_current_version(std::string_view label) override {
    calls.push_back("write " + std::string(label));
    return write_result;
  }
  void prune_versions(std::string_view keep, const std::optional<std::string>& previous) override {
    calls.push_back("prune " + std::string(keep) + " " + previous.value_or("-"));
  }
};

TEST(InstallReleaseTest, StagesSwitchesAndPrunesUnderTheLock) {
  RecordingStore store;
  store.current = "1.0";
  store.stored["1.0"] = release("1.0", {{"Nelo.exe", kA, 1, 1}, {"lib.dll", kB, 1, 1}});
  FakeUpdateClient client;
  const auto outcome = install_release(
      client, release("2.0", {{"Nelo.exe", kA, 1, 1}, {"lib.dll", kC, 1, 1}}), nullptr, store);
  ASSERT_TRUE(outcome.ok()) << outcome.message();
  EXPECT_TRUE(outcome->changes_app);
  EXPECT_EQ(store.calls,
            (std::vector<std::string>{"lock", "read", "index 1.0", "stage 2.0 over 1.0",
                                      "write 2.0", "prune 2.0 1.0"}));
  EXPECT_EQ(store.reuse_given.size(), 2u);
}

TEST(InstallReleaseTest, AReleaseInstalledMeanwhileIsNotStagedAgain) {
  RecordingStore store;
  store.current = "2.0";  // another launcher finished while this one waited for the lock
  store.stored["2.0"] = release("2.0", {{"Nelo.exe", kA, 1, 1}});
  FakeUpdateClient client;
  const auto outcome =
      install_release(client, release("2.0", {{"Nelo.exe", kA, 1, 1}}), nullptr, store);
  ASSERT_TRUE(outcome.ok());
  EXPECT_TRUE(outcome->changes_app) << "nothing changed reads as a change of the application";
  EXPECT_EQ(store.calls, (std::vector<std::string>{"lock", "read"}));
}

TEST(InstallReleaseTest, AMediaOnlyReleaseSaysSo) {
  RecordingStore store;
  store.current = "1.0";
  store.stored["1.0"] =
      release("1.0", {{"Nelo.exe", kA, 1, 1}, {"resources/nelo-audio.exe", kB, 1, 1}});
  FakeUpdateClient client;
  const auto outcome = install_release(
      client, release("1.1", {{"Nelo.exe", kA, 1, 1}, {"resources\\nelo-audio.exe", kC, 1, 1}}),
      nullptr, store);
  ASSERT_TRUE(outcome.ok());
  EXPECT_FALSE(outcome->changes_app);
}

TEST(InstallReleaseTest, AFirstInstallReusesNothing) {
  RecordingStore store;
  FakeUpdateClient client;
  ASSERT_TRUE(
      install_release(client, release("1.0", {{"Nelo.exe", kA, 1, 1}}), nullptr, store).ok());
  EXPECT_EQ(store.calls, (std::vector<std::string>{"lock", "read", "index -", "stage 1.0 over -",
                                                   "write 1.0", "prune 1.0 -"}));
  EXPECT_TRUE(store.reuse_given.empty());
}

TEST(InstallReleaseTest, FailuresStopBeforeTheSwitchOrThePrune) {
  FakeUpdateClient client;
  {
    RecordingStore store;
    store.stage_result = fail("a conexão caiu");
    const auto outcome = install_release(client, release("1.0", {}), nullptr, store);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.message(), "a conexão caiu");
    EXPECT_EQ(store.calls.back(), "stage 1.0 over -");
  }
  {
    RecordingStore store;
    store.write_result = fail("gravar: acesso negado (os error 5)");
    const auto outcome = install_release(client, release("1.0", {}), nullptr, store);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.message(), "gravar: acesso negado (os error 5)");
    EXPECT_EQ(store.calls.back(), "write 1.0") << "nothing is pruned after a failed switch";
  }
}

}  // namespace
}  // namespace nelo
