#include "install/install_layout.h"
#include "install/shell_integration.h"
#include "install/version_store_win.h"
#include "main/app_process_win.h"
#include "main/run_modes.h"
#include "main/self_install.h"
#include "main/update_session.h"

namespace nelo {

// A start that nobody watches ("--hidden", from the system's start-up list): no window and no
// questions, nothing waited for, every failure silent.
void run_hidden_mode() {
  WindowsVersionStore store(install_root());
  if (!is_installed_copy() && !install_launcher()) {
    return;  // installs without asking
  }
  delete_old_launcher();  // what the last self-install moved aside; failures are passed over

  const std::optional<std::string> version = run_quiet_session(store, open_update_client);
  if (!version) {
    return;
  }
  // The application starts first and the shortcuts and the entry in the installed programs are
  // refreshed after (their outcome changes nothing), so that it is reached as soon as it can be.
  SteadyClock clock;
  (void)start_app(*version, /*hidden=*/true, clock);
  register_shell_integration(*version);
}

}  // namespace nelo
