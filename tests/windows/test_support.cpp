#include "tests/windows/test_support.h"

#include <fstream>
#include <iterator>
#include <random>

#include "base/unique_handle.h"

namespace nelo::testing_support {

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

std::filesystem::path launcher_exe() {
  return std::filesystem::path(NELO_TEST_BIN_DIR) / L"Nelo-Setup.exe";
}

std::filesystem::path standin_exe() {
  return std::filesystem::path(NELO_TEST_BIN_DIR) / L"tests" / L"fixtures" / L"standin-app.exe";
}

StartedStandin start_standin(const std::filesystem::path& program, int exit_after_ms,
                             DWORD exit_code) {
  std::filesystem::create_directories(program.parent_path());
  std::filesystem::copy_file(standin_exe(), program,
                             std::filesystem::copy_options::overwrite_existing);
  ScopedEnvironment mode(L"NELO_STANDIN_MODE", L"run");
  ScopedEnvironment exit_after(L"NELO_STANDIN_EXIT_AFTER_MS", std::to_wstring(exit_after_ms));
  ScopedEnvironment code(L"NELO_STANDIN_EXIT_CODE", std::to_wstring(exit_code));
  ScopedEnvironment no_log(L"NELO_STANDIN_LOG", std::nullopt);
  std::wstring command_line = L"\"" + program.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        program.parent_path().c_str(), &startup, &info)) {
    return {};
  }
  ::CloseHandle(info.hThread);
  return {unique_handle(info.hProcess), info.dwProcessId};
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

ExclusiveSection::ExclusiveSection(const wchar_t* name)
    : mutex_(::CreateMutexW(nullptr, FALSE, name)) {
  if (mutex_ != nullptr) {
    const DWORD wait = ::WaitForSingleObject(mutex_, INFINITE);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
      ::CloseHandle(mutex_);
      mutex_ = nullptr;
    }
  }
}

ExclusiveSection::~ExclusiveSection() {
  if (mutex_ != nullptr) {
    ::ReleaseMutex(mutex_);
    ::CloseHandle(mutex_);
  }
}

namespace {

constexpr wchar_t kUserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::optional<StoredValue> read_value(HKEY key, const std::wstring& name) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  StoredValue value{type, std::vector<BYTE>(size)};
  if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, value.data.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.data.resize(size);
  return value;
}

void write_value(HKEY key, const std::wstring& name, const StoredValue& value) {
  ::RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(),
                   static_cast<DWORD>(value.data.size()));
}

StoredValue expandable_text(const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  return {REG_EXPAND_SZ, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

}  // namespace

std::optional<std::map<std::wstring, StoredValue>> read_user_key(const std::wstring& subkey) {
  unique_hkey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::map<std::wstring, StoredValue> values;
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD name_length = 16384;
    if (::RegEnumValueW(key.get(), index, name, &name_length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    const std::wstring value_name(name, name_length);
    if (auto value = read_value(key.get(), value_name)) {
      values[value_name] = std::move(*value);
    }
  }
  return values;
}

bool write_user_value(const std::wstring& subkey, const std::wstring& name,
                      const StoredValue& value) {
  unique_hkey key;
  return ::RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE, nullptr, key.put(), nullptr) == ERROR_SUCCESS &&
         ::RegSetValueExW(key.get(), name.c_str(), 0, value.type, value.data.data(),
                          static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
}

bool running_under_wine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

ScopedUserKey::ScopedUserKey(std::wstring subkey)
    : subkey_(std::move(subkey)), saved_(read_user_key(subkey_)) {}

ScopedUserKey::~ScopedUserKey() {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, subkey_.c_str());
  if (!saved_) {
    return;
  }
  unique_hkey key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.put(), nullptr) == ERROR_SUCCESS) {
    for (const auto& [name, value] : *saved_) {
      write_value(key.get(), name, value);
    }
  }
}

ScopedUserValue::ScopedUserValue(std::wstring subkey, std::wstring name)
    : subkey_(std::move(subkey)), name_(std::move(name)) {
  unique_hkey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, KEY_READ, key.put()) ==
      ERROR_SUCCESS) {
    saved_ = read_value(key.get(), name_);
  }
}

ScopedUserValue::~ScopedUserValue() {
  unique_hkey key;
  if (saved_) {
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, key.put(), nullptr) == ERROR_SUCCESS) {
      write_value(key.get(), name_, *saved_);
    }
  } else if (::RegOpenKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, KEY_WRITE, key.put()) ==
             ERROR_SUCCESS) {
    ::RegDeleteValueW(key.get(), name_.c_str());
  }
}

ScopedShellFolders::ScopedShellFolders(const std::filesystem::path& desktop,
                                       const std::filesystem::path& programs)
    : desktop_(kUserShellFolders, L"Desktop"), programs_(kUserShellFolders, L"Programs") {
  write_user_value(kUserShellFolders, L"Desktop", expandable_text(desktop.wstring()));
  write_user_value(kUserShellFolders, L"Programs", expandable_text(programs.wstring()));
}

const wchar_t kUninstallKeyName[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Nelo";
const wchar_t kRunKeyName[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kApplicationIdName[] = L"br.com.nelo.desktop";

namespace {

constexpr wchar_t kWineOverrides[] = L"Software\\Wine\\DllOverrides";

const std::filesystem::path& made(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  return folder;
}

}  // namespace

ScopedUserShell::ScopedUserShell(const std::filesystem::path& folder)
    : section_(L"Local\\NeloTestsUserShell"),
      desktop_(made(folder / L"Desktop")),
      programs_(made(folder / L"Start Menu" / L"Programs")),
      folders_(desktop_, programs_),
      uninstall_entry_(kUninstallKeyName),
      autostart_(kRunKeyName, kApplicationIdName) {
  if (running_under_wine()) {
    menu_builder_.emplace(kWineOverrides, L"winemenubuilder.exe");
    const wchar_t disabled[] = L"";
    const auto* bytes = reinterpret_cast<const BYTE*>(disabled);
    write_user_value(kWineOverrides, L"winemenubuilder.exe",
                     {REG_SZ, std::vector<BYTE>(bytes, bytes + sizeof(disabled))});
  }
  // Each test starts with neither the entry nor the autostart value.
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKeyName);
  unique_hkey run;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyName, 0, KEY_WRITE, run.put()) == ERROR_SUCCESS) {
    ::RegDeleteValueW(run.get(), kApplicationIdName);
  }
}

}  // namespace nelo::testing_support
