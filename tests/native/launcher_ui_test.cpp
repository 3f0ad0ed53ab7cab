#include "ui/launcher_ui.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/native/failure_screen.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;

TEST(LauncherUiTest, StartsCheckingWithNothingPending) {
  LauncherUi ui;
  const UiSnapshot snapshot = take_snapshot(ui);
  EXPECT_TRUE(std::holds_alternative<Checking>(snapshot.phase));
  EXPECT_EQ(snapshot.version_text, "");
  EXPECT_FALSE(snapshot.close_requested);
  EXPECT_FALSE(ui.window_closed);
  EXPECT_EQ(ui.action, NoAction);
}

TEST(LauncherUiTest, SetPhaseReplacesThePayload) {
  LauncherUi ui;
  set_phase(ui, Updating{"2.0", "o app", 5, 10, 3});
  set_phase(ui, Failed{"sem internet", "Não deu para atualizar", true});
  const UiSnapshot snapshot = take_snapshot(ui);
  EXPECT_TRUE(testing_support::shows_failure(
      snapshot, Failed{"sem internet", "Não deu para atualizar", true}));
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

}  // namespace
}  // namespace nelo
