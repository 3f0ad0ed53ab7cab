#include "main/launcher_update_win.h"

#include <string>

#include "base/file_system_win.h"
#include "base/process_start_win.h"
#include "base/system_error_win.h"
#include "base/unique_handle.h"
#include "release/release_signature.h"

namespace nelo {
namespace {

// A self-test that has not ended by then never will: the program is not put in place.
constexpr DWORD kSelfTestDeadlineMs = 15000;
// A self-test prints one short line; anything longer is not one.
constexpr DWORD kMostSelfTestOutput = 4096;

class WindowsLauncherPlace final : public LauncherPlace {
 public:
  explicit WindowsLauncherPlace(WindowsVersionStore& store) : store_(store) {}

  std::filesystem::path installed_path() override { return store_.root() / L"Nelo.exe"; }
  std::filesystem::path fresh_path() override { return store_.root() / L"Nelo.exe.new"; }
  std::filesystem::path old_path() { return store_.root() / L"Nelo.exe.old"; }

  std::optional<std::uint64_t> installed_size() override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(installed_path().c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  bool try_update_lock() override { return store_.try_update_lock(); }

  Result<std::string> run_self_test(const std::filesystem::path& program) override {
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!::CreatePipe(&read_end, &write_end, &inheritable, kMostSelfTestOutput)) {
      return fail(last_error_text());
    }
    unique_handle reader(read_end);
    unique_handle writer(write_end);
    // Only the write end goes to the program; this process keeps the read end to itself.
    ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    auto started = start_process(program, L"\"" + program.wstring() + L"\" --self-test",
                                 store_.root(), CREATE_NO_WINDOW, writer.get());
    writer.reset();  // the pipe ends when the program's copy closes
    if (!started) {
      return started.error();
    }
    const DWORD waited = ::WaitForSingleObject(started->process.get(), kSelfTestDeadlineMs);
    if (waited != WAIT_OBJECT_0) {
      ::TerminateProcess(started->process.get(), 1);
      ::WaitForSingleObject(started->process.get(), 5000);
      return fail("não terminou em 15 s");
    }
    DWORD exit_code = 1;
    if (!::GetExitCodeProcess(started->process.get(), &exit_code) || exit_code != 0) {
      return fail("saiu com o código " + std::to_string(exit_code));
    }
    // Only what is there now: a process the program left behind could hold the pipe open.
    std::string output;
    DWORD available = 0;
    while (::PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) &&
           available > 0 && output.size() < kMostSelfTestOutput) {
      std::string piece(available, '\0');
      DWORD read = 0;
      if (!::ReadFile(reader.get(), piece.data(), available, &read, nullptr) || read == 0) {
        break;
      }
      output.append(piece, 0, read);
    }
    return output;
  }

  Status swap_in(const std::filesystem::path& fresh) override {
    const std::filesystem::path installed = installed_path();
    const std::filesystem::path old = old_path();
    if (!installed_size()) {
      // No launcher installed at all (its file went missing): the new one only takes the name.
      return move_name(fresh, installed);
    }
    // The name the running launcher moves to must be free: a launcher moved aside earlier that
    // still runs keeps it, and this swap waits for another day.
    if (!delete_file_name(old)) {
      return fail(last_error_text());
    }
    // The two renames back to back, each on the disk before the next: between them, and only
    // there, the root has no Nelo.exe (restore_launcher_if_missing puts the old one back).
    if (Status moved = move_name(installed, old); !moved) {
      return moved;
    }
    if (Status placed = move_name(fresh, installed); !placed) {
      (void)move_name(old, installed);
      return placed;
    }
    return {};
  }

 private:
  WindowsVersionStore& store_;
};

}  // namespace

LauncherUpdate update_installed_launcher(UpdateClient& client, const ReleaseManifest& manifest,
                                         WindowsVersionStore& store) {
  WindowsLauncherPlace place(store);
  return update_launcher(client, manifest, store, place, built_in_release_keys().size());
}

}  // namespace nelo
