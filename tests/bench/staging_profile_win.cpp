// The launcher's staging alone, under Wine or Windows, with the number of downloads in flight
// and the flushing chosen on the command line (the launcher itself always flushes and keeps
// eight in flight):
//
//   staging-profile [--no-flush] [--transfers N]
//
// NELO_UPDATE_BASE names the server and LOCALAPPDATA the installation, as for the launcher; the
// release is staged as versions\<label> and nothing is made current. Prints one line:
//   profile manifest S staging S files N transfers N
#include <chrono>
#include <cstdio>
#include <string>

#include "install/staging.h"
#include "install/version_store_win.h"
#include "main/release_fetch.h"
#include "net/update_client.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int stop(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool flush = true;
  std::size_t transfers = nelo::kTransfersInFlight;
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument == L"--no-flush") {
      flush = false;
    } else if (argument == L"--transfers" && i + 1 < argc) {
      transfers = static_cast<std::size_t>(std::stoul(argv[++i]));
    } else {
      return stop("usage: staging-profile [--no-flush] [--transfers N]");
    }
  }
  const Clock::time_point start = Clock::now();
  auto client = nelo::open_update_client(10000);
  if (!client) {
    return stop(client.message());
  }
  auto manifest = nelo::fetch_release_manifest(**client);
  if (!manifest) {
    return stop(manifest.message());
  }
  const double fetched = seconds_since(start);
  nelo::WindowsVersionStore store(flush);
  const Clock::time_point staging = Clock::now();
  nelo::TransferSettings settings;
  settings.transfers = transfers;
  if (auto staged =
          nelo::stage_release(**client, *manifest, {}, nullptr, store, std::nullopt, settings);
      !staged) {
    return stop(staged.message());
  }
  std::printf("profile manifest %.3f staging %.3f files %zu transfers %zu\n", fetched,
              seconds_since(staging), manifest->files.size(), transfers);
  return 0;
}
