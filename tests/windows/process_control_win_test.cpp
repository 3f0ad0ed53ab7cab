#include "install/process_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "base/unique_handle.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"
#include "tests/native/fake_clock.h"
#include "tests/windows/test_support.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeClock;
using testing_support::ScopedLocalAppData;
using testing_support::standin_exe;
using testing_support::TempFolder;

// The stand-in's exit code when it ends by itself, so that a termination (code 0) shows.
constexpr DWORD kOwnExitCode = 7;

struct Program {
  unique_handle process;
  DWORD id = 0;
};

bool contains(const std::vector<ProcessId>& ids, DWORD id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

class ProcessControlTest : public testing::Test {
 protected:
  ~ProcessControlTest() override {
    // Whatever a failed test left running is ended, so that the folder can go.
    for (Program& program : started_) {
      if (::WaitForSingleObject(program.process.get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(program.process.get(), 99);
        ::WaitForSingleObject(program.process.get(), 5000);
      }
    }
  }

  // Copies the stand-in to `program` and starts it there; it ends by itself after
  // `exit_after_ms` with kOwnExitCode, or runs on until it is ended.
  const Program& start(const std::filesystem::path& program, int exit_after_ms = 60000) {
    testing_support::StartedStandin started =
        testing_support::start_standin(program, exit_after_ms, kOwnExitCode);
    EXPECT_TRUE(started.process) << to_utf8(program.wstring());
    started_.push_back(Program{std::move(started.process), started.id});
    return started_.back();
  }

  static bool running(const Program& program) {
    return ::WaitForSingleObject(program.process.get(), 0) == WAIT_TIMEOUT;
  }

  static DWORD exit_code_after_end(const Program& program) {
    EXPECT_EQ(::WaitForSingleObject(program.process.get(), 10000), WAIT_OBJECT_0);
    DWORD code = 12345;
    ::GetExitCodeProcess(program.process.get(), &code);
    return code;
  }

  std::filesystem::path in_version(const wchar_t* label) const {
    return versions_dir() / label / L"Nelo.exe";
  }

  TempFolder temp_;
  ScopedLocalAppData local_app_data_{temp_.path()};
  std::deque<Program> started_;  // a deque keeps the references handed out valid
};

TEST_F(ProcessControlTest, FindsTheProgramsOfTheVersions) {
  const Program& app = start(in_version(L"1.0.0"));
  const Program& module = start(versions_dir() / L"1.0.0" / L"resources" / L"nelo-media.exe");
  const auto found = find_processes_under(versions_dir());
  EXPECT_TRUE(contains(found, app.id));
  EXPECT_TRUE(contains(found, module.id));
  EXPECT_EQ(found.size(), 2u);
}

TEST_F(ProcessControlTest, MatchesAFolderGivenInOtherLetterCase) {
  const Program& app = start(in_version(L"1.0.0"));
  std::wstring upper = versions_dir().wstring();
  std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
  });
  ASSERT_NE(upper, versions_dir().wstring());
  EXPECT_EQ(find_processes_under(upper), std::vector<ProcessId>{app.id});
}

TEST_F(ProcessControlTest, MatchesAnImagePathInOtherLetterCase) {
  // The program lies in "VERSIONS" while the folder asked for is "versions".
  const Program& app = start(install_root() / L"VERSIONS" / L"1.0.0" / L"Nelo.exe");
  EXPECT_EQ(find_processes_under(versions_dir()), std::vector<ProcessId>{app.id});
}

TEST_F(ProcessControlTest, FindsASiblingFolderWhoseNameExtendsTheFolder) {
  const Program& app = start(install_root() / L"versions-old" / L"Nelo.exe");
  EXPECT_EQ(find_processes_under(versions_dir()), std::vector<ProcessId>{app.id});
}

TEST_F(ProcessControlTest, LeavesTheInstalledLauncherInTheRootOut) {
  start(installed_launcher_path());
  EXPECT_TRUE(find_processes_under(versions_dir()).empty());
}

TEST_F(ProcessControlTest, NeverListsItsOwnProcess) {
  // An empty folder is the start of every path: everything that can be inspected matches.
  const Program& other = start(in_version(L"1.0.0"));
  const auto everything = find_processes_under(std::filesystem::path());
  EXPECT_TRUE(contains(everything, other.id));
  EXPECT_FALSE(contains(everything, ::GetCurrentProcessId()));
}

TEST_F(ProcessControlTest, TerminatesWithExitCodeZero) {
  const Program& app = start(in_version(L"1.0.0"));
  EXPECT_TRUE(terminate_process_under(app.id, FolderPrefix(as_utf16(versions_dir().native()))));
  EXPECT_FALSE(running(app)) << "the termination is waited for";
  EXPECT_EQ(exit_code_after_end(app), 0u);
}

TEST_F(ProcessControlTest, DoesNotTerminateAnIdThatNoLongerNamesAProgramOfTheFolder) {
  // As when the process found has ended and its id went to another program meanwhile.
  const Program& launcher = start(installed_launcher_path());
  EXPECT_FALSE(
      terminate_process_under(launcher.id, FolderPrefix(as_utf16(versions_dir().native()))));
  EXPECT_TRUE(running(launcher));
}

TEST_F(ProcessControlTest, StopsWhatStillRunsFromTheVersionsAfterTheGrace) {
  const Program& app = start(in_version(L"2.0.0"));
  const Program& module = start(versions_dir() / L"2.0.0" / L"resources" / L"nelo-audio.exe");
  const Program& launcher = start(installed_launcher_path());
  FakeClock clock;
  stop_installed_processes(clock);
  EXPECT_EQ(clock.slept(), 5000ms);
  EXPECT_EQ(exit_code_after_end(app), 0u);
  EXPECT_EQ(exit_code_after_end(module), 0u);
  EXPECT_TRUE(running(launcher)) << "the launcher in the root is never stopped";
}

TEST_F(ProcessControlTest, WithNothingRunningTheStepIsOverAtOnce) {
  start(installed_launcher_path());
  SteadyClock clock;
  const auto began = std::chrono::steady_clock::now();
  stop_installed_processes(clock);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
}

// The two cases below wait in real time.

TEST_F(ProcessControlTest, AnApplicationEndingWithinTheGraceIsNotTerminated) {
  const Program& app = start(in_version(L"1.0.0"), /*exit_after_ms=*/1500);
  SteadyClock clock;
  const auto began = std::chrono::steady_clock::now();
  stop_installed_processes(clock);
  const auto took = std::chrono::steady_clock::now() - began;
  EXPECT_EQ(exit_code_after_end(app), kOwnExitCode) << "it ended by itself";
  EXPECT_GT(took, 1000ms);
  EXPECT_LT(took, 3500ms) << "the step ends at the first empty scan";
}

TEST_F(ProcessControlTest, AnApplicationThatKeepsRunningIsTerminatedAfterFiveSeconds) {
  const Program& app = start(in_version(L"1.0.0"));
  SteadyClock clock;
  const auto began = std::chrono::steady_clock::now();
  stop_installed_processes(clock);
  const auto took = std::chrono::steady_clock::now() - began;
  EXPECT_EQ(exit_code_after_end(app), 0u);
  EXPECT_GE(took, 5000ms);
  EXPECT_LT(took, 8500ms);
}

}  // namespace
}  // namespace nelo
