#include "main/launch.h"

#include "install/resume_marker.h"
#include "install/shell_integration.h"
#include "main/app_process_win.h"
#include "main/session_window.h"

namespace nelo {

bool launch_version(std::string_view label, LauncherUi& ui) {
  using namespace std::chrono_literals;
  SteadyClock clock;
  register_shell_integration(label);  // the launch goes on whatever happens there
  set_phase(ui, Launching{resume_is_fresh()});
  // The application's handles close when `app` goes out of scope; nothing waits for its end.
  auto app = start_app(label, /*hidden=*/false, clock);
  if (!app) {
    show_error_and_wait(ui, "Não deu para abrir o Nelo", app.message(), clock);
    return false;
  }
  // Closing the launcher's window meanwhile does not shorten the wait.
  (void)wait_for_app_window(*app, clock);
  request_close(ui);
  clock.sleep_for(150ms);  // time for the window thread to take the window down
  return true;
}

}  // namespace nelo
