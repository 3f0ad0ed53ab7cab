#include "base/system_error_win.h"

#include "base/wide_text_win.h"

namespace nelo {

std::string system_error_text(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring message;
  if (length > 0 && buffer != nullptr) {
    message.assign(buffer, length);
  }
  if (buffer != nullptr) {
    ::LocalFree(buffer);
  }
  while (!message.empty() &&
         (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
    message.pop_back();
  }
  // " (os error N)" follows the text even when Windows has none: the messages built around it
  // ("copiar x: " + this) read the same either way.
  return to_utf8(message) + " (os error " + std::to_string(code) + ")";
}

std::string last_error_text() {
  return system_error_text(::GetLastError());
}

}  // namespace nelo
