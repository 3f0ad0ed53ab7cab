#include "install/manifest_store.h"
#include "main/launch.h"
#include "main/run_modes.h"

namespace nelo {

void run_normal_mode(const LaunchOptions& options) {
  // A hidden start with an intact version starts it at once, without a window and without
  // asking the server. The window, the consent, the self-install and the update session join
  // here as they are built.
  if (!options.hidden) {
    return;
  }
  if (const auto installed = find_installed_version()) {
    launch_version(*installed, /*hidden=*/true);
  }
}

}  // namespace nelo
