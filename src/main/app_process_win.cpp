#include "main/app_process_win.h"

#include <filesystem>
#include <string>

#include "base/process_start_win.h"
#include "base/system_error_win.h"
#include "install/install_layout.h"

namespace nelo {
namespace {

struct WindowSearch {
  DWORD process_id = 0;
  bool found = false;
};

BOOL CALLBACK check_window(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  RECT rect{};
  const bool rect_known = ::GetWindowRect(window, &rect) != FALSE;
  if (is_main_window(owner == search->process_id, ::IsWindowVisible(window) != FALSE, rect_known,
                     rect.left, rect.right)) {
    search->found = true;
    return FALSE;  // the first qualifying window ends the enumeration
  }
  return TRUE;
}

class WindowsHandoffProbe final : public HandoffProbe {
 public:
  explicit WindowsHandoffProbe(const AppProcess& app) : app_(app) {}

  bool main_window_visible() override {
    WindowSearch search{app_.id, false};
    ::EnumWindows(check_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  ChildState child_state() override {
    const DWORD wait = ::WaitForSingleObject(app_.process.get(), 0);
    if (wait == WAIT_TIMEOUT) {
      return ChildState::Running;
    }
    if (wait != WAIT_OBJECT_0) {
      return ChildState::Unknown;
    }
    DWORD exit_code = 0;  // read as the end of the process is confirmed; the value is not used
    return ::GetExitCodeProcess(app_.process.get(), &exit_code) ? ChildState::Ended
                                                                : ChildState::Unknown;
  }

 private:
  const AppProcess& app_;
};

}  // namespace

Result<AppProcess> start_app(std::string_view label, bool hidden, Clock& clock) {
  std::error_code ignored;
  std::filesystem::path folder = std::filesystem::absolute(version_dir(label), ignored);
  if (folder.empty()) {
    folder = version_dir(label);
  }
  const std::filesystem::path program = folder / L"Nelo.exe";
  std::wstring command_line = L"\"" + program.wstring() + L"\"";
  if (hidden) {
    command_line += L" --hidden";
  }
  Result<StartedProcess> started = start_process(program, std::move(command_line), folder);
  if (!started) {
    return started.error();
  }
  AppProcess app;
  app.process = std::move(started->process);
  app.thread = std::move(started->thread);
  app.id = started->id;
  app.started = clock.now();
  return app;
}

HandoffEnd wait_for_app_window(const AppProcess& app, Clock& clock) {
  WindowsHandoffProbe probe(app);
  return wait_for_handoff(probe, clock, app.started);
}

}  // namespace nelo
