#include "base/file_system_win.h"

#include "base/system_error_win.h"

namespace nelo {
namespace {

bool is_folder(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

Status create_folders(const std::filesystem::path& folder) {
  if (folder.empty() || is_folder(folder)) {
    return {};
  }
  const std::filesystem::path parent = folder.parent_path();
  if (!parent.empty() && parent != folder) {
    if (Status created = create_folders(parent); !created) {
      return created;
    }
  }
  if (!::CreateDirectoryW(folder.c_str(), nullptr)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && is_folder(folder)) {
      return {};  // made by someone else meanwhile
    }
    return fail(system_error_text(error));
  }
  return {};
}

}  // namespace nelo
