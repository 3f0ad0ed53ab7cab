#include "install/version_store_win.h"

#include <gtest/gtest.h>

#include "base/wide_text_win.h"
#include "install/install_layout.h"
#include "tests/expect_ok.h"
#include "tests/windows/test_support.h"

namespace nelo {
namespace {

using testing_support::read_file;
using testing_support::ScopedEnvironment;
using testing_support::TempFolder;
using testing_support::write_file;

class CurrentPointerTest : public testing::Test {
 protected:
  std::filesystem::path root() const { return temp_.path() / L"Nelo"; }
  void install_version(std::string_view label) {
    write_file(root() / L"versions" / to_wide(label) / L"Nelo.exe", "MZ");
  }
  void write_pointer(std::string_view bytes) { write_file(root() / L"current", bytes); }

  TempFolder temp_;
  WindowsVersionStore store_{root()};
};

TEST_F(CurrentPointerTest, PathsLieBelowLocalAppData) {
  ScopedEnvironment local_app_data(L"LOCALAPPDATA", temp_.path().wstring());
  EXPECT_EQ(install_root(), root());
  EXPECT_EQ(versions_dir(), root() / L"versions");
  EXPECT_EQ(version_dir("1.2.3"), root() / L"versions" / L"1.2.3");
  EXPECT_EQ(installed_launcher_path(), root() / L"Nelo.exe");
  EXPECT_FALSE(std::filesystem::exists(root())) << "working out the root never creates it";
}

TEST_F(CurrentPointerTest, ReadsThePointer) {
  install_version("1.2.3");
  struct Case {
    std::string bytes;
    std::optional<std::string> label;
  };
  const Case cases[] = {
      {"1.2.3", "1.2.3"},      {"1.2.3\r\n", "1.2.3"}, {"  1.2.3 \t", "1.2.3"},
      {"", std::nullopt},      {"   ", std::nullopt},  {"1.2.3\xFF", std::nullopt},
      {"9.9.9", std::nullopt},  // no such version folder
  };
  for (const Case& c : cases) {
    write_pointer(c.bytes);
    EXPECT_EQ(store_.read_current_version(), c.label) << testing::PrintToString(c.bytes);
  }
}

TEST_F(CurrentPointerTest, AMissingPointerOrProgramReadsAsNothing) {
  EXPECT_EQ(store_.read_current_version(), std::nullopt);
  std::filesystem::create_directories(root() / L"versions" / L"2.0");
  write_pointer("2.0");
  EXPECT_EQ(store_.read_current_version(), std::nullopt) << "the folder lacks Nelo.exe";
  install_version("2.0");
  EXPECT_EQ(store_.read_current_version(), "2.0");
}

TEST_F(CurrentPointerTest, AWriteReplacesThePointerWhole) {
  install_version("1.2.3");
  write_pointer("0.9");
  ASSERT_OK(store_.write_current_version("1.2.3"));
  EXPECT_EQ(read_file(root() / L"current"), "1.2.3");
  EXPECT_FALSE(std::filesystem::exists(root() / L"current.tmp"));
  EXPECT_EQ(store_.read_current_version(), "1.2.3");
}

TEST_F(CurrentPointerTest, LabelsWithBlanksAndAccentsRoundTrip) {
  for (const std::string label : {"2.0 beta", "versão ção", "日本"}) {
    install_version(label);
    ASSERT_OK(store_.write_current_version(label)) << label;
    EXPECT_EQ(read_file(root() / L"current"), label);
    EXPECT_EQ(store_.read_current_version(), label);
  }
}

TEST_F(CurrentPointerTest, AFailedWriteSaysWhyAndKeepsTheOldPointer) {
  install_version("1.0");
  ASSERT_OK(store_.write_current_version("1.0"));
  // A folder in the way of "current.tmp" makes the write fail.
  std::filesystem::create_directories(root() / L"current.tmp");
  const Status status = store_.write_current_version("2.0");
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message().rfind("gravar: ", 0), 0u) << status.message();
  EXPECT_NE(status.message().find("(os error "), std::string::npos) << status.message();
  EXPECT_EQ(read_file(root() / L"current"), "1.0");
}

TEST_F(CurrentPointerTest, WithoutTheRootTheWriteFails) {
  const Status status = store_.write_current_version("1.0");
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message().rfind("gravar: ", 0), 0u);
}

TEST(InstallRootTest, WithoutLocalAppDataTheRootIsBelowTheCurrentFolder) {
  TempFolder temp;
  ScopedEnvironment unset(L"LOCALAPPDATA", std::nullopt);
  EXPECT_EQ(install_root(), std::filesystem::path(L".") / L"Nelo");

  wchar_t previous[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(temp.path().c_str()));
  write_file(temp.path() / L"Nelo" / L"versions" / L"3.0" / L"Nelo.exe", "MZ");
  write_file(temp.path() / L"Nelo" / L"current", "3.0\n");
  WindowsVersionStore store(install_root());
  EXPECT_EQ(store.read_current_version(), "3.0");
  EXPECT_OK(store.write_current_version("3.0"));
  EXPECT_EQ(read_file(temp.path() / L"Nelo" / L"current"), "3.0");
  ::SetCurrentDirectoryW(previous);
}

TEST(InstallRootTest, ABrokenLocalAppDataCountsAsUnset) {
  std::wstring broken = L"C:\\x";
  broken.push_back(static_cast<wchar_t>(0xD800));
  ScopedEnvironment set(L"LOCALAPPDATA", broken);
  EXPECT_EQ(install_root(), std::filesystem::path(L".") / L"Nelo");
}

}  // namespace
}  // namespace nelo
