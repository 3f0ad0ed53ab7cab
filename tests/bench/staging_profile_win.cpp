// Where the time of a staging goes, under Wine or Windows: the launcher's own pieces (its HTTP
// client, Brotli decoder, digest and disk) run one after another over a published release, each
// timed on its own.
//
//   staging-profile [--no-flush] OUT [PREVIOUS]
//
// NELO_UPDATE_BASE names the server. Files are written below OUT; with PREVIOUS (a folder that
// holds an earlier staging's files under the same paths), files whose content is unchanged are
// taken over from it as the launcher does. With --no-flush, files are not flushed to the disk
// (the launcher always flushes), to show what flushing costs. Prints one line of seconds:
//   profile request S body S decode S hash S write S take-over S switch S total S files N
#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "base/file_system_win.h"
#include "base/wide_text_win.h"
#include "install/brotli_decode.h"
#include "install/reuse.h"
#include "install/sha256.h"
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
  const bool flush = !(argc > 1 && std::wstring(argv[1]) == L"--no-flush");
  if (!flush) {
    --argc;
    ++argv;
  }
  if (argc < 2) {
    return stop("usage: staging-profile [--no-flush] OUT [PREVIOUS]");
  }
  const std::filesystem::path out = argv[1];
  const std::filesystem::path staging = out.wstring() + L".partial";
  auto client = nelo::open_update_client(10000);
  if (!client) {
    return stop(client.message());
  }
  auto manifest = nelo::fetch_release_manifest(**client);
  if (!manifest) {
    return stop(manifest.message());
  }
  std::map<std::string, std::filesystem::path> previous;
  if (argc > 2) {
    auto stored =
        nelo::read_small_file(std::filesystem::path(argv[2]) / L".manifest.json", 64ull << 20);
    auto parsed = stored ? nelo::parse_release_manifest(*stored)
                         : nelo::Result<nelo::ReleaseManifest>(nelo::fail("no manifest"));
    if (parsed) {
      for (const nelo::ManifestFile& file : parsed->files) {
        previous[file.sha256] = nelo::join_manifest_path(argv[2], file.path);
      }
    }
  }

  nelo::WindowsVersionStore disk(flush);
  double request = 0, body_time = 0, decode = 0, hash = 0, write = 0, take_over = 0;
  const Clock::time_point start = Clock::now();
  disk.discard_folder(staging);
  if (auto made = disk.make_folders(staging); !made) {
    return stop(made.message());
  }
  for (const nelo::ManifestFile& file : manifest->files) {
    const std::filesystem::path target = nelo::join_manifest_path(staging, file.path);
    (void)disk.make_folders(target.parent_path());
    if (const auto found = previous.find(file.sha256); found != previous.end()) {
      const Clock::time_point step = Clock::now();
      if (auto taken = disk.take_over_file(found->second, target); !taken) {
        return stop(taken.message());
      }
      take_over += seconds_since(step);
      continue;
    }
    Clock::time_point step = Clock::now();
    Clock::time_point first_byte{};
    auto body = (*client)->fetch_resource(
        "app/files/" + file.sha256,
        [&](std::size_t) {
          if (first_byte == Clock::time_point{}) {
            first_byte = Clock::now();
          }
        },
        file.zsize);
    if (!body) {
      return stop(body.message());
    }
    const Clock::time_point received = Clock::now();
    if (first_byte == Clock::time_point{}) {
      first_byte = received;
    }
    request += std::chrono::duration<double>(first_byte - step).count();
    body_time += std::chrono::duration<double>(received - first_byte).count();

    step = Clock::now();
    auto content = nelo::decode_brotli(body->view(), file.size,
                                       nelo::body_size_limit(nelo::physical_memory(), file.size));
    body->release();
    decode += seconds_since(step);
    if (!content) {
      return stop(file.path + " veio estragado");
    }
    step = Clock::now();
    if (nelo::sha256_hex(content->view()) != file.sha256) {
      return stop(file.path + " não confere com a lista");
    }
    hash += seconds_since(step);
    step = Clock::now();
    if (auto written = disk.write_new_file(target, content->view()); !written) {
      return stop(written.message());
    }
    write += seconds_since(step);
  }
  const Clock::time_point step = Clock::now();
  if (auto written = disk.write_new_file(staging / L".manifest.json", manifest->document);
      !written) {
    return stop(written.message());
  }
  disk.discard_folder(out);
  if (auto renamed = disk.move_folder(staging, out); !renamed) {
    return stop(renamed.message());
  }
  const double switch_time = seconds_since(step);
  std::printf(
      "profile request %.3f body %.3f decode %.3f hash %.3f write %.3f take-over %.3f switch %.3f "
      "total %.3f files %zu\n",
      request, body_time, decode, hash, write, take_over, switch_time, seconds_since(start),
      manifest->files.size());
  return 0;
}
