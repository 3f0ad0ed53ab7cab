// The process entry: split the command line, pick the mode, run it, exit with 0.
#include <string_view>

#include "base/win_support.h"
#include "base/wide_text_win.h"
#include "main/command_line.h"
#include "main/run_modes.h"

namespace {

void run_program() {
  const wchar_t* raw = ::GetCommandLineW();
  const std::wstring_view line = raw != nullptr ? std::wstring_view(raw) : std::wstring_view();
  // COM is joined on this thread where it is first used (shell links, the terms page), so that
  // a hidden start reaches the application without it.
  switch (nelo::parse_command_line(nelo::as_utf16(line))) {
    case nelo::RunMode::Normal:
      nelo::run_normal_mode();
      break;
    case nelo::RunMode::Hidden:
      nelo::run_hidden_mode();
      break;
    case nelo::RunMode::Stage:
      nelo::run_stage_mode();
      break;
    case nelo::RunMode::Uninstall:
      nelo::run_uninstall_mode();
      break;
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Every mode ends with exit code 0, also when the standard library gives up (out of memory):
  // the caller learns of failures from the window or the stage-mode lines, never from the code.
  try {
    run_program();
  } catch (...) {
  }
  return 0;
}
