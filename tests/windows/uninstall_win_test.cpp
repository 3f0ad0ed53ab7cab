#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/unique_handle.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"
#include "install/shell_integration.h"
#include "main/run_modes.h"
#include "tests/windows/test_support.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using testing_support::launcher_exe;
using testing_support::read_user_key;
using testing_support::ScopedLocalAppData;
using testing_support::ScopedUserShell;
using testing_support::standin_exe;
using testing_support::StoredValue;
using testing_support::TempFolder;
using testing_support::write_file;
using testing_support::write_user_value;

constexpr DWORD kOwnExitCode = 7;

// Waits up to `limit` for `path` to disappear.
bool gone_within(const std::filesystem::path& path, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

class UninstallTest : public testing::Test {
 protected:
  // The root lies below a folder whose name holds blanks, '&' and parentheses, which the
  // removal command must hand to rmdir unchanged.
  UninstallTest() : user_shell_(temp_.path()), local_app_data_(temp_.path() / L"Dados & Cia (1)") {
    com_ = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  ~UninstallTest() override {
    if (app_ && ::WaitForSingleObject(app_.get(), 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(app_.get(), 99);
      ::WaitForSingleObject(app_.get(), 5000);
    }
    if (SUCCEEDED(com_)) {
      ::CoUninitialize();
    }
  }

  // An installation as the launcher leaves it, with the application running from version 1.0
  // until it ends by itself after `exit_after_ms`.
  void install_and_start(int exit_after_ms) {
    std::filesystem::create_directories(version_dir("1.0"));
    std::filesystem::copy_file(launcher_exe(), installed_launcher_path());
    std::filesystem::copy_file(standin_exe(), version_dir("1.0") / L"Nelo.exe");
    write_file(install_root() / L"current", "1.0");
    register_shell_integration("1.0");
    const std::wstring command = L"\"" + installed_launcher_path().wstring() + L"\" --hidden";
    const auto* bytes = reinterpret_cast<const BYTE*>(command.c_str());
    ASSERT_TRUE(write_user_value(
        testing_support::kRunKeyName, testing_support::kApplicationIdName,
        {REG_SZ, std::vector<BYTE>(bytes, bytes + (command.size() + 1) * sizeof(wchar_t))}));

    app_ = testing_support::start_standin(version_dir("1.0") / L"Nelo.exe", exit_after_ms,
                                          kOwnExitCode)
               .process;
    ASSERT_TRUE(app_);
  }

  TempFolder temp_;
  ScopedUserShell user_shell_;
  ScopedLocalAppData local_app_data_;
  unique_handle app_;
  HRESULT com_ = E_FAIL;
};

TEST_F(UninstallTest, RemovesTheIntegrationThenTheWholeRoot) {
  install_and_start(/*exit_after_ms=*/1000);
  ASSERT_EQ(shortcut_paths().size(), 2u);
  for (const auto& shortcut : shortcut_paths()) {
    ASSERT_TRUE(std::filesystem::exists(shortcut));
  }
  // A neighbour whose name begins like the root's stays.
  write_file(install_root().wstring() + L" Backup\\keep.txt", "keep");

  const auto began = std::chrono::steady_clock::now();
  run_uninstall_mode();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 4s) << "nothing waits for the removal";

  DWORD code = 0;
  ASSERT_EQ(::WaitForSingleObject(app_.get(), 0), WAIT_OBJECT_0) << "the application is gone";
  ::GetExitCodeProcess(app_.get(), &code);
  EXPECT_EQ(code, kOwnExitCode) << "it ended by itself and was not terminated";
  for (const auto& shortcut : shortcut_paths()) {
    EXPECT_FALSE(std::filesystem::exists(shortcut));
  }
  EXPECT_FALSE(read_user_key(testing_support::kUninstallKeyName));
  const auto autostart = read_user_key(testing_support::kRunKeyName);
  EXPECT_FALSE(autostart && autostart->contains(testing_support::kApplicationIdName));

  EXPECT_TRUE(std::filesystem::exists(install_root())) << "the removal waits about two seconds";
  EXPECT_TRUE(gone_within(install_root(), 15s)) << "the root is removed by the command";
  EXPECT_TRUE(std::filesystem::exists(install_root().wstring() + L" Backup\\keep.txt"));
}

TEST_F(UninstallTest, WithNothingInstalledEndsQuietlyAtOnceAndRemovesNoFolder) {
  // A folder "Nelo" without the launcher, the versions or the pointer is not known to be ours:
  // it stays, whatever it holds.
  write_file(install_root() / L"launcher.log", "janela: criar\n");
  const auto began = std::chrono::steady_clock::now();
  run_uninstall_mode();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 2s);
  EXPECT_FALSE(read_user_key(testing_support::kUninstallKeyName));
  EXPECT_TRUE(std::filesystem::is_empty(user_shell_.desktop()));
  EXPECT_TRUE(std::filesystem::is_empty(user_shell_.programs()));
  // (That no removal command starts at all is seen from outside, in the end-to-end test.)
  EXPECT_TRUE(std::filesystem::exists(install_root() / L"launcher.log"));
}

}  // namespace
}  // namespace nelo
