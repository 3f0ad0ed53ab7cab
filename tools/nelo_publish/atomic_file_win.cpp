#include "nelo_publish/atomic_file.h"

#include "base/file_system_win.h"
#include "base/system_error_win.h"
#include "base/win_support.h"

namespace nelo::publish {
namespace {

HANDLE handle_of(NativeFile file) {
  return reinterpret_cast<HANDLE>(file);
}

}  // namespace

void sync_folder(const std::filesystem::path&) {}

namespace native {

Result<NativeFile> create_new_file(const std::filesystem::path& path) {
  const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return fail(last_error_text());
  }
  return reinterpret_cast<NativeFile>(handle);
}

Status write_file(NativeFile file, std::string_view bytes) {
  return write_all(handle_of(file), bytes);
}

Status flush_file(NativeFile file) {
  if (!::FlushFileBuffers(handle_of(file))) {
    return fail(last_error_text());
  }
  return {};
}

Status close_file(NativeFile file) {
  if (!::CloseHandle(handle_of(file))) {
    return fail(last_error_text());
  }
  return {};
}

Status replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  return replace_by_rename(from, to);
}

}  // namespace native
}  // namespace nelo::publish
