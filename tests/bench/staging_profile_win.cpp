// The launcher's staging alone, under Wine or Windows, with the number of downloads in flight
// and the flushing chosen on the command line (the launcher itself always flushes and keeps
// eight in flight):
//
//   staging-profile [--no-flush] [--transfers N] [--keep-from BYTES] [--fetch-only]
//
// NELO_UPDATE_BASE names the server and LOCALAPPDATA the installation, as for the launcher; the
// release is staged as versions\<label> and nothing is made current. --keep-from sets the least
// compressed size whose received bytes are kept as they arrive. With --fetch-only, every
// object is only fetched through the launcher's client, the same number at once, and dropped:
// what the HTTP client alone costs. Prints one line:
//   profile manifest S staging S files N transfers N
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "base/worker_threads.h"
#include "install/staging.h"
#include "install/install_layout.h"
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
  bool fetch_only = false;
  std::uint64_t keep_from = nelo::kKeepBodyFrom;
  std::size_t transfers = nelo::kTransfersInFlight;
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument == L"--no-flush") {
      flush = false;
    } else if (argument == L"--keep-from" && i + 1 < argc) {
      keep_from = std::stoull(argv[++i]);
    } else if (argument == L"--fetch-only") {
      fetch_only = true;
    } else if (argument == L"--transfers" && i + 1 < argc) {
      transfers = static_cast<std::size_t>(std::stoul(argv[++i]));
    } else {
      return stop(
          "usage: staging-profile [--no-flush] [--transfers N] [--keep-from BYTES] [--fetch-only]");
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
  nelo::WindowsVersionStore store(nelo::install_root(), flush);
  nelo::TransferSettings settings;
  settings.transfers = transfers;
  settings.keep_body_from = keep_from;
  const Clock::time_point staging = Clock::now();
  if (fetch_only) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    nelo::run_on_threads(transfers, [&] {
      for (std::size_t i = next++; i < manifest->files.size(); i = next++) {
        auto answer = (**client).fetch(
            "app/files/" + manifest->files[i].sha256, {},
            [](std::string_view) { return nelo::Result<nelo::Receive>(nelo::Receive::kMore); });
        failed = failed || !answer;
      }
    });
    if (failed) {
      return stop("a fetch failed");
    }
  } else if (auto staged = nelo::stage_release(**client, *manifest, {}, nullptr, store,
                                               std::nullopt, settings);
             !staged) {
    return stop(staged.message());
  }
  std::printf("profile manifest %.3f staging %.3f files %zu transfers %zu\n", fetched,
              seconds_since(staging), manifest->files.size(), transfers);
  return 0;
}
