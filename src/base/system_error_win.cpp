#include "base/system_error_win.h"

#include "base/error_code_text.h"
#include "base/unique_handle.h"
#include "base/wide_text_win.h"

namespace nelo {
namespace {

// The system's own text for a message identifier, trimmed of its line end; empty when it has
// none.
std::wstring system_message(DWORD id) {
  unique_local_memory buffer;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, id, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
  std::wstring message;
  if (length > 0 && buffer) {
    message.assign(static_cast<const wchar_t*>(buffer.get()), length);
  }
  while (!message.empty() &&
         (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
    message.pop_back();
  }
  return message;
}

}  // namespace

std::string system_error_text(DWORD code) {
  // " (os error N)" follows the text even when Windows has none: the messages built around it
  // ("copiar x: " + this) read the same either way.
  return to_utf8(system_message(code)) + " (os error " + std::to_string(code) + ")";
}

std::string last_error_text() {
  return system_error_text(::GetLastError());
}

std::string hresult_text(HRESULT code) {
  std::wstring message = system_message(static_cast<DWORD>(code));
  // Some systems know a Win32 error only by its plain code, not wrapped in an HRESULT.
  if (message.empty() && HRESULT_FACILITY(code) == FACILITY_WIN32) {
    message = system_message(HRESULT_CODE(code));
  }
  return error_code_text(to_utf8(message), static_cast<std::uint32_t>(code));
}

}  // namespace nelo
