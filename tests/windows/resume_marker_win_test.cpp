#include "install/resume_marker.h"

#include <gtest/gtest.h>

#include "base/unique_handle.h"
#include "tests/windows/test_support.h"

namespace nelo {
namespace {

using testing_support::ScopedEnvironment;
using testing_support::TempFolder;
using testing_support::write_file;

constexpr std::int64_t kSecond = 10'000'000;

// Sets the last-write time of `path` to `age` before now (negative: in the future).
void age_by(const std::filesystem::path& path, std::int64_t age) {
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  const std::int64_t value =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
                                now.dwLowDateTime) -
      age;
  FILETIME written{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
  unique_file file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_TRUE(file);
  ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &written));
}

class ResumeMarkerWinTest : public testing::Test {
 protected:
  ResumeMarkerWinTest() : app_data_(L"APPDATA", temp_.path().wstring()) {}
  std::filesystem::path marker() const { return temp_.path() / L"Nelo" / L"resume.json"; }

  TempFolder temp_;
  ScopedEnvironment app_data_;
};

TEST_F(ResumeMarkerWinTest, OnlyTheAgeOfTheMarkerCounts) {
  EXPECT_FALSE(resume_is_fresh()) << "no marker";
  write_file(marker(), "");  // content is never read
  age_by(marker(), 10 * kSecond);
  EXPECT_TRUE(resume_is_fresh());
  age_by(marker(), 301 * kSecond);
  EXPECT_FALSE(resume_is_fresh());
  age_by(marker(), -60 * kSecond);
  EXPECT_FALSE(resume_is_fresh()) << "written in the future";
}

TEST_F(ResumeMarkerWinTest, AFolderOfThatNameCountsToo) {
  std::filesystem::create_directories(marker());
  age_by(marker(), 60 * kSecond);
  EXPECT_TRUE(resume_is_fresh());
}

TEST(ResumeMarkerPathTest, WithoutAppDataTheMarkerIsBelowTheCurrentFolder) {
  TempFolder temp;
  ScopedEnvironment unset(L"APPDATA", std::nullopt);
  wchar_t previous[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(temp.path().c_str()));
  EXPECT_FALSE(resume_is_fresh());
  write_file(temp.path() / L"Nelo" / L"resume.json", "{}");
  EXPECT_TRUE(resume_is_fresh());
  ::SetCurrentDirectoryW(previous);
}

}  // namespace
}  // namespace nelo
