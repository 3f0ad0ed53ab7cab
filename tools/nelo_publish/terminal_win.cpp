#include "nelo_publish/terminal.h"

#include <io.h>

#include "base/utf.h"
#include "base/win_support.h"

namespace nelo::publish {

bool is_terminal(std::FILE* stream) {
  return _isatty(_fileno(stream)) != 0;
}

void write_text(std::FILE* stream, std::string_view text) {
  HANDLE console = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (console != INVALID_HANDLE_VALUE && ::GetConsoleMode(console, &mode)) {
    const std::u16string wide = utf8_to_utf16(text).value_or(u"?");
    std::fflush(stream);
    DWORD written = 0;
    ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

std::string read_line_without_echo() {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = ::GetConsoleMode(input, &mode) != FALSE;
  if (console) {
    ::SetConsoleMode(input, mode & ~DWORD{ENABLE_ECHO_INPUT});
  }
  std::wstring wide;
  wchar_t c = 0;
  DWORD read = 0;
  while (::ReadConsoleW(input, &c, 1, &read, nullptr) && read == 1 && c != L'\r' && c != L'\n') {
    wide += c;
  }
  if (console) {
    ::SetConsoleMode(input, mode);
  }
  return utf16_to_utf8(std::u16string(wide.begin(), wide.end())).value_or("");
}

}  // namespace nelo::publish

// Built with -municode: the arguments arrive as UTF-16, whatever the ANSI code page.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    const std::wstring wide(argv[i]);
    const std::optional<std::string> text =
        nelo::utf16_to_utf8(std::u16string(wide.begin(), wide.end()));
    if (!text) {
      nelo::publish::write_text(stderr, "nelo-publish: argumento que não é Unicode válido\n");
      return 2;
    }
    arguments.push_back(*text);
  }
  return nelo::publish::run_in_terminal(arguments);
}
