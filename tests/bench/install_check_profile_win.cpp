// Where the time of a hidden start's intactness check goes, under Wine or Windows: reading the
// stored manifest of the current version, parsing it, the whole check (the same listings the
// launcher makes), and the system's own share: every folder of the version listed, nothing done
// with the entries.
//
//   install-check-profile       LOCALAPPDATA names the installation
//
// Prints "check read S parse S total S listing S entries N intact 0|1" (seconds; total is the
// whole check, which reads and parses the manifest again).
#include <chrono>
#include <cstdio>
#include <vector>

#include "base/file_system_win.h"
#include "install/install_layout.h"
#include "release/manifest.h"
#include "install/version_store_win.h"

int wmain() {
  using Clock = std::chrono::steady_clock;
  const auto seconds = [](Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
  };
  nelo::WindowsVersionStore store(nelo::install_root());
  const auto label = store.read_current_version();
  const Clock::time_point start = Clock::now();
  auto bytes = nelo::read_small_file(nelo::version_dir(label.value_or("-")) / L".manifest.json",
                                     nelo::kManifestMaxBytes);
  const Clock::time_point read = Clock::now();
  const auto manifest = nelo::parse_release_manifest(bytes.value_or(""));
  const Clock::time_point parsed = Clock::now();
  const bool intact = store.find_installed_version().has_value();
  const Clock::time_point checked = Clock::now();
  std::size_t entries = 0;
  std::vector<std::filesystem::path> folders = {nelo::version_dir(label.value_or("-"))};
  while (!folders.empty()) {
    const std::filesystem::path folder = std::move(folders.back());
    folders.pop_back();
    (void)nelo::for_each_in_folder(folder, [&](const WIN32_FIND_DATAW& found) {
      ++entries;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        folders.push_back(folder / found.cFileName);
      }
    });
  }
  const Clock::time_point listed = Clock::now();
  std::printf("check read %.4f parse %.4f total %.4f listing %.4f entries %zu intact %d\n",
              seconds(start, read), seconds(read, parsed), seconds(parsed, checked),
              seconds(checked, listed), entries, intact && manifest.ok() ? 1 : 0);
  return 0;
}
