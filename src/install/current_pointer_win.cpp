#include "install/version_store_win.h"

#include "base/file_system_win.h"
#include "base/system_error_win.h"
#include "base/utf8_path.h"
#include "install/current_pointer.h"

namespace nelo {
namespace {

// A label is a short folder name; anything longer than this is not a pointer we wrote.
constexpr std::uint64_t kMaxPointerBytes = 64 * 1024;

}  // namespace

std::optional<std::string> WindowsVersionStore::read_current_version() {
  const auto bytes = read_small_file(root_ / L"current", kMaxPointerBytes);
  if (!bytes) {
    return std::nullopt;
  }
  auto label = parse_current_pointer(*bytes);
  if (!label) {
    return std::nullopt;
  }
  const std::filesystem::path program = version_folder(*label) / L"Nelo.exe";
  if (::GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return std::nullopt;
  }
  return label;
}

Status WindowsVersionStore::write_current_version(std::string_view label) {
  if (Status written = replace_file_atomically(root_ / L"current", label); !written) {
    return fail("gravar: " + written.message());
  }
  return {};
}

std::filesystem::path WindowsVersionStore::version_folder(std::string_view label) const {
  return root_ / L"versions" / path_from_utf8(label);
}

}  // namespace nelo
