#include "nelo_publish/terminal.h"

#include "nelo_publish/command.h"

namespace nelo::publish {
namespace {

// The signing key's password, typed at the terminal without echo; nothing without a terminal.
std::optional<std::string> ask_password() {
  if (!is_terminal(stdin)) {
    return std::nullopt;
  }
  write_text(stderr, "Senha da chave: ");
  std::string password = read_line_without_echo();
  write_text(stderr, "\n");
  return password;
}

}  // namespace

int run_in_terminal(const std::vector<std::string>& arguments) {
  return run_publish_command(
      arguments, is_terminal(stderr), [](std::string_view text) { write_text(stdout, text); },
      [](std::string_view text) { write_text(stderr, text); }, ask_password);
}

}  // namespace nelo::publish
