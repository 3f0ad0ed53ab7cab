#include "main/self_install.h"

#include <optional>
#include <string>

#include "base/file_system_win.h"
#include "base/system_error_win.h"
#include "base/unique_handle.h"
#include "install/install_layout.h"

namespace nelo {
namespace {

bool name_exists(const std::filesystem::path& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

Result<std::filesystem::path> running_executable() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return fail(last_error_text());
    }
    if (length < path.size()) {
      path.resize(length);
      return std::filesystem::path(path);
    }
    path.resize(path.size() * 2);  // a long path was cut: ask again with more room
  }
}

namespace {

// The file's final path as the file system names it: links resolved, letter case as stored.
std::optional<std::filesystem::path> canonical_path(const std::filesystem::path& path) {
  unique_file file(::CreateFileW(path.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) {
    return std::nullopt;
  }
  std::wstring final_path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(
        file.get(), final_path.data(), static_cast<DWORD>(final_path.size()), FILE_NAME_NORMALIZED);
    if (length == 0) {
      return std::nullopt;
    }
    if (length < final_path.size()) {
      final_path.resize(length);
      return std::filesystem::path(final_path);
    }
    final_path.resize(length + 1);
  }
}

}  // namespace

bool is_installed_copy() {
  const auto running = running_executable();
  if (!running) {
    return false;
  }
  const auto self = canonical_path(running.value());
  const auto installed = canonical_path(installed_launcher_path());
  if (!self || !installed) {
    return false;
  }
  // path equality compares component by component.
  return *self == *installed;
}

Status install_launcher() {
  const auto running = running_executable();
  if (!running) {
    return running.error();
  }
  const std::filesystem::path root = install_root();
  if (Status created = create_folders(root); !created) {
    return fail("pasta: " + created.message());
  }
  const std::filesystem::path installed = root / L"Nelo.exe";
  const std::filesystem::path old = root / L"Nelo.exe.old";
  if (::GetFileAttributesW(installed.c_str()) != INVALID_FILE_ATTRIBUTES) {
    // A launcher running from the root can be renamed, though not overwritten.
    ::DeleteFileW(old.c_str());
    ::MoveFileExW(installed.c_str(), old.c_str(), 0);
  }
  if (!::CopyFileW(running.value().c_str(), installed.c_str(), FALSE)) {
    return fail("copiar: " + last_error_text());
  }
  // The copy is what every later start runs: on the disk before this start goes on to make a
  // version current, or a power cut could leave the shortcuts pointing at an empty file.
  unique_file copy(::CreateFileW(installed.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!copy || !::FlushFileBuffers(copy.get())) {
    return fail("copiar: " + last_error_text());
  }
  // The download mark would make the system warn at every start of the installed copy.
  ::DeleteFileW((installed.wstring() + L":Zone.Identifier").c_str());
  return {};
}

void restore_launcher_if_missing() {
  const std::filesystem::path root = install_root();
  const std::filesystem::path installed = root / L"Nelo.exe";
  const std::filesystem::path old = root / L"Nelo.exe.old";
  // Only a launcher update stopped between its two renames leaves the root without Nelo.exe
  // and with the launcher it replaced: that one goes back. Never over a Nelo.exe that exists.
  if (!name_exists(installed) && name_exists(old)) {
    (void)move_name(old, installed);
  }
}

void delete_old_launcher() {
  restore_launcher_if_missing();
  if (name_exists(install_root() / L"Nelo.exe")) {
    ::DeleteFileW((install_root() / L"Nelo.exe.old").c_str());
  }
}

}  // namespace nelo
