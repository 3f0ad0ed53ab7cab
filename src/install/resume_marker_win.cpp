#include "install/resume_marker.h"

#include <filesystem>

#include "base/environment_win.h"
#include "base/unique_handle.h"
#include "base/utf.h"
#include "base/wide_text_win.h"
#include "base/win_support.h"

namespace nelo {
namespace {

std::int64_t as_int64(FILETIME time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

}  // namespace

bool resume_is_fresh() {
  std::filesystem::path base;  // without a usable APPDATA the path is relative
  const auto app_data = environment_variable(L"APPDATA");
  if (app_data && utf16_to_utf8(*app_data)) {
    base = to_wide(*app_data);
  }
  const std::filesystem::path marker = base / L"Nelo" / L"resume.json";
  // The metadata of what the name leads to: opening follows a symbolic link, where asking for
  // the name's attributes would give the link's own times. Only attributes are asked for (the
  // content is never read), every kind of sharing is allowed, and a folder opens too.
  unique_file handle(::CreateFileW(marker.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  FILETIME last_write{};
  if (!handle || !::GetFileTime(handle.get(), nullptr, nullptr, &last_write)) {
    return false;
  }
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  return is_resume_fresh(as_int64(last_write), as_int64(now));
}

}  // namespace nelo
