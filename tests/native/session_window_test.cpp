#include "main/session_window.h"

#include <gtest/gtest.h>

#include "tests/native/fake_clock.h"
#include "tests/native/failure_screen.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeClock;

TEST(SessionWindowTest, ErrorWaitLastsEightSecondsWhenNobodyActs) {
  LauncherUi ui;
  FakeClock clock;
  show_error_and_wait(ui, "Não deu para abrir o Nelo", "arquivo faltando", clock);
  EXPECT_EQ(clock.slept(), 8000ms);
  EXPECT_EQ(clock.sleeps(), 80);
  const UiSnapshot snapshot = take_snapshot(ui);
  EXPECT_TRUE(snapshot.close_requested);
  EXPECT_TRUE(testing_support::shows_failure(
      snapshot, Failed{"arquivo faltando", "Não deu para abrir o Nelo", false}));
}

TEST(SessionWindowTest, ErrorWaitEndsAtThePollAfterTheFirstChoice) {
  LauncherUi ui;
  // The user chooses during the 25th pause; the next poll sees it.
  FakeClock clock;
  clock.on_sleep = [&ui](std::chrono::milliseconds slept) {
    if (slept == 2500ms) {
      store_action(ui, Retry);
    }
  };
  show_error_and_wait(ui, "t", "m", clock);
  EXPECT_EQ(clock.slept(), 2500ms);
  EXPECT_TRUE(take_snapshot(ui).close_requested);
  EXPECT_EQ(take_action(ui), NoAction);  // the choice was taken and discarded
}

TEST(SessionWindowTest, ErrorWaitEndsAtOnceWithoutAWindow) {
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

TEST(SessionWindowTest, InstallingSpeedIsTheAverageSinceTheStart) {
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

TEST(SessionWindowTest, UpdatingCarriesVersionLabelAndFileCount) {
  auto ui = std::make_shared<LauncherUi>();
  FakeClock clock;
  ProgressContext context = installing_context(ui, clock);
  context.has_installed = true;
  context.new_version = "2.1.0";
  context.label = "Sons e vídeo";
  publish_progress(context, {1'000, 4'000, 3});
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
