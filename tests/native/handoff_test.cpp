#include "main/handoff.h"

#include <gtest/gtest.h>

#include "tests/native/fake_clock.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeClock;

// A process whose windows and life are a function of the time since its start.
class ScriptedProbe final : public HandoffProbe {
 public:
  using WindowScript = bool (*)(std::chrono::milliseconds);
  using StateScript = ChildState (*)(std::chrono::milliseconds);

  ScriptedProbe(FakeClock& clock, WindowScript window, StateScript state)
      : clock_(clock), start_(clock.now()), window_(window), state_(state) {}

  bool main_window_visible() override { return window_(elapsed()); }
  ChildState child_state() override { return state_(elapsed()); }

 private:
  std::chrono::milliseconds elapsed() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now() - start_);
  }
  FakeClock& clock_;
  Clock::time_point start_;
  WindowScript window_;
  StateScript state_;
};

ChildState running(std::chrono::milliseconds) {
  return ChildState::Running;
}

TEST(HandoffTest, WaitsForTheMainWindowAfterTheSplash) {
  FakeClock clock;
  // The splash (too narrow) does not count; the main window appears at 2.5 s.
  ScriptedProbe probe(
      clock, [](std::chrono::milliseconds t) { return t >= 2500ms; }, running);
  EXPECT_EQ(wait_for_handoff(probe, clock, clock.now()), HandoffEnd::MainWindow);
  EXPECT_GE(clock.slept(), 2500ms);
  EXPECT_LT(clock.slept(), 2600ms);
}

TEST(HandoffTest, AnApplicationThatEndsEndsTheWaitAtOnce) {
  FakeClock clock;
  ScriptedProbe probe(
      clock, [](std::chrono::milliseconds) { return false; },
      [](std::chrono::milliseconds) { return ChildState::Ended; });
  EXPECT_EQ(wait_for_handoff(probe, clock, clock.now()), HandoffEnd::ChildEnded);
  EXPECT_EQ(clock.sleeps(), 0);
}

TEST(HandoffTest, AnApplicationEndingLaterIsSeenWithinOnePoll) {
  FakeClock clock;
  ScriptedProbe probe(
      clock, [](std::chrono::milliseconds) { return false; },
      [](std::chrono::milliseconds t) {
        return t >= 1250ms ? ChildState::Ended : ChildState::Running;
      });
  EXPECT_EQ(wait_for_handoff(probe, clock, clock.now()), HandoffEnd::ChildEnded);
  EXPECT_LE(clock.slept(), 1300ms);
}

TEST(HandoffTest, AFailedQuestionEndsTheWait) {
  FakeClock clock;
  ScriptedProbe probe(
      clock, [](std::chrono::milliseconds) { return false; },
      [](std::chrono::milliseconds) { return ChildState::Unknown; });
  EXPECT_EQ(wait_for_handoff(probe, clock, clock.now()), HandoffEnd::WaitFailed);
}

TEST(HandoffTest, HiddenWindowsEndAtTheDeadline) {
  FakeClock clock;
  ScriptedProbe probe(
      clock, [](std::chrono::milliseconds) { return false; }, running);
  EXPECT_EQ(wait_for_handoff(probe, clock, clock.now()), HandoffEnd::Deadline);
  EXPECT_GE(clock.slept(), 40s);
  EXPECT_LE(clock.slept(), 40100ms);
  EXPECT_EQ(clock.sleeps(), 401);  // every 100 ms, the last poll just past 40 s
}

TEST(HandoffTest, TheDeadlineRunsFromTheStartOfTheApplication) {
  FakeClock clock;
  const Clock::time_point started = clock.now();
  clock.advance(39950ms);
  ScriptedProbe probe(
      clock, [](std::chrono::milliseconds) { return false; }, running);
  EXPECT_EQ(wait_for_handoff(probe, clock, started), HandoffEnd::Deadline);
  EXPECT_EQ(clock.sleeps(), 1);
}

TEST(HandoffTest, TheWindowRule) {
  EXPECT_TRUE(is_main_window(true, true, true, 100, 401));
  EXPECT_TRUE(is_main_window(true, true, true, -50, 974));
  EXPECT_FALSE(is_main_window(true, true, true, 100, 400));  // a 300-pixel splash
  EXPECT_FALSE(is_main_window(true, false, true, 0, 1024));  // hidden
  EXPECT_FALSE(is_main_window(false, true, true, 0, 1024));  // another process
  EXPECT_FALSE(is_main_window(true, true, false, 0, 1024));  // rectangle unknown: width 0
}

}  // namespace
}  // namespace nelo
