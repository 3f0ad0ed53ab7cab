#include "main/command_line.h"

#include <algorithm>

#include "base/utf.h"

namespace nelo {
namespace {

bool is_blank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// The program name: everything up to the first blank or tab outside quotes, without the quotes.
std::u16string take_program_name(std::u16string_view line, size_t& pos) {
  std::u16string name;
  bool quoted = false;
  while (pos < line.size()) {
    const char16_t c = line[pos];
    if (c == u'"') {
      quoted = !quoted;
    } else if (is_blank(c) && !quoted) {
      break;
    } else {
      name.push_back(c);
    }
    ++pos;
  }
  return name;
}

std::u16string take_argument(std::u16string_view line, size_t& pos) {
  std::u16string argument;
  bool quoted = false;
  while (pos < line.size()) {
    const char16_t c = line[pos];
    if (is_blank(c) && !quoted) {
      break;
    }
    if (c == u'\\') {
      size_t backslashes = 0;
      while (pos < line.size() && line[pos] == u'\\') {
        ++backslashes;
        ++pos;
      }
      if (pos < line.size() && line[pos] == u'"') {
        argument.append(backslashes / 2, u'\\');
        if (backslashes % 2 == 1) {
          argument.push_back(u'"');
          ++pos;
        }
        // With an even count the quote is left for the next round, where it toggles.
      } else {
        argument.append(backslashes, u'\\');
      }
      continue;
    }
    if (c == u'"') {
      if (quoted && pos + 1 < line.size() && line[pos + 1] == u'"') {
        argument.push_back(u'"');
        pos += 2;
      } else {
        quoted = !quoted;
        ++pos;
      }
      continue;
    }
    argument.push_back(c);
    ++pos;
  }
  return argument;
}

}  // namespace

std::vector<std::u16string> split_command_line(std::u16string_view line) {
  std::vector<std::u16string> arguments;
  if (line.empty()) {
    return arguments;
  }
  size_t pos = 0;
  arguments.push_back(take_program_name(line, pos));
  for (;;) {
    while (pos < line.size() && is_blank(line[pos])) {
      ++pos;
    }
    if (pos == line.size()) {
      break;
    }
    arguments.push_back(take_argument(line, pos));
  }
  return arguments;
}

RunMode choose_run_mode(const std::vector<std::string>& arguments) {
  const auto has = [&](std::string_view flag) {
    return std::find(arguments.begin(), arguments.end(), flag) != arguments.end();
  };
  // The self-test changes nothing, whatever else is asked: an updater that runs it must never
  // set off an uninstall or a staging by its arguments.
  if (has("--self-test")) {
    return RunMode::SelfTest;
  }
  if (has("--uninstall")) {
    return RunMode::Uninstall;
  }
  if (has("--stage")) {
    return RunMode::Stage;
  }
  return has("--hidden") ? RunMode::Hidden : RunMode::Normal;
}

RunMode parse_command_line(std::u16string_view line) {
  const std::vector<std::u16string> split = split_command_line(line);
  std::vector<std::string> arguments;
  for (size_t i = 1; i < split.size(); ++i) {
    arguments.push_back(utf16_to_utf8_lossy(split[i]));
  }
  return choose_run_mode(arguments);
}

}  // namespace nelo
