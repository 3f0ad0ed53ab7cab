#include "main/app_process_win.h"

#include <gtest/gtest.h>

#include "base/system_error_win.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"
#include "tests/expect_ok.h"
#include "tests/native/fake_clock.h"
#include "tests/windows/test_support.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using testing_support::read_file;
using testing_support::ScopedEnvironment;
using testing_support::ScopedLocalAppData;
using testing_support::standin_exe;
using testing_support::TempFolder;

std::string json_string(std::wstring_view text) {
  std::string out = "\"";
  for (char c : to_utf8(text)) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
    }
    out.push_back(c);
  }
  return out + "\"";
}

class AppProcessTest : public testing::Test {
 protected:
  AppProcessTest() : log_(L"NELO_STANDIN_LOG", (temp_.path() / L"standin.jsonl").wstring()) {}

  std::filesystem::path install(std::string_view label) {
    const std::filesystem::path folder = version_dir(label);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(standin_exe(), folder / L"Nelo.exe");
    return folder;
  }

  std::string standin_log() { return read_file(temp_.path() / L"standin.jsonl"); }

  static void wait_for_exit(const AppProcess& app) {
    ASSERT_EQ(::WaitForSingleObject(app.process.get(), 20000), WAIT_OBJECT_0);
  }

  TempFolder temp_;
  ScopedLocalAppData local_app_data_{temp_.path()};
  ScopedEnvironment log_;
  SteadyClock clock_;
};

TEST_F(AppProcessTest, StartsTheProgramOfTheVersionWithHiddenAsItsOnlyArgument) {
  const std::filesystem::path folder = install("1.0");
  auto app = start_app("1.0", /*hidden=*/true, clock_);
  ASSERT_OK(app);
  wait_for_exit(*app);
  const std::wstring program = (folder / L"Nelo.exe").wstring();
  const std::string log = standin_log();
  EXPECT_NE(log.find("\"cmdline\": " + json_string(L"\"" + program + L"\" --hidden") + ","),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("\"cwd\": " + json_string(folder.wstring())), std::string::npos) << log;
}

TEST_F(AppProcessTest, AVisibleStartPassesNoArgument) {
  const std::filesystem::path folder = install("2.0 beta");
  auto app = start_app("2.0 beta", /*hidden=*/false, clock_);
  ASSERT_OK(app);
  wait_for_exit(*app);
  const std::wstring program = (folder / L"Nelo.exe").wstring();
  EXPECT_NE(standin_log().find("\"cmdline\": " + json_string(L"\"" + program + L"\"") + ","),
            std::string::npos)
      << standin_log();
}

TEST_F(AppProcessTest, AMissingProgramGivesTheSystemText) {
  std::filesystem::create_directories(version_dir("3.0"));
  auto app = start_app("3.0", false, clock_);
  ASSERT_FALSE(app.ok());
  EXPECT_EQ(app.message(), system_error_text(ERROR_FILE_NOT_FOUND));
}

TEST_F(AppProcessTest, TheHandoffWaitsPastTheSplashForTheMainWindow) {
  install("1.0");
  ScopedEnvironment mode(L"NELO_STANDIN_MODE", L"windows");
  ScopedEnvironment splash(L"NELO_STANDIN_SPLASH_DELAY_MS", L"0");
  ScopedEnvironment main_window(L"NELO_STANDIN_MAIN_DELAY_MS", L"1500");
  ScopedEnvironment exit_after(L"NELO_STANDIN_EXIT_AFTER_MS", L"15000");
  auto app = start_app("1.0", false, clock_);
  ASSERT_OK(app);
  EXPECT_EQ(wait_for_app_window(*app, clock_), HandoffEnd::MainWindow);
  EXPECT_GE(clock_.now() - app->started, 1400ms) << "the 300-pixel splash must not end the wait";
  ::TerminateProcess(app->process.get(), 0);
}

TEST_F(AppProcessTest, AnApplicationThatExitsAtOnceEndsTheWaitQuickly) {
  install("1.0");
  auto app = start_app("1.0", false, clock_);
  ASSERT_OK(app);
  EXPECT_EQ(wait_for_app_window(*app, clock_), HandoffEnd::ChildEnded);
  // The process start itself takes a while under Wine; the wait adds at most one poll.
  EXPECT_LT(clock_.now() - app->started, 3s);
}

TEST_F(AppProcessTest, HiddenWindowsLastUntilTheDeadline) {
  install("1.0");
  ScopedEnvironment mode(L"NELO_STANDIN_MODE", L"hidden");
  ScopedEnvironment exit_after(L"NELO_STANDIN_EXIT_AFTER_MS", L"30000");
  testing_support::FakeClock virtual_clock;
  auto app = start_app("1.0", false, virtual_clock);
  ASSERT_OK(app);
  EXPECT_EQ(wait_for_app_window(*app, virtual_clock), HandoffEnd::Deadline);
  EXPECT_GE(virtual_clock.slept(), 40s);
  DWORD exit_code = 0;
  ASSERT_TRUE(::GetExitCodeProcess(app->process.get(), &exit_code));
  EXPECT_EQ(exit_code, STILL_ACTIVE) << "the application keeps running";
  ::TerminateProcess(app->process.get(), 0);
}

}  // namespace
}  // namespace nelo
