// A file that another process holds open for a moment, as an antivirus scanner does: the update
// path's renames and deletes wait it out instead of failing.
#include "base/file_system_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/process_start_win.h"
#include "tests/expect_ok.h"
#include "tests/windows/test_support.h"

namespace nelo {
namespace {

using testing_support::read_file;
using testing_support::ScopedEnvironment;
using testing_support::standin_exe;
using testing_support::TempFolder;
using testing_support::write_file;

// Starts a second process that opens `file` without sharing delete or write, for `hold_ms`; gives
// once it holds the file.
StartedProcess hold_in_another_process(const std::filesystem::path& file, int hold_ms) {
  ScopedEnvironment path(L"NELO_STANDIN_HOLD_FILE", file.wstring());
  ScopedEnvironment duration(L"NELO_STANDIN_HOLD_MS", std::to_wstring(hold_ms));
  ScopedEnvironment no_log(L"NELO_STANDIN_LOG", std::nullopt);
  auto started =
      start_process(standin_exe(), L"\"" + standin_exe().wstring() + L"\"", file.parent_path());
  EXPECT_OK(started);
  std::filesystem::path marker = file;
  marker += L".held";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!std::filesystem::exists(marker) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(std::filesystem::exists(marker)) << "the second process never held the file";
  return std::move(started).value();
}

TEST(HeldFileTest, ARenameWaitsForTheProcessThatHoldsTheFile) {
  TempFolder temp;
  const std::filesystem::path fresh = temp.path() / L"fresh.bin";
  const std::filesystem::path target = temp.path() / L"target.bin";
  write_file(fresh, "new content");
  write_file(target, "old content");
  StartedProcess holder = hold_in_another_process(fresh, 1500);
  // One plain try while the file is held: Wine refuses it as Windows does.
  const bool plain = ::MoveFileExW(fresh.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
  const DWORD plain_error = ::GetLastError();
  if (plain) {
    ::WaitForSingleObject(holder.process.get(), 30000);
    GTEST_SKIP() << "this system lets a rename through while another process holds the file "
                    "without sharing delete; the retry is tested over a fake clock only";
  }
  EXPECT_EQ(plain_error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  ASSERT_OK(replace_by_rename(fresh, target));
  EXPECT_EQ(read_file(target), "new content");
  EXPECT_FALSE(std::filesystem::exists(fresh));
  EXPECT_EQ(::WaitForSingleObject(holder.process.get(), 30000), WAIT_OBJECT_0);
}

TEST(HeldFileTest, ADeleteWaitsForTheProcessThatHoldsTheFile) {
  TempFolder temp;
  const std::filesystem::path kept = temp.path() / L"kept.bin";
  write_file(kept, "scanned");
  StartedProcess holder = hold_in_another_process(kept, 1000);
  EXPECT_TRUE(delete_file_name(kept));
  EXPECT_FALSE(std::filesystem::exists(kept));
  ::WaitForSingleObject(holder.process.get(), 30000);
}

TEST(HeldFileTest, AnotherFailureKeepsItsOwnCode) {
  TempFolder temp;
  const Status missing = replace_by_rename(temp.path() / L"none", temp.path() / L"target");
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("os error 2)"), std::string::npos) << missing.message();
}

}  // namespace
}  // namespace nelo
