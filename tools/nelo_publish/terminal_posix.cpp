#include "nelo_publish/terminal.h"

#include <termios.h>
#include <unistd.h>

namespace nelo::publish {

bool is_terminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

void write_text(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

std::string read_line_without_echo() {
  std::string line;
  termios saved{};
  const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
    line += static_cast<char>(c);
  }
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  }
  return line;
}

}  // namespace nelo::publish

int main(int argc, char** argv) {
  return nelo::publish::run_in_terminal(
      std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
