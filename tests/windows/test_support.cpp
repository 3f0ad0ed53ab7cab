#include "tests/windows/test_support.h"

#include <fstream>
#include <iterator>
#include <random>

#include "base/unique_handle.h"

namespace nelo::testing_support {

TempDir::TempDir() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / (L"nelo-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                    std::to_wstring(random()));
    if (std::filesystem::create_directories(path_)) {
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, std::optional<std::wstring> value)
    : name_(name) {
  wchar_t buffer[32768];
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, 32768);
  if (length > 0 || ::GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
    saved_ = std::wstring(buffer, length);
  }
  ::SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
}

ScopedEnvironment::~ScopedEnvironment() {
  ::SetEnvironmentVariableW(name_.c_str(), saved_ ? saved_->c_str() : nullptr);
}

void write_file(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

std::filesystem::path launcher_exe() {
  return std::filesystem::path(NELO_TEST_BIN_DIR) / L"Nelo-Setup.exe";
}

std::filesystem::path standin_exe() {
  return std::filesystem::path(NELO_TEST_BIN_DIR) / L"tests" / L"fixtures" / L"standin-app.exe";
}

ChildRun run_and_capture(const std::wstring& command_line, DWORD timeout_ms,
                         const std::filesystem::path& program) {
  ChildRun run;
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  unique_handle read_end;
  unique_handle write_end;
  if (!::CreatePipe(read_end.put(), write_end.put(), &inheritable, 0)) {
    return run;
  }
  ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
  unique_file null_input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inheritable, OPEN_EXISTING, 0, nullptr));

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_input.get();
  startup.hStdOutput = write_end.get();
  startup.hStdError = write_end.get();
  PROCESS_INFORMATION info{};
  std::wstring line = command_line;
  if (!::CreateProcessW(program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr,
                        TRUE, 0, nullptr, nullptr, &startup, &info)) {
    return run;
  }
  unique_handle process(info.hProcess);
  unique_handle thread(info.hThread);
  write_end.reset();  // the child holds the only write end now, so its exit ends the reads

  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(read_end.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    run.output.append(buffer, read);
  }
  run.finished = ::WaitForSingleObject(process.get(), timeout_ms) == WAIT_OBJECT_0;
  ::GetExitCodeProcess(process.get(), &run.exit_code);
  return run;
}

}  // namespace nelo::testing_support
