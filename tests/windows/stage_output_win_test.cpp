// The program is a GUI-subsystem executable, yet the stage mode's lines must reach a parent
// that reads its standard output through a pipe.
#include <gtest/gtest.h>

#include "tests/windows/test_support.h"

namespace nelo {
namespace {

using testing_support::launcher_exe;
using testing_support::run_and_capture;
using testing_support::ScopedEnvironment;

std::wstring quoted_launcher() {
  return L"\"" + launcher_exe().wstring() + L"\"";
}

TEST(StageOutputTest, AnErrorLineReachesThePipe) {
  ScopedEnvironment empty_base(L"NELO_UPDATE_BASE", L"");
  const auto run = run_and_capture(quoted_launcher() + L" --stage");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.output, "error endereço\n");
}

TEST(StageOutputTest, APortThatIsNoNumberIsReported) {
  ScopedEnvironment base(L"NELO_UPDATE_BASE", L"http://127.0.0.1:http/");
  const auto run = run_and_capture(quoted_launcher() + L" --hidden --stage");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.output, "error porta\n");
}

TEST(StageOutputTest, UninstallWinsAndWritesNothing) {
  // The uninstall removes the user's shortcuts and entry: hold the shell for this test alone.
  testing_support::TempFolder shell_folder;
  testing_support::ScopedUserShell shell(shell_folder.path());
  ScopedEnvironment empty_base(L"NELO_UPDATE_BASE", L"");
  ScopedEnvironment no_root(L"LOCALAPPDATA", L"Z:\\nonexistent-nelo-test-root");
  const auto run = run_and_capture(quoted_launcher() + L" --stage --uninstall");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.output, "");
}

TEST(StageOutputTest, TheProgramNameIsNoMode) {
  // Started under the name "--stage", the program runs the normal mode, which writes nothing.
  ScopedEnvironment empty_base(L"NELO_UPDATE_BASE", L"");
  ScopedEnvironment no_root(L"LOCALAPPDATA", L"Z:\\nonexistent-nelo-test-root");
  const auto run = run_and_capture(L"--stage --hidden", 60000, launcher_exe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.output, "");
}

}  // namespace
}  // namespace nelo
