#include "base/environment_win.h"

#include "base/wide_text_win.h"
#include "base/win_support.h"

namespace nelo {

std::optional<std::u16string> environment_variable(const wchar_t* name) {
  std::wstring value(64, L'\0');
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length =
        ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      // Zero is both "set but empty" and "not set"; the last error tells them apart.
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        return std::nullopt;
      }
      return std::u16string();
    }
    if (length < value.size()) {
      value.resize(length);
      return std::u16string(as_utf16(value));
    }
    value.resize(length);  // the length needed, counting the terminating NUL
  }
}

}  // namespace nelo
