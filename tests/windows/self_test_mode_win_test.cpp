// The self-test an updater runs before it installs a launcher: one line, naming the keys.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/windows/test_support.h"

namespace nelo {
namespace {

using testing_support::launcher_exe;
using testing_support::run_and_capture;
using testing_support::TempFolder;

std::wstring quoted(const std::filesystem::path& program) {
  return L"\"" + program.wstring() + L"\"";
}

TEST(SelfTestModeTest, TheBuiltLauncherPassesAndSaysItHasNoKeys) {
  const auto run = run_and_capture(quoted(launcher_exe()) + L" --self-test");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.output, "self-test ok keys 0\n");
}

TEST(SelfTestModeTest, TheLauncherBuiltWithKeysNamesThem) {
  const std::filesystem::path signed_launcher =
      launcher_exe().parent_path() / L"tests" / L"fixtures" / L"Nelo-Setup-signed.exe";
  if (!std::filesystem::exists(signed_launcher)) {
    GTEST_SKIP() << "built without minisign";
  }
  const auto run = run_and_capture(quoted(signed_launcher) + L" --self-test --uninstall");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.output, "self-test ok keys 2\n") << "the self-test wins over every other mode";
}

TEST(SelfTestModeTest, AProgramCutShortNeverReportsOk) {
  TempFolder temp;
  const std::filesystem::path cut = temp.path() / L"Nelo-Setup.exe";
  std::filesystem::copy_file(launcher_exe(), cut);
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
  const auto run = run_and_capture(quoted(cut) + L" --self-test", 20000);
  EXPECT_EQ(run.output.find("self-test ok"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace nelo
