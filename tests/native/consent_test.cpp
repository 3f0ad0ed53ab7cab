#include "main/consent.h"

#include <gtest/gtest.h>

#include "tests/native/fake_clock.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;

// Plays a list of choices, one per poll, and counts the polls.
class ScriptedChoices final : public Clock {
 public:
  ScriptedChoices(LauncherUi& ui, std::vector<std::uint8_t> choices)
      : ui_(ui), choices_(std::move(choices)) {}
  time_point now() override { return clock_.now(); }
  void sleep_for(std::chrono::milliseconds duration) override {
    clock_.sleep_for(duration);
    if (next_ < choices_.size()) {
      const std::uint8_t choice = choices_[next_++];
      if (choice == Quit) {
        mark_window_closed(ui_);
      } else if (choice != NoAction) {
        store_action(ui_, choice);
      }
    }
  }
  testing_support::FakeClock clock_;

 private:
  LauncherUi& ui_;
  std::vector<std::uint8_t> choices_;
  std::size_t next_ = 0;
};

TEST(ConsentTest, AcceptingInstalls) {
  LauncherUi ui;
  ScriptedChoices clock(ui, {NoAction, NoAction, Accept});
  int terms = 0;
  EXPECT_TRUE(ask_for_consent(ui, clock, [&] { ++terms; }));
  EXPECT_EQ(terms, 0);
  EXPECT_EQ(clock.clock_.slept(), 300ms);
  EXPECT_TRUE(std::holds_alternative<Consent>(take_snapshot(ui).phase));
}

TEST(ConsentTest, TheTermsOpenAsOftenAsAskedAndTheQuestionStays) {
  LauncherUi ui;
  ScriptedChoices clock(ui, {OpenTerms, NoAction, OpenTerms, OpenTerms, Retry, Accept});
  int terms = 0;
  EXPECT_TRUE(ask_for_consent(ui, clock, [&] { ++terms; }));
  EXPECT_EQ(terms, 3);
}

TEST(ConsentTest, ClosingTheWindowRefuses) {
  LauncherUi ui;
  ScriptedChoices clock(ui, {NoAction, Quit});
  EXPECT_FALSE(ask_for_consent(ui, clock, [] {}));
}

}  // namespace
}  // namespace nelo
