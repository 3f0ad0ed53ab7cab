#include "base/clock.h"
#include "install/process_control.h"
#include "install/shell_integration.h"
#include "main/run_modes.h"
#include "main/uninstall.h"

namespace nelo {

// Nothing is shown, asked or logged, and every failure is passed over: the system's own
// uninstall dialog was the confirmation, and the exit code is 0 whatever happens.
void run_uninstall_mode() {
  // No program may run from the versions any more when their files go.
  SteadyClock clock;
  stop_installed_processes(clock);
  remove_shell_integration();
  start_root_removal();
}

}  // namespace nelo
