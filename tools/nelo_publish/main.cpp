// nelo-publish: writes a release of Nelo into the update server's static tree. The work is done
// by publish_release (publish.h); this file only meets the platform: arguments, terminals and
// text output.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nelo_publish/publish.h"

#ifdef _WIN32
#include <io.h>

#include "base/utf.h"
#include "base/win_support.h"
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace {

bool is_terminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

// UTF-8 text to a stream; a Windows console gets it as UTF-16, whatever its code page.
void write_text(std::FILE* stream, std::string_view text) {
#ifdef _WIN32
  HANDLE console = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (console != INVALID_HANDLE_VALUE && ::GetConsoleMode(console, &mode)) {
    const std::u16string wide = nelo::utf8_to_utf16(text).value_or(u"?");
    std::fflush(stream);
    DWORD written = 0;
    ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
#endif
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// The signing key's password, typed at the terminal without echo; nothing without a terminal.
std::optional<std::string> ask_password() {
  if (!is_terminal(stdin)) {
    return std::nullopt;
  }
  write_text(stderr, "Senha da chave: ");
  std::string password;
#ifdef _WIN32
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
  password = nelo::utf16_to_utf8(std::u16string(wide.begin(), wide.end())).value_or("");
#else
  termios saved{};
  const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
    password += static_cast<char>(c);
  }
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  }
#endif
  write_text(stderr, "\n");
  return password;
}

int run(const std::vector<std::string>& arguments) {
  return nelo::publish::run_publish_command(
      arguments, is_terminal(stderr), [](std::string_view text) { write_text(stdout, text); },
      [](std::string_view text) { write_text(stderr, text); }, ask_password);
}

}  // namespace

#ifdef _WIN32
// Built with -municode: the arguments arrive as UTF-16, whatever the ANSI code page.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    const std::wstring wide(argv[i]);
    const std::optional<std::string> text =
        nelo::utf16_to_utf8(std::u16string(wide.begin(), wide.end()));
    if (!text) {
      write_text(stderr, "nelo-publish: argumento que não é Unicode válido\n");
      return 2;
    }
    arguments.push_back(*text);
  }
  return run(arguments);
}
#else
int main(int argc, char** argv) {
  return run(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#endif
