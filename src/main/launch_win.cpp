#include "main/launch.h"

#include "install/resume_marker.h"
#include "install/shell_integration.h"
#include "main/app_process_win.h"

namespace nelo {

void launch_version(std::string_view label, const std::shared_ptr<LauncherUi>& ui, bool hidden) {
  using namespace std::chrono_literals;
  SteadyClock clock;
  if (!ui) {
    // Nobody watches a window: the application starts first, and the shortcuts and the entry
    // in the installed programs are refreshed after (their outcome changes nothing), so that a
    // hidden start reaches the application as soon as it can.
    (void)start_app(label, hidden, clock);
    register_shell_integration(label);
    return;
  }
  register_shell_integration(label);  // the launch goes on whatever happens there
  set_phase(*ui, Launching{resume_is_fresh()});
  // The application's handles close when `app` goes out of scope; nothing waits for its end.
  auto app = start_app(label, hidden, clock);
  if (!app) {
    show_error_and_wait(*ui, "Não deu para abrir o Nelo", app.message(), clock);
    return;
  }
  // The window stays up until the application's main window shows, the application ends, or
  // 40 s pass; closing the launcher's window meanwhile does not shorten the wait.
  (void)wait_for_app_window(*app, clock);
  request_close(*ui);
  clock.sleep_for(150ms);  // time for the window thread to take the window down
}

}  // namespace nelo
