#include "install/launcher_log.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/system_error_win.h"
#include "base/unique_handle.h"
#include "tests/windows/test_support.h"
#include "ui/launcher_window_win.h"

namespace nelo {
namespace {

using testing_support::read_file;
using testing_support::ScopedLocalAppData;
using testing_support::TempFolder;
using testing_support::write_file;

class LauncherLogTest : public ::testing::Test {
 protected:
  std::filesystem::path root() const { return local_app_data_.root(); }
  std::filesystem::path log_path() const { return root() / L"launcher.log"; }

  TempFolder temp_;
  ScopedLocalAppData local_app_data_{temp_.path()};
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}

TEST_F(LauncherLogTest, FirstLineCreatesTheRootAndTheFile) {
  ASSERT_FALSE(std::filesystem::exists(root()));
  const auto before = static_cast<long long>(std::time(nullptr));
  append_log_line("janela: criar Acesso negado. (0x80070005)");
  const auto after = static_cast<long long>(std::time(nullptr));
  const std::string text = read_file(log_path());
  std::smatch match;
  ASSERT_TRUE(std::regex_match(text, match, std::regex("([0-9]+) (.*)\n"))) << text;
  EXPECT_EQ(match[2].str(), "janela: criar Acesso negado. (0x80070005)");
  const long long stamp = std::stoll(match[1].str());
  EXPECT_GE(stamp, before - 1);
  EXPECT_LE(stamp, after + 1);
  EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST_F(LauncherLogTest, LinesGoAtTheEndOfWhatIsThere) {
  write_file(log_path(), "1 earlier line\n");
  append_log_line("janela: desenho 0x88990001");
  append_log_line("two  blanks  kept ");
  const std::vector<std::string> lines = lines_of(read_file(log_path()));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "1 earlier line");
  EXPECT_TRUE(std::regex_match(lines[1], std::regex("[0-9]+ janela: desenho 0x88990001")));
  EXPECT_TRUE(std::regex_match(lines[2], std::regex("[0-9]+ two  blanks  kept ")));
}

TEST_F(LauncherLogTest, WritesWhileOthersHaveTheFileOpen) {
  write_file(log_path(), "");
  // A reader that shares reading, writing and deleting, as a log viewer would.
  unique_file reader(::CreateFileW(log_path().c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reader);
  append_log_line("while read");
  EXPECT_EQ(lines_of(read_file(log_path())).size(), 1u);
}

TEST_F(LauncherLogTest, ALockedFileLosesTheLineSilently) {
  write_file(log_path(), "1 kept\n");
  {
    unique_file locked(::CreateFileW(log_path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locked);
    append_log_line("lost");
  }
  EXPECT_EQ(read_file(log_path()), "1 kept\n");
}

TEST_F(LauncherLogTest, AReadOnlyFileLosesTheLineSilently) {
  write_file(log_path(), "1 kept\n");
  ASSERT_TRUE(::SetFileAttributesW(log_path().c_str(), FILE_ATTRIBUTE_READONLY));
  {
    // Wine maps the attribute to Unix permissions, which a superuser does not obey.
    unique_file probe(
        ::CreateFileW(log_path().c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (probe) {
      probe.reset();
      ::SetFileAttributesW(log_path().c_str(), FILE_ATTRIBUTE_NORMAL);
      GTEST_SKIP() << "read-only files are writable here";
    }
  }
  append_log_line("lost");
  EXPECT_EQ(read_file(log_path()), "1 kept\n");
  ::SetFileAttributesW(log_path().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(LauncherLogTest, ARootThatCannotBeMadeIsNoFailure) {
  // LOCALAPPDATA below a plain file: neither the root nor the log can exist.
  write_file(temp_.path() / L"file", "x");
  ScopedLocalAppData blocked(temp_.path() / L"file");
  append_log_line("nowhere to go");
  EXPECT_EQ(read_file(temp_.path() / L"file"), "x");
}

TEST_F(LauncherLogTest, LinesOfSimultaneousWritersStayWhole) {
  std::vector<std::thread> writers;
  for (int writer = 0; writer < 4; ++writer) {
    writers.emplace_back([writer] {
      for (int i = 0; i < 25; ++i) {
        append_log_line("writer " + std::to_string(writer) + " line " + std::to_string(i));
      }
    });
  }
  for (std::thread& writer : writers) {
    writer.join();
  }
  const std::vector<std::string> lines = lines_of(read_file(log_path()));
  ASSERT_EQ(lines.size(), 100u);
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line, std::regex("[0-9]+ writer [0-3] line [0-9]+"))) << line;
  }
}

TEST(LauncherLogErrorTextTest, SystemMessageThenTheCode) {
  const std::string out_of_memory = hresult_text(E_OUTOFMEMORY);
  EXPECT_TRUE(out_of_memory.ends_with(" (0x8007000E)")) << out_of_memory;
  EXPECT_GT(out_of_memory.size(), std::string(" (0x8007000E)").size());
  EXPECT_EQ(out_of_memory.find('\n'), std::string::npos);
  const std::string denied = hresult_text(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(denied.ends_with(" (0x80070005)")) << denied;
  EXPECT_GT(denied.size(), std::string(" (0x80070005)").size());
}

TEST(LauncherLogErrorTextTest, ACodeWithoutMessageIsTheCodeAlone) {
  EXPECT_EQ(hresult_text(static_cast<HRESULT>(0x2000FFFF)), "0x2000FFFF");
}

}  // namespace
}  // namespace nelo
