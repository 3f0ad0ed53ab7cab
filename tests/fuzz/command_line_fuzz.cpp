// The command-line splitter never fails on any line, and gives back every argument list that
// was quoted with the standard quoting algorithm.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "main/command_line.h"

namespace {

// The usual way to quote one argument for the C runtime's splitting rules.
void append_quoted(std::u16string& line, const std::u16string& argument) {
  if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string::npos) {
    line += argument;
    return;
  }
  line.push_back(u'"');
  for (auto it = argument.begin();; ++it) {
    size_t backslashes = 0;
    while (it != argument.end() && *it == u'\\') {
      ++it;
      ++backslashes;
    }
    if (it == argument.end()) {
      line.append(backslashes * 2, u'\\');
      break;
    }
    if (*it == u'"') {
      line.append(backslashes * 2 + 1, u'\\');
      line.push_back(u'"');
    } else {
      line.append(backslashes, u'\\');
      line.push_back(*it);
    }
  }
  line.push_back(u'"');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Any line at all: the bytes taken as UTF-16 units.
  std::u16string line;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    line.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  (void)nelo::split_command_line(line);
  (void)nelo::parse_command_line(line);

  // An argument list: units separated by U+0000 (which never occurs inside a command line).
  std::vector<std::u16string> arguments(1);
  for (char16_t unit : line) {
    if (unit == 0) {
      arguments.emplace_back();
    } else {
      arguments.back().push_back(unit);
    }
  }
  std::u16string quoted = u"prog";
  for (const auto& argument : arguments) {
    quoted.push_back(u' ');
    append_quoted(quoted, argument);
  }
  const auto split = nelo::split_command_line(quoted);
  if (split.size() != arguments.size() + 1 || split[0] != u"prog") {
    std::abort();
  }
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (split[i + 1] != arguments[i]) {
      std::abort();
    }
  }
  return 0;
}
