#include "install/process_control.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/native/fake_clock.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeClock;

struct PrefixCase {
  const char* what;
  std::u16string folder;
  std::u16string image_path;
  bool contained;
};

TEST(FolderPrefixTest, MatchesImagePathsAsLowerCasedText) {
  const std::u16string versions = u"C:\\Users\\Ana\\AppData\\Local\\Nelo\\versions";
  const PrefixCase cases[] = {
      {"a program of a version", versions, versions + u"\\1.0.0\\Nelo.exe", true},
      {"a module program", versions, versions + u"\\1.0.0\\resources\\nelo-media.exe", true},
      {"other capitals", versions, u"c:\\USERS\\ana\\appdata\\LOCAL\\NELO\\Versions\\1\\n.exe",
       true},
      {"the folder itself", versions, versions, true},
      {"a sibling whose name extends the folder's", versions,
       u"C:\\Users\\Ana\\AppData\\Local\\Nelo\\versions2\\Nelo.exe", true},
      {"a sibling with a suffix", versions,
       u"C:\\Users\\Ana\\AppData\\Local\\Nelo\\versions.old\\Nelo.exe", true},
      {"the installed launcher in the root", versions,
       u"C:\\Users\\Ana\\AppData\\Local\\Nelo\\Nelo.exe", false},
      {"a shorter name", versions, u"C:\\Users\\Ana\\AppData\\Local\\Nelo\\version", false},
      {"another user", versions, u"C:\\Users\\Bia\\AppData\\Local\\Nelo\\versions\\1\\N.exe",
       false},
      {"no path at all", versions, u"", false},
      {"accented capitals", u"C:\\Users\\JOÃO\\Nelo\\versions",
       u"c:\\users\\joão\\nelo\\versions\\1\\Nelo.exe", true},
      {"Cyrillic capitals", u"C:\\Users\\ИВАН\\Nelo\\versions",
       u"C:\\Users\\иван\\Nelo\\VERSIONS\\1\\Nelo.exe", true},
      {"Greek capitals", u"C:\\Users\\ΝΙΚΟΣ\\Nelo\\versions",
       u"C:\\Users\\νικοσ\\Nelo\\versions\\1\\Nelo.exe", true},
      {"a different letter that is not a case pair", u"C:\\Users\\Ivan\\versions",
       u"C:\\Users\\Ivаn\\versions\\1\\Nelo.exe", false},  // Cyrillic а
      {"capital I with dot", u"C:\\Users\\İpek\\versions",
       u"C:\\Users\\i\u0307pek\\versions\\1\\Nelo.exe", true},
      {"capital I with dot is not a plain i", u"C:\\Users\\İpek\\versions",
       u"C:\\Users\\ipek\\versions\\1\\Nelo.exe", false},
      {"ill-formed UTF-16 on both sides", std::u16string{u'C', u':', 0xD800},
       std::u16string{u'c', u':', 0xDC00, u'\\'}, true},
  };
  for (const PrefixCase& test : cases) {
    EXPECT_EQ(FolderPrefix(test.folder).contains(test.image_path), test.contained) << test.what;
  }
}

// Processes that come and go on the fake clock: each lives from the start until `ends_at`.
class FakeProcesses final : public ProcessTable {
 public:
  struct Process {
    ProcessId id;
    std::chrono::milliseconds ends_at;
  };

  FakeProcesses(FakeClock& clock, std::vector<Process> processes_at_start)
      : processes(std::move(processes_at_start)), clock_(clock), start_(clock.now()) {}

  std::vector<ProcessId> scan() override {
    scan_times.push_back(elapsed());
    std::vector<ProcessId> running;
    for (const Process& process : processes) {
      if (elapsed() < process.ends_at) {
        running.push_back(process.id);
      }
    }
    clock_.advance(scan_cost);
    if (after_scan) {
      after_scan(*this);
    }
    return running;
  }

  void terminate(ProcessId id) override {
    terminated.push_back(id);
    terminate_times.push_back(elapsed());
  }

  std::chrono::milliseconds elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now() - start_);
  }

  std::vector<Process> processes;
  std::vector<std::chrono::milliseconds> scan_times;
  std::vector<ProcessId> terminated;
  std::vector<std::chrono::milliseconds> terminate_times;
  std::chrono::milliseconds scan_cost{0};
  std::function<void(FakeProcesses&)> after_scan;

 private:
  FakeClock& clock_;
  Clock::time_point start_;
};

constexpr auto kForever = std::chrono::milliseconds(std::chrono::hours(1));

TEST(StopProcessesTest, NothingRunningTakesOneScanAndTheLastOne) {
  FakeClock clock;
  FakeProcesses table(clock, {});
  stop_processes(table, clock);
  EXPECT_EQ(table.scan_times, (std::vector<std::chrono::milliseconds>{0ms, 0ms}));
  EXPECT_EQ(clock.sleeps(), 0);
  EXPECT_TRUE(table.terminated.empty());
}

TEST(StopProcessesTest, AnApplicationThatEndsWithinTheGraceIsNotTerminated) {
  FakeClock clock;
  FakeProcesses table(clock, {{4242, 2000ms}});
  stop_processes(table, clock);
  EXPECT_TRUE(table.terminated.empty());
  // Scans every 250 ms until the first empty one, at 2 s, then the last one.
  ASSERT_EQ(table.scan_times.size(), 10u);
  for (size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(table.scan_times[i], std::chrono::milliseconds(250 * i));
  }
  EXPECT_EQ(table.scan_times.back(), 2000ms);
  EXPECT_EQ(clock.slept(), 2000ms);
}

TEST(StopProcessesTest, ProcessesStillRunningAfterFiveSecondsAreTerminatedInOrder) {
  FakeClock clock;
  FakeProcesses table(clock, {{30, kForever}, {10, kForever}, {20, 1000ms}});
  stop_processes(table, clock);
  EXPECT_EQ(table.terminated, (std::vector<ProcessId>{30, 10}));
  // Twenty scans in the grace (0 to 4750 ms), none at the deadline, then the last one.
  ASSERT_EQ(table.scan_times.size(), 21u);
  EXPECT_EQ(table.scan_times[19], 4750ms);
  EXPECT_EQ(table.scan_times[20], 5000ms);
  EXPECT_EQ(table.terminate_times.front(), 5000ms);
  EXPECT_EQ(clock.sleeps(), 20);
}

TEST(StopProcessesTest, OnlyWhatTheLastScanFindsIsTerminated) {
  FakeClock clock;
  FakeProcesses table(clock, {{1, 4900ms}, {2, kForever}});
  // A process that appears after the grace is found by the last scan as well.
  table.after_scan = [](FakeProcesses& self) {
    if (self.scan_times.size() == 20) {
      self.processes.push_back({3, kForever});
    }
  };
  stop_processes(table, clock);
  EXPECT_EQ(table.terminated, (std::vector<ProcessId>{2, 3}));
}

TEST(StopProcessesTest, SlowScansDoNotStretchTheGrace) {
  FakeClock clock;
  FakeProcesses table(clock, {{7, kForever}});
  table.scan_cost = 400ms;
  stop_processes(table, clock);
  // Each round costs 650 ms: rounds start at 0, 650, ... 4550; the one after 5 s is the last.
  ASSERT_EQ(table.scan_times.size(), 9u);
  EXPECT_EQ(table.scan_times[7], 4550ms);
  EXPECT_EQ(table.scan_times[8], 5200ms);
  EXPECT_EQ(table.terminated, (std::vector<ProcessId>{7}));
}

}  // namespace
}  // namespace nelo
