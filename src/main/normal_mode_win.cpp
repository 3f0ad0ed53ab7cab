#include "install/version_store.h"
#include "main/launch.h"
#include "main/run_modes.h"

namespace nelo {

void run_normal_mode(const LaunchOptions& options) {
  // A hidden start with a version in place starts it at once, without a window and without
  // asking the server. The window, the consent, the self-install and the update session join
  // here as they are built.
  if (!options.hidden) {
    return;
  }
  if (const auto current = read_current_version()) {
    launch_version(*current, /*hidden=*/true);
  }
}

}  // namespace nelo
