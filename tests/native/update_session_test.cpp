#include "main/update_session.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/native/fake_clock.h"
#include "tests/native/staging_fakes.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeUpdateClient;

const std::string kA(64, 'a');
const std::string kB(64, 'b');

std::string manifest_document(const std::string& version, const std::string& program_digest,
                              const std::string& audio_digest = std::string(64, 'c')) {
  return "{\"version\": \"" + version + "\", \"files\": [{\"path\": \"Nelo.exe\", \"sha256\": \"" +
         program_digest + "\"}, {\"path\": \"resources/nelo-audio.exe\", \"sha256\": \"" +
         audio_digest + "\"}]}";
}

// A virtual clock that also plays the user: at given instants it stores an action or closes
// the window, and it records every phase the window was asked to show.
class UserScript final : public Clock {
 public:
  explicit UserScript(std::shared_ptr<LauncherUi> ui) : ui_(std::move(ui)) {}

  time_point now() override { return now_; }
  void sleep_for(std::chrono::milliseconds duration) override {
    record_phase();
    now_ += duration;
    while (!events_.empty() && events_.begin()->first <= now_ - start_) {
      events_.begin()->second();
      events_.erase(events_.begin());
    }
  }
  void at(std::chrono::milliseconds when, std::function<void()> event) {
    events_.emplace(when, std::move(event));
  }
  std::chrono::milliseconds elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - start_);
  }
  // Offline countdown numbers as shown, without repeats.
  std::vector<std::uint32_t> countdown;
  std::vector<std::size_t> phases;  // distinct consecutive phase indices

  void record_phase() {
    if (!ui_) {
      return;
    }
    const UiSnapshot snapshot = take_snapshot(*ui_);
    if (phases.empty() || phases.back() != snapshot.phase.index()) {
      phases.push_back(snapshot.phase.index());
    }
    if (const auto* offline = std::get_if<Offline>(&snapshot.phase)) {
      if (countdown.empty() || countdown.back() != offline->seconds_left) {
        countdown.push_back(offline->seconds_left);
      }
    }
  }

 private:
  std::shared_ptr<LauncherUi> ui_;
  time_point start_ = time_point{} + 1h;
  time_point now_ = start_;
  std::multimap<std::chrono::milliseconds, std::function<void()>> events_;
};

class FakeStore final : public ReleaseStore {
 public:
  std::optional<std::string> installed;
  std::optional<std::string> current;
  std::map<std::string, ReleaseManifest> stored;
  std::vector<Status> stage_results;  // consumed in order; success when empty
  std::vector<std::string> calls;
  std::optional<std::string> current_after_lock;  // another launcher finished meanwhile
  std::shared_ptr<LauncherUi> ui;                 // to see what the progress reports show
  std::vector<Phase> shown;

  void acquire_update_lock() override {
    calls.push_back("lock");
    if (current_after_lock) {
      current = current_after_lock;
    }
  }
  std::optional<std::string> read_current_version() override { return current; }
  std::optional<ReleaseManifest> load_stored_manifest(
      const std::optional<std::string>& label) override {
    if (!label || !stored.count(*label)) {
      return std::nullopt;
    }
    return stored.at(*label);
  }
  std::optional<std::string> find_installed_version() override {
    calls.push_back("installed?");
    return installed;
  }
  ReuseIndex build_reuse_index(const std::optional<std::string>&,
                               const std::optional<ReleaseManifest>&) override {
    return {};
  }
  Status stage_version(UpdateClient&, const ReleaseManifest& manifest, const ReuseIndex&,
                       const ProgressSink& sink, const std::optional<std::string>&) override {
    calls.push_back("stage " + manifest.version);
    if (sink) {
      sink({0, 1000, 2});
      if (ui) {
        shown.push_back(take_snapshot(*ui).phase);
      }
      sink({600, 1000, 2});
      if (ui) {
        shown.push_back(take_snapshot(*ui).phase);
      }
    }
    if (!stage_results.empty()) {
      Status result = stage_results.front();
      stage_results.erase(stage_results.begin());
      if (!result) {
        return result;
      }
    }
    return {};
  }
  Status write_current_version(std::string_view label) override {
    current = std::string(label);
    installed = current;
    return {};
  }
  void prune_versions(std::string_view, const std::optional<std::string>&) override {}
};

class UpdateSessionTest : public testing::Test {
 protected:
  UpdateSessionTest() : ui_(std::make_shared<LauncherUi>()), clock_(ui_) {}

  std::optional<std::string> run(bool with_window = true, bool hidden = false) {
    SessionServices services{
        store_,
        [this](std::uint32_t timeout) -> Result<std::unique_ptr<UpdateClient>> {
          timeouts_.push_back(timeout);
          phases_when_fetching_.push_back(take_snapshot(*ui_).phase.index());
          if (!online_) {
            return fail("sem internet");
          }
          auto client = std::make_unique<FakeUpdateClient>();
          client->bodies["app/manifest.json"] = server_manifest_;
          return std::unique_ptr<UpdateClient>(std::move(client));
        },
        clock_, [this] { ++old_launcher_deletions_; }};
    return run_update_session(with_window ? ui_ : nullptr, hidden, services);
  }

  void install(const std::string& label, const std::string& program_digest = kA) {
    store_.installed = label;
    store_.current = label;
    store_.stored[label] = parse_release_manifest(manifest_document(label, program_digest)).value();
  }

  std::shared_ptr<LauncherUi> ui_;
  UserScript clock_;
  FakeStore store_;
  bool online_ = true;
  std::string server_manifest_ = manifest_document("2.0", kB);
  std::vector<std::uint32_t> timeouts_;
  std::vector<std::size_t> phases_when_fetching_;
  int old_launcher_deletions_ = 0;
};

TEST_F(UpdateSessionTest, AnUpToDateVersionStartsWithoutLockOrDownload) {
  install("2.0", kB);
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(store_.calls, std::vector<std::string>{"installed?"});
  EXPECT_EQ(timeouts_, std::vector<std::uint32_t>{3000});
  EXPECT_EQ(phases_when_fetching_, std::vector<std::size_t>{2}) << "Checking";
  EXPECT_EQ(take_snapshot(*ui_).version_text, "2.0");
  EXPECT_EQ(take_snapshot(*ui_).phase.index(), 2u);  // Checking, nothing after it
  EXPECT_EQ(old_launcher_deletions_, 1);
}

TEST_F(UpdateSessionTest, AHiddenStartWithAnIntactVersionAsksNobody) {
  install("1.0");
  EXPECT_EQ(run(false, true), "1.0");
  EXPECT_TRUE(timeouts_.empty());
}

TEST_F(UpdateSessionTest, AHiddenStartWithNothingAndNoNetworkEndsSilently) {
  online_ = false;
  EXPECT_EQ(run(false, true), std::nullopt);
  EXPECT_EQ(timeouts_, std::vector<std::uint32_t>{10000});
  EXPECT_EQ(clock_.elapsed(), 0ms) << "nobody is waited for";
}

TEST_F(UpdateSessionTest, AnUpdateShowsProgressThenUpdatedForSevenHundredMilliseconds) {
  install("1.0");
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(store_.calls, (std::vector<std::string>{"installed?", "lock", "stage 2.0"}));
  const UiSnapshot snapshot = take_snapshot(*ui_);
  EXPECT_EQ(snapshot.phase.index(), 4u);  // Updated
  EXPECT_EQ(snapshot.version_text, "2.0");
  EXPECT_EQ(clock_.elapsed(), 700ms);
}

TEST_F(UpdateSessionTest, TheProgressLabelNamesWhatChanges) {
  struct Case {
    std::string audio_digest;
    std::string program_digest;
    std::string label;
  };
  const Case cases[] = {{std::string(64, 'd'), kA, "Voz e live"},
                        {std::string(64, 'c'), kB, "O programa"}};
  for (const Case& c : cases) {
    FakeStore store;
    store.ui = ui_;
    store.installed = store.current = "1.0";
    store.stored["1.0"] = parse_release_manifest(manifest_document("1.0", kA)).value();
    store_ = store;
    server_manifest_ = manifest_document("1.1", c.program_digest, c.audio_digest);
    EXPECT_EQ(run(), "1.1");
    ASSERT_EQ(store_.shown.size(), 2u);
    const auto* updating = std::get_if<Updating>(&store_.shown[1]);
    ASSERT_NE(updating, nullptr);
    EXPECT_EQ(updating->label, c.label);
    EXPECT_EQ(updating->new_version, "1.1");
    EXPECT_EQ(updating->bytes_done, 600u);
    EXPECT_EQ(updating->bytes_total, 1000u);
    EXPECT_EQ(updating->file_count, 2u);
  }
}

TEST_F(UpdateSessionTest, AFailedUpdateShowsItsMessageThenStartsTheInstalledVersion) {
  install("1.0");
  store_.stage_results = {fail("a conexão caiu")};
  EXPECT_EQ(run(), "1.0");
  const auto failed = take_snapshot(*ui_).phase;
  ASSERT_TRUE(std::holds_alternative<Failed>(failed));
  EXPECT_EQ(std::get<Failed>(failed).title, "Não deu para atualizar");
  EXPECT_EQ(std::get<Failed>(failed).message, "a conexão caiu");
  EXPECT_TRUE(std::get<Failed>(failed).has_installed);
  EXPECT_EQ(clock_.elapsed(), 5s) << "after 5 s without a choice the installed version starts";
}

TEST_F(UpdateSessionTest, OfflineWithAVersionCountsDownFromFiveThenStartsIt) {
  install("1.0");
  online_ = false;
  EXPECT_EQ(run(), "1.0");
  EXPECT_EQ(clock_.countdown, (std::vector<std::uint32_t>{5, 4, 3, 2, 1}));
  EXPECT_EQ(clock_.elapsed(), 5s);
  EXPECT_EQ(timeouts_, std::vector<std::uint32_t>{3000});
}

TEST_F(UpdateSessionTest, OpenNowStartsTheInstalledVersionAtOnce) {
  install("1.0");
  online_ = false;
  clock_.at(1200ms, [this] { store_action(*ui_, OpenNow); });
  EXPECT_EQ(run(), "1.0");
  EXPECT_LT(clock_.elapsed(), 1400ms);
}

TEST_F(UpdateSessionTest, RetryAsksTheServerAgain) {
  install("1.0");
  online_ = false;
  clock_.at(500ms, [this] {
    online_ = true;
    store_action(*ui_, Retry);
  });
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(timeouts_, (std::vector<std::uint32_t>{3000, 3000}));
  EXPECT_EQ(old_launcher_deletions_, 1) << "once per session, not per attempt";
}

TEST_F(UpdateSessionTest, AFirstInstallWithoutNetworkRetriesEveryFifteenSecondsUntilClosed) {
  online_ = false;
  clock_.at(40s, [this] { mark_window_closed(*ui_); });
  EXPECT_EQ(run(), std::nullopt);
  EXPECT_EQ(timeouts_, (std::vector<std::uint32_t>{10000, 10000, 10000}));
  EXPECT_EQ(clock_.countdown.front(), 15u);
  EXPECT_EQ(phases_when_fetching_, (std::vector<std::size_t>{1, 1, 1}))
      << "Installing while the manifest is fetched";
}

TEST_F(UpdateSessionTest, AVersionWithAWrongSizeCountsAsNotInstalled) {
  // The store finds no intact version although a pointer exists.
  store_.current = "1.0";
  store_.stage_results = {fail("o servidor respondeu 404")};
  clock_.at(100ms, [this] { store_action(*ui_, Quit); });
  EXPECT_EQ(run(), std::nullopt);
  EXPECT_EQ(timeouts_, std::vector<std::uint32_t>{10000});
  const auto phase = take_snapshot(*ui_).phase;
  ASSERT_TRUE(std::holds_alternative<Failed>(phase));
  EXPECT_EQ(std::get<Failed>(phase).title, "Não deu para instalar");
  EXPECT_FALSE(std::get<Failed>(phase).has_installed);
}

TEST_F(UpdateSessionTest, AFailedFirstInstallTriesAgainAfterFifteenSeconds) {
  store_.stage_results = {fail("a conexão caiu")};
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(clock_.elapsed(), 15s + 700ms);
  EXPECT_EQ(store_.calls, (std::vector<std::string>{"installed?", "lock", "stage 2.0",
                                                   "installed?", "lock", "stage 2.0"}));
}

TEST_F(UpdateSessionTest, AReleaseInstalledByAnotherLauncherIsNotDownloaded) {
  install("1.0");
  store_.current_after_lock = "2.0";
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(store_.calls, (std::vector<std::string>{"installed?", "lock"}));
  EXPECT_EQ(take_snapshot(*ui_).phase.index(), 4u);
}

TEST_F(UpdateSessionTest, WithoutAWindowAFailureFallsBackToTheInstalledVersion) {
  install("1.0");
  store_.stage_results = {fail("a conexão caiu")};
  EXPECT_EQ(run(false), "1.0");
  EXPECT_EQ(clock_.elapsed(), 0ms);
}

TEST_F(UpdateSessionTest, AFirstInstallShowsInstallingWithTheAverageSpeed) {
  store_.ui = ui_;
  EXPECT_EQ(run(), "2.0");
  ASSERT_EQ(store_.shown.size(), 2u);
  const auto* installing = std::get_if<Installing>(&store_.shown[1]);
  ASSERT_NE(installing, nullptr);
  EXPECT_EQ(installing->bytes_done, 600u);
  EXPECT_EQ(installing->bytes_total, 1000u);
  // No virtual time passed since the first report: the elapsed time counts as 0.1 s.
  EXPECT_DOUBLE_EQ(installing->speed, 6000.0);
}

}  // namespace
}  // namespace nelo
