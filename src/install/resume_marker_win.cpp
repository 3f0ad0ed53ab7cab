#include "install/resume_marker.h"

#include <filesystem>

#include "base/environment_win.h"
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
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(marker.c_str(), GetFileExInfoStandard, &data)) {
    return false;
  }
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  return is_resume_fresh(as_int64(data.ftLastWriteTime), as_int64(now));
}

}  // namespace nelo
