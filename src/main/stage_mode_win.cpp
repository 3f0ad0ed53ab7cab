#include "install/install_layout.h"
#include "install/rollout_share.h"
#include "install/shell_integration.h"
#include "install/version_store.h"
#include "install/version_store_win.h"
#include "main/install_release.h"
#include "main/launcher_update_win.h"
#include "main/release_fetch.h"
#include "main/run_modes.h"
#include "main/self_install.h"
#include "main/stage_progress.h"
#include "main/standard_output_win.h"

namespace nelo {

// Called by the running application to prepare the next release in the background: no window,
// no questions, one line per outcome on standard output. The launcher the release lists is put
// in place after that line, when the release is current here; it prints nothing.
void run_stage_mode() {
  WindowsVersionStore store(install_root());
  restore_launcher_if_missing();  // a launcher update stopped between its renames
  auto client = open_update_client(kPatientConnectTimeoutMs);
  if (!client) {
    write_output_line("error " + client.message());
    return;
  }
  const auto manifest = fetch_release_manifest(**client, store.manifest_trust());
  if (!manifest) {
    write_output_line("error " + manifest.message());
    return;
  }
  // The current release, or one whose staged rollout leaves this installation out.
  const std::optional<std::string> current = store.find_installed_version();
  if (current == manifest->version) {
    write_output_line("none");  // without touching the lock
    (void)update_installed_launcher(**client, *manifest, store);
    return;
  }
  if (passes_over_release(store, current, *manifest)) {
    write_output_line("none");  // the launcher stays with the installed release too
    return;
  }

  SteadyClock clock;
  StageProgressPrinter printer(clock, write_output_line);
  const auto installed = install_release(**client, *manifest, std::ref(printer), store);
  if (!installed) {
    write_output_line("error " + installed.message());
    return;
  }
  register_shell_integration(manifest->version);  // its outcome changes nothing here
  write_output_line(std::string("staged ") + (installed->changes_app ? "app " : "module ") +
                    manifest->version);
  (void)update_installed_launcher(**client, *manifest, store);
}

}  // namespace nelo
