#include "main/standard_output_win.h"

#include <string>

#include "base/file_system_win.h"
#include "base/win_support.h"

namespace nelo {

void write_output_line(std::string_view line) {
  // A GUI-subsystem program has no console, but a parent that passed a pipe as standard output
  // (STARTF_USESTDHANDLES) finds it here.
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) {
    return;
  }
  std::string text(line);
  text.push_back('\n');
  (void)write_all(output, text);  // a reader that went away is no reason to stop
}

}  // namespace nelo
