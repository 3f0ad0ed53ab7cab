#include "install/version_store_win.h"

#include "base/file_system_win.h"
#include "base/system_error_win.h"
#include "base/unique_handle.h"
#include "install/current_pointer.h"
#include "install/install_layout.h"

namespace nelo {
namespace {

// A label is a short folder name; anything longer than this is not a pointer we wrote.
constexpr std::uint64_t kMaxPointerBytes = 64 * 1024;

}  // namespace

std::optional<std::string> WindowsVersionStore::read_current_version() {
  const auto bytes = read_small_file(install_root() / L"current", kMaxPointerBytes);
  if (!bytes) {
    return std::nullopt;
  }
  auto label = parse_current_pointer(*bytes);
  if (!label) {
    return std::nullopt;
  }
  const std::filesystem::path program = version_dir(*label) / L"Nelo.exe";
  if (::GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return std::nullopt;
  }
  return label;
}

Status WindowsVersionStore::write_current_version(std::string_view label) {
  const std::filesystem::path root = install_root();
  const std::filesystem::path temporary = root / L"current.tmp";
  {
    unique_file file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      return fail("gravar: " + last_error_text());
    }
    if (Status written = write_all(file.get(), label); !written) {
      return fail("gravar: " + written.message());
    }
    // The pointer must reach the disk before it replaces the old one, or a crash could leave an
    // empty "current" behind the rename.
    if (!::FlushFileBuffers(file.get())) {
      return fail("gravar: " + last_error_text());
    }
  }
  const std::filesystem::path pointer = root / L"current";
  if (!::MoveFileExW(temporary.c_str(), pointer.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fail("gravar: " + last_error_text());
  }
  return {};
}

VersionStore& installed_version_store() {
  static WindowsVersionStore store;
  return store;
}

}  // namespace nelo
