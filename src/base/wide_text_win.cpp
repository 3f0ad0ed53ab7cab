#include "base/wide_text_win.h"

#include "base/utf.h"

namespace nelo {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows build has 16-bit wchar_t");

std::u16string_view as_utf16(std::wstring_view text) {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

std::wstring to_wide(std::u16string_view text) {
  return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

std::wstring to_wide(std::string_view utf8) {
  if (auto converted = utf8_to_utf16(utf8)) {
    return to_wide(*converted);
  }
  std::wstring lossy;
  for (unsigned char c : utf8) {
    lossy.push_back(c < 0x80 ? static_cast<wchar_t>(c) : L'\uFFFD');
  }
  return lossy;
}

std::string to_utf8(std::wstring_view text) {
  return utf16_to_utf8_lossy(as_utf16(text));
}

}  // namespace nelo
