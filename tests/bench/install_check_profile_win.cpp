// Where the time of a hidden start's intactness check goes, under Wine or Windows: reading and
// parsing the stored manifest of the current version, then the whole check (the same listings
// the launcher makes).
//
//   install-check-profile       LOCALAPPDATA names the installation
//
// Prints "check manifest S total S intact 0|1" (seconds).
#include <chrono>
#include <cstdio>

#include "install/version_store.h"

int wmain() {
  using Clock = std::chrono::steady_clock;
  nelo::VersionStore& store = nelo::installed_version_store();
  const Clock::time_point start = Clock::now();
  const auto manifest = store.load_stored_manifest(store.read_current_version());
  const Clock::time_point loaded = Clock::now();
  const bool intact = store.find_installed_version().has_value();
  const Clock::time_point checked = Clock::now();
  std::printf("check manifest %.4f total %.4f intact %d\n",
              std::chrono::duration<double>(loaded - start).count(),
              std::chrono::duration<double>(checked - loaded).count(),
              intact && manifest.has_value() ? 1 : 0);
  return 0;
}
