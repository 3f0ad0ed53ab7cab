// The process entry: split the command line, pick the mode, run it, exit with 0 (or, when an
// exception ended the mode, report it and exit with 1).
#include <string_view>

#include "base/win_support.h"
#include "base/wide_text_win.h"
#include "install/launcher_log.h"
#include "main/command_line.h"
#include "main/escaped_failure.h"
#include "main/run_modes.h"
#include "main/standard_output_win.h"

namespace {

void run_mode(nelo::RunMode mode) {
  // COM is joined on this thread where it is first used (shell links, the terms page), so that
  // a hidden start reaches the application without it.
  switch (mode) {
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
    case nelo::RunMode::SelfTest:
      nelo::run_self_test_mode();
      break;
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const wchar_t* raw = ::GetCommandLineW();
  const std::wstring_view line = raw != nullptr ? std::wstring_view(raw) : std::wstring_view();
  const nelo::RunMode mode = nelo::parse_command_line(nelo::as_utf16(line));
  return nelo::run_guarded(mode, [mode] { run_mode(mode); },
                           {nelo::append_log_line, nelo::write_output_line});
}
