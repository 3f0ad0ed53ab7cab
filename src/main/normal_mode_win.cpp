#include "install/version_store_win.h"
#include "install/install_layout.h"
#include "base/win_support.h"

#include <shellapi.h>

#include "base/com_apartment_win.h"
#include "base/product.h"
#include "base/wide_text_win.h"
#include "main/consent.h"
#include "main/launch.h"
#include "main/launcher_update_win.h"
#include "main/run_modes.h"
#include "main/self_install.h"
#include "main/session_window.h"
#include "main/update_session.h"
#include "ui/launcher_window_win.h"

namespace nelo {
namespace {

void open_terms_page() {
  join_com_apartment();  // the shell may hand the address to COM components
  ::ShellExecuteW(nullptr, L"open", to_wide(kTermsPage).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

// The user's start: the window, the consent and the self-install when this copy is not the
// installed launcher, then the update session and the launch of its result; once the application
// is up, the launcher the release lists takes the installed launcher's place.
void run_normal_mode() {
  WindowsVersionStore store(install_root());
  SteadyClock clock;
  const bool installed_copy = is_installed_copy();
  const auto ui = std::make_shared<LauncherUi>();
  start_launcher_window(ui);

  if (!installed_copy) {
    // Closing the consent window installs nothing.
    if (!ask_for_consent(*ui, clock, open_terms_page)) {
      request_close(*ui);
      return;
    }
    if (Status installed = install_launcher(); !installed) {
      show_error_and_wait(*ui, "Não deu para instalar", installed.message(), clock);
      return;
    }
  }
  delete_old_launcher();  // what the last self-install moved aside; failures are passed over

  SessionServices services{store, open_update_client, clock};
  const std::optional<std::string> target = run_update_session(ui, services);
  if (!target) {
    request_close(*ui);
    return;
  }
  if (!launch_version(*target, *ui) || !services.release) {
    return;
  }
  // The window is down and the application runs: nobody waits for this any more.
  if (auto client = open_update_client(attempt_settings(true).timeout_ms)) {
    (void)update_installed_launcher(**client, *services.release, store);
  }
}

}  // namespace nelo
