#include "ui/launcher_ui.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "tests/native/fake_clock.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeClock;

// A virtual clock whose sleeps first run a hook, so that a test can act while the waiter sleeps.
class ScriptedClock final : public Clock {
 public:
  explicit ScriptedClock(std::function<void(std::chrono::milliseconds)> on_sleep)
      : on_sleep_(std::move(on_sleep)) {}
  time_point now() override { return now_; }
  void sleep_for(std::chrono::milliseconds duration) override {
    now_ += duration;
    elapsed_ += duration;
    on_sleep_(elapsed_);
  }
  std::chrono::milliseconds elapsed() const { return elapsed_; }

 private:
  std::function<void(std::chrono::milliseconds)> on_sleep_;
  time_point now_ = time_point{} + std::chrono::hours(2);
  std::chrono::milliseconds elapsed_{0};
};

TEST(LauncherUiTest, StartsCheckingWithNothingPending) {
  LauncherUi ui;
  const UiSnapshot snapshot = take_snapshot(ui);
  EXPECT_TRUE(std::holds_alternative<Checking>(snapshot.phase));
  EXPECT_EQ(snapshot.version_text, "");
  EXPECT_FALSE(snapshot.close_requested);
  EXPECT_FALSE(ui.window_closed);
  EXPECT_EQ(ui.action, NoAction);
}

TEST(LauncherUiTest, PhaseNumbersAndActionCodesAreFixed) {
  EXPECT_EQ(Phase(Consent{}).index(), 0u);
  EXPECT_EQ(Phase(Installing{}).index(), 1u);
  EXPECT_EQ(Phase(Checking{}).index(), 2u);
  EXPECT_EQ(Phase(Updating{}).index(), 3u);
  EXPECT_EQ(Phase(Updated{}).index(), 4u);
  EXPECT_EQ(Phase(Launching{}).index(), 5u);
  EXPECT_EQ(Phase(Offline{}).index(), 6u);
  EXPECT_EQ(Phase(Failed{}).index(), 7u);
  EXPECT_EQ(OpenNow, 0);
  EXPECT_EQ(Retry, 1);
  EXPECT_EQ(Accept, 2);
  EXPECT_EQ(OpenTerms, 3);
  EXPECT_EQ(Quit, 4);
  EXPECT_EQ(NoAction, 255);
}

TEST(LauncherUiTest, SetPhaseReplacesThePayload) {
  LauncherUi ui;
  set_phase(ui, Updating{"2.0", "o app", 5, 10, 3});
  set_phase(ui, Failed{"sem internet", "Não deu para atualizar", true});
  const UiSnapshot snapshot = take_snapshot(ui);
  const auto* failed = std::get_if<Failed>(&snapshot.phase);
  ASSERT_NE(failed, nullptr);
  EXPECT_EQ(failed->message, "sem internet");
  EXPECT_EQ(failed->title, "Não deu para atualizar");
  EXPECT_TRUE(failed->has_installed);
}

TEST(LauncherUiTest, VersionTextIsCopied) {
  LauncherUi ui;
  std::string text = "1.4.2";
  set_version_text(ui, text);
  text = "changed";
  EXPECT_EQ(take_snapshot(ui).version_text, "1.4.2");
  set_version_text(ui, "");
  EXPECT_EQ(take_snapshot(ui).version_text, "");
}

TEST(LauncherUiTest, TakeActionTakesAndClears) {
  LauncherUi ui;
  EXPECT_EQ(take_action(ui), NoAction);
  EXPECT_EQ(ui.action, NoAction);
  store_action(ui, Retry);
  EXPECT_EQ(take_action(ui), Retry);
  EXPECT_EQ(take_action(ui), NoAction);
}

TEST(LauncherUiTest, TheLastChoiceBeforeAPollWins) {
  LauncherUi ui;
  store_action(ui, OpenNow);
  store_action(ui, Retry);
  EXPECT_EQ(take_action(ui), Retry);
  EXPECT_EQ(take_action(ui), NoAction);
}

TEST(LauncherUiTest, AClosedWindowReadsAsQuitWhateverWasStored) {
  LauncherUi ui;
  store_action(ui, Accept);
  mark_window_closed(ui);
  EXPECT_EQ(take_action(ui), Quit);
  EXPECT_EQ(take_action(ui), Quit);
  EXPECT_EQ(ui.action, Accept);  // left untouched
}

TEST(LauncherUiTest, RequestCloseReachesTheSnapshot) {
  LauncherUi ui;
  request_close(ui);
  EXPECT_TRUE(take_snapshot(ui).close_requested);
}

TEST(LauncherUiTest, ErrorWaitLastsEightSecondsWhenNobodyActs) {
  LauncherUi ui;
  FakeClock clock;
  show_error_and_wait(ui, "Não deu para abrir o Nelo", "arquivo faltando", clock);
  EXPECT_EQ(clock.slept(), 8000ms);
  EXPECT_EQ(clock.sleeps(), 80);
  const UiSnapshot snapshot = take_snapshot(ui);
  EXPECT_TRUE(snapshot.close_requested);
  const auto* failed = std::get_if<Failed>(&snapshot.phase);
  ASSERT_NE(failed, nullptr);
  EXPECT_EQ(failed->title, "Não deu para abrir o Nelo");
  EXPECT_EQ(failed->message, "arquivo faltando");
  EXPECT_FALSE(failed->has_installed);
}

TEST(LauncherUiTest, ErrorWaitEndsAtThePollAfterTheFirstChoice) {
  LauncherUi ui;
  // The user chooses during the 25th pause; the next poll sees it.
  ScriptedClock clock([&ui](std::chrono::milliseconds elapsed) {
    if (elapsed == 2500ms) {
      store_action(ui, Retry);
    }
  });
  show_error_and_wait(ui, "t", "m", clock);
  EXPECT_EQ(clock.elapsed(), 2500ms);
  EXPECT_TRUE(take_snapshot(ui).close_requested);
  EXPECT_EQ(take_action(ui), NoAction);  // the choice was taken and discarded
}

TEST(LauncherUiTest, ErrorWaitEndsAtOnceWithoutAWindow) {
  LauncherUi ui;
  mark_window_closed(ui);
  FakeClock clock;
  show_error_and_wait(ui, "t", "m", clock);
  EXPECT_EQ(clock.sleeps(), 0);
  EXPECT_TRUE(take_snapshot(ui).close_requested);
}

ProgressContext installing_context(std::shared_ptr<LauncherUi> ui, FakeClock& clock) {
  ProgressContext context;
  context.ui = std::move(ui);
  context.clock = &clock;
  context.started = clock.now();
  context.has_installed = false;
  return context;
}

TEST(LauncherUiTest, InstallingSpeedIsTheAverageSinceTheStart) {
  struct Case {
    std::chrono::milliseconds elapsed;
    std::uint64_t bytes_done;
    double speed;
  };
  const Case cases[] = {
      {2000ms, 3'000'000, 1'500'000},  // 3 MB in 2 s
      {4000ms, 3'000'000, 750'000},    // the same bytes later: the average falls
      {1250ms, 2'500'000, 2'000'000},  // the fraction of a second counts
      {100ms, 50'000, 500'000},        // exactly the floor
      {30ms, 50'000, 500'000},         // below 0.1 s: divided by 0.1 s, not 0.03 s
      {0ms, 50'000, 500'000},          // at the very start: never a division by zero
      {1500ms, 0, 0},
  };
  for (const Case& c : cases) {
    auto ui = std::make_shared<LauncherUi>();
    FakeClock clock;
    const ProgressContext context = installing_context(ui, clock);
    clock.advance(c.elapsed);
    publish_progress(context, {c.bytes_done, 85'000'000, 12});
    const UiSnapshot snapshot = take_snapshot(*ui);
    const auto* installing = std::get_if<Installing>(&snapshot.phase);
    ASSERT_NE(installing, nullptr);
    EXPECT_EQ(installing->bytes_done, c.bytes_done);
    EXPECT_EQ(installing->bytes_total, 85'000'000u);
    EXPECT_DOUBLE_EQ(installing->speed, c.speed) << c.elapsed.count() << " ms";
  }
}

TEST(LauncherUiTest, UpdatingCarriesVersionLabelAndFileCount) {
  auto ui = std::make_shared<LauncherUi>();
  FakeClock clock;
  ProgressContext context = installing_context(ui, clock);
  context.has_installed = true;
  context.new_version = "2.1.0";
  context.label = "Sons e vídeo";
  const ProgressSink sink = progress_sink(context);
  sink({1'000, 4'000, 3});
  const UiSnapshot snapshot = take_snapshot(*ui);
  const auto* updating = std::get_if<Updating>(&snapshot.phase);
  ASSERT_NE(updating, nullptr);
  EXPECT_EQ(updating->new_version, "2.1.0");
  EXPECT_EQ(updating->label, "Sons e vídeo");
  EXPECT_EQ(updating->bytes_done, 1'000u);
  EXPECT_EQ(updating->bytes_total, 4'000u);
  EXPECT_EQ(updating->file_count, 3u);
}

}  // namespace
}  // namespace nelo
