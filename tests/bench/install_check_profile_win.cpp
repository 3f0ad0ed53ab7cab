// Where the time of a hidden start's intactness check goes, under Wine or Windows: reading the
// stored manifest of the current version, parsing it, then the whole check (the same listings the
// launcher makes).
//
//   install-check-profile       LOCALAPPDATA names the installation
//
// Prints "check read S parse S total S intact 0|1" (seconds; total is the whole check, which
// reads and parses the manifest again).
#include <chrono>
#include <cstdio>

#include "base/file_system_win.h"
#include "install/install_layout.h"
#include "install/manifest.h"
#include "install/version_store.h"

int wmain() {
  using Clock = std::chrono::steady_clock;
  const auto seconds = [](Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
  };
  nelo::VersionStore& store = nelo::installed_version_store();
  const auto label = store.read_current_version();
  const Clock::time_point start = Clock::now();
  auto bytes = nelo::read_small_file(nelo::version_dir(label.value_or("-")) / L".manifest.json",
                                     nelo::kManifestMaxBytes);
  const Clock::time_point read = Clock::now();
  const auto manifest = nelo::parse_release_manifest(bytes.value_or(""));
  const Clock::time_point parsed = Clock::now();
  const bool intact = store.find_installed_version().has_value();
  const Clock::time_point checked = Clock::now();
  std::printf("check read %.4f parse %.4f total %.4f intact %d\n", seconds(start, read),
              seconds(read, parsed), seconds(parsed, checked), intact && manifest.ok() ? 1 : 0);
  return 0;
}
