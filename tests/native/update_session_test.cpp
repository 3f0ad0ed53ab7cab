#include "main/update_session.h"

#include <gtest/gtest.h>

#include <map>

#include "install/rollout_share.h"
#include "tests/native/fake_clock.h"
#include "tests/native/failure_screen.h"
#include "tests/native/fake_update_client.h"
#include "tests/native/fake_version_store.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeClock;
using testing_support::FakeUpdateClient;
using testing_support::FakeVersionStore;
using testing_support::ReleaseFiles;

// A release of the program and one of the two media programs.
ReleaseFiles release_files(const std::string& program, const std::string& audio = "audio") {
  return {{"Nelo.exe", program}, {"resources/nelo-audio.exe", audio}};
}

// The user, acting at given instants while the session waits, and a record of every phase the
// window was asked to show.
class UserScript {
 public:
  UserScript(std::shared_ptr<LauncherUi> ui, FakeClock& clock) : ui_(std::move(ui)) {
    clock.on_sleep = [this](std::chrono::milliseconds slept) {
      record_phase();
      while (!events_.empty() && events_.begin()->first <= slept) {
        events_.begin()->second();
        events_.erase(events_.begin());
      }
    };
  }

  void at(std::chrono::milliseconds when, std::function<void()> event) {
    events_.emplace(when, std::move(event));
  }
  // Offline countdown numbers as shown, without repeats.
  std::vector<std::uint32_t> countdown;

 private:
  void record_phase() {
    const UiSnapshot snapshot = take_snapshot(*ui_);
    if (const auto* offline = std::get_if<Offline>(&snapshot.phase)) {
      if (countdown.empty() || countdown.back() != offline->seconds_left) {
        countdown.push_back(offline->seconds_left);
      }
    }
  }

  std::shared_ptr<LauncherUi> ui_;
  std::multimap<std::chrono::milliseconds, std::function<void()>> events_;
};

class UpdateSessionTest : public testing::Test {
 protected:
  UpdateSessionTest() : ui_(std::make_shared<LauncherUi>()), user_(ui_, clock_) {}

  // Each client serves the server's release; one made while `failures_` is not empty fails
  // every file with the front message.
  Result<std::unique_ptr<UpdateClient>> open_client(std::uint32_t timeout) {
    timeouts_.push_back(timeout);
    phases_when_fetching_.push_back(take_snapshot(*ui_).phase.index());
    if (!online_) {
      return fail("sem internet");
    }
    auto client = std::make_unique<FakeUpdateClient>();
    const ReleaseManifest manifest =
        testing_support::publish_release(server_version_, server_files_, *client, rollout_);
    client->bodies["app/manifest.json"] = manifest.document;
    if (!failures_.empty()) {
      for (const ManifestFile& file : manifest.files) {
        client->failures["app/files/" + file.sha256] = failures_.front();
      }
      failures_.erase(failures_.begin());
    }
    client->on_request = [this](const std::string& path) {
      if (path.starts_with("app/files/")) {
        shown_.push_back(take_snapshot(*ui_).phase);
      }
    };
    return std::unique_ptr<UpdateClient>(std::move(client));
  }

  std::optional<std::string> run() {
    SessionServices services{store_, [this](std::uint32_t timeout) { return open_client(timeout); },
                             clock_};
    std::optional<std::string> target = run_update_session(ui_, services);
    release_ = services.release ? std::optional(services.release->version) : std::nullopt;
    return target;
  }

  std::optional<std::string> run_quietly() {
    return run_quiet_session(store_,
                             [this](std::uint32_t timeout) { return open_client(timeout); });
  }

  std::shared_ptr<LauncherUi> ui_;
  FakeClock clock_;
  UserScript user_;
  FakeVersionStore store_;
  bool online_ = true;
  std::string server_version_ = "2.0";
  ReleaseFiles server_files_ = release_files("program 2");
  std::optional<int> rollout_;
  std::vector<std::string> failures_;
  std::vector<std::uint32_t> timeouts_;
  std::vector<std::size_t> phases_when_fetching_;
  std::vector<Phase> shown_;  // the phase as each file's download begins
  // The version of the release the session handed on for the launcher's update, if any.
  std::optional<std::string> release_;
};

// The session hands on the server's release (whose launcher the normal mode puts in place after
// the launch) only when it ends with that release current: never when it falls back.
TEST_F(UpdateSessionTest, HandsOnTheReleaseOnlyWhenItEndsWithIt) {
  store_.install("2.0", release_files("program 2"));
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(release_, "2.0") << "current already";

  store_.install("1.0", release_files("program 1"));
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(release_, "2.0") << "installed now";

  store_.install("1.0", release_files("program 1"));
  store_.discard_folder("/v/2.0");  // else it is whole, and made current without a download
  failures_ = {"a conexão caiu"};
  EXPECT_EQ(run(), "1.0");
  EXPECT_EQ(release_, std::nullopt) << "a failed update starts the installed version";

  online_ = false;
  EXPECT_EQ(run(), "1.0");
  EXPECT_EQ(release_, std::nullopt) << "offline";

  online_ = true;
  const int place = static_cast<int>(rollout_place(installation_identity(store_), "2.0"));
  rollout_ = place;
  EXPECT_EQ(run(), "1.0");
  EXPECT_EQ(release_, std::nullopt) << "outside the release's share";
}

TEST_F(UpdateSessionTest, AnUpToDateVersionStartsWithoutLockOrDownload) {
  store_.install("2.0", release_files("program 2"));
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(store_.calls, std::vector<std::string>{"installed?"});
  EXPECT_EQ(timeouts_, std::vector<std::uint32_t>{3000});
  EXPECT_EQ(phases_when_fetching_, std::vector<std::size_t>{2}) << "Checking";
  EXPECT_EQ(take_snapshot(*ui_).version_text, "2.0");
  EXPECT_EQ(take_snapshot(*ui_).phase.index(), 2u);  // Checking, nothing after it
}

TEST_F(UpdateSessionTest, AReleaseOutsideTheInstallationsShareLeavesTheInstalledVersion) {
  store_.install("1.0", release_files("program 1"));
  const int place = static_cast<int>(rollout_place(installation_identity(store_), "2.0"));
  store_.calls.clear();
  rollout_ = place;  // the places below it
  EXPECT_EQ(run(), "1.0");
  EXPECT_EQ(store_.calls, std::vector<std::string>{"installed?"}) << "no lock, no download";
  rollout_ = place + 1;  // raised: now this installation's place is in
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(store_.read_current_version(), "2.0");
}

TEST_F(UpdateSessionTest, AFirstInstallInstallsAReleaseWhateverItsShare) {
  rollout_ = 0;  // halted: no installed version takes it, but nothing else can be installed
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(store_.read_current_version(), "2.0");
}

TEST_F(UpdateSessionTest, AHiddenStartWithAnIntactVersionAsksNobody) {
  store_.install("1.0", release_files("program 1"));
  EXPECT_EQ(run_quietly(), "1.0");
  EXPECT_TRUE(timeouts_.empty());
}

TEST_F(UpdateSessionTest, AHiddenStartWithNothingAndNoNetworkEndsSilently) {
  online_ = false;
  EXPECT_EQ(run_quietly(), std::nullopt);
  EXPECT_EQ(timeouts_, std::vector<std::uint32_t>{10000});
  EXPECT_EQ(clock_.slept(), 0ms) << "nobody is waited for";
}

TEST_F(UpdateSessionTest, AHiddenStartWithNothingInstallsTheCurrentRelease) {
  EXPECT_EQ(run_quietly(), "2.0");
  EXPECT_EQ(store_.current, "2.0");
  EXPECT_EQ(timeouts_, std::vector<std::uint32_t>{10000});
}

TEST_F(UpdateSessionTest, AnUpdateShowsProgressThenUpdatedForSevenHundredMilliseconds) {
  store_.install("1.0", release_files("program 1"));
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(store_.calls, (std::vector<std::string>{"installed?", "lock", "read", "index 1.0",
                                                    "switch 2.0", "prune 2.0 1.0"}));
  const UiSnapshot snapshot = take_snapshot(*ui_);
  EXPECT_EQ(snapshot.phase.index(), 4u);  // Updated
  EXPECT_EQ(snapshot.version_text, "2.0");
  EXPECT_EQ(clock_.slept(), 700ms);
}

TEST_F(UpdateSessionTest, TheProgressLabelNamesWhatChanges) {
  struct Case {
    ReleaseFiles files;
    std::string label;
    std::uint64_t file_count;  // what the staging fetches: the unchanged program is taken over
  };
  const Case cases[] = {{release_files("program 1", "audio 2"), "Voz e live", 1},
                        {release_files("program 2", "audio"), "O programa", 1},
                        {release_files("program 2", "audio 2"), "O programa", 2}};
  for (const Case& c : cases) {
    store_ = FakeVersionStore();
    store_.install("1.0", release_files("program 1"));
    shown_.clear();
    server_version_ = "1.1";
    server_files_ = c.files;
    EXPECT_EQ(run(), "1.1");
    ASSERT_EQ(shown_.size(), c.file_count);
    const auto* updating = std::get_if<Updating>(&shown_.front());
    ASSERT_NE(updating, nullptr);
    EXPECT_EQ(updating->label, c.label);
    EXPECT_EQ(updating->new_version, "1.1");
    EXPECT_EQ(updating->bytes_done, 0u);
    EXPECT_GT(updating->bytes_total, 0u);
    EXPECT_EQ(updating->file_count, c.file_count);
  }
}

TEST_F(UpdateSessionTest, AFailedUpdateShowsItsMessageThenStartsTheInstalledVersion) {
  store_.install("1.0", release_files("program 1"));
  store_.discard_folder("/v/2.0");  // else it is whole, and made current without a download
  failures_ = {"a conexão caiu"};
  EXPECT_EQ(run(), "1.0");
  EXPECT_TRUE(testing_support::shows_failure(
      take_snapshot(*ui_), Failed{"a conexão caiu", "Não deu para atualizar", true}));
  EXPECT_EQ(clock_.slept(), 5s) << "after 5 s without a choice the installed version starts";
}

TEST_F(UpdateSessionTest, OfflineWithAVersionCountsDownFromFiveThenStartsIt) {
  store_.install("1.0", release_files("program 1"));
  online_ = false;
  EXPECT_EQ(run(), "1.0");
  EXPECT_EQ(user_.countdown, (std::vector<std::uint32_t>{5, 4, 3, 2, 1}));
  EXPECT_EQ(clock_.slept(), 5s);
  EXPECT_EQ(timeouts_, std::vector<std::uint32_t>{3000});
}

TEST_F(UpdateSessionTest, OpenNowStartsTheInstalledVersionAtOnce) {
  store_.install("1.0", release_files("program 1"));
  online_ = false;
  user_.at(1200ms, [this] { store_action(*ui_, OpenNow); });
  EXPECT_EQ(run(), "1.0");
  EXPECT_LT(clock_.slept(), 1400ms);
}

TEST_F(UpdateSessionTest, RetryAsksTheServerAgain) {
  store_.install("1.0", release_files("program 1"));
  online_ = false;
  user_.at(500ms, [this] {
    online_ = true;
    store_action(*ui_, Retry);
  });
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(timeouts_, (std::vector<std::uint32_t>{3000, 3000}));
}

TEST_F(UpdateSessionTest, AFirstInstallWithoutNetworkRetriesEveryFifteenSecondsUntilClosed) {
  online_ = false;
  user_.at(40s, [this] { mark_window_closed(*ui_); });
  EXPECT_EQ(run(), std::nullopt);
  EXPECT_EQ(timeouts_, (std::vector<std::uint32_t>{10000, 10000, 10000}));
  EXPECT_EQ(user_.countdown.front(), 15u);
  EXPECT_EQ(phases_when_fetching_, (std::vector<std::size_t>{1, 1, 1}))
      << "Installing while the manifest is fetched";
}

TEST_F(UpdateSessionTest, AVersionWithAWrongSizeCountsAsNotInstalled) {
  // The store finds no intact version although a pointer exists.
  store_.install("1.0", release_files("program 1"));
  store_.torn.insert("1.0");
  failures_ = {"o servidor respondeu 404"};
  user_.at(100ms, [this] { store_action(*ui_, Quit); });
  EXPECT_EQ(run(), std::nullopt);
  EXPECT_EQ(timeouts_, std::vector<std::uint32_t>{10000});
  const auto phase = take_snapshot(*ui_).phase;
  ASSERT_TRUE(std::holds_alternative<Failed>(phase));
  EXPECT_EQ(std::get<Failed>(phase).title, "Não deu para instalar");
  EXPECT_FALSE(std::get<Failed>(phase).has_installed);
}

TEST_F(UpdateSessionTest, AFailedFirstInstallTriesAgainAfterFifteenSeconds) {
  failures_ = {"a conexão caiu"};
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(clock_.slept(), 15s + 700ms);
  EXPECT_EQ(store_.calls,
            (std::vector<std::string>{"installed?", "lock", "read", "index -", "installed?", "lock",
                                      "read", "index -", "switch 2.0", "prune 2.0 -"}));
}

TEST_F(UpdateSessionTest, AReleaseInstalledByAnotherLauncherIsNotDownloaded) {
  store_.install("1.0", release_files("program 1"));
  store_.current_after_lock = "2.0";
  EXPECT_EQ(run(), "2.0");
  EXPECT_EQ(store_.calls, (std::vector<std::string>{"installed?", "lock", "read", "installed?"}));
  EXPECT_TRUE(shown_.empty()) << "nothing downloaded";
  EXPECT_EQ(take_snapshot(*ui_).phase.index(), 4u);
}

TEST_F(UpdateSessionTest, AHiddenStartWhoseInstallFailsEndsSilently) {
  failures_ = {"a conexão caiu"};
  EXPECT_EQ(run_quietly(), std::nullopt);
  EXPECT_EQ(store_.current, std::nullopt);
  EXPECT_EQ(clock_.slept(), 0ms);
}

TEST_F(UpdateSessionTest, AFirstInstallShowsInstallingWithTheAverageSpeed) {
  EXPECT_EQ(run(), "2.0");
  ASSERT_EQ(shown_.size(), 2u);
  const auto* installing = std::get_if<Installing>(&shown_[1]);
  ASSERT_NE(installing, nullptr);
  EXPECT_GT(installing->bytes_done, 0u) << "the first file has arrived";
  EXPECT_GT(installing->bytes_total, installing->bytes_done);
  // No virtual time passed since the first report: the elapsed time counts as 0.1 s.
  EXPECT_DOUBLE_EQ(installing->speed, static_cast<double>(installing->bytes_done) / 0.1);
}

}  // namespace
}  // namespace nelo
