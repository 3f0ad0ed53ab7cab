#include "main/standard_output_win.h"

#include <string>

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
  size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    if (!::WriteFile(output, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                     nullptr) ||
        written == 0) {
      return;
    }
    done += written;
  }
}

}  // namespace nelo
