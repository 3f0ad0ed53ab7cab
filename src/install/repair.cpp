#include "install/repair.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <unordered_set>

#include "install/parallel_work.h"
#include "install/release_targets.h"
#include "install/stored_record.h"
#include "install/transfer_board.h"

namespace nelo {
namespace {

std::filesystem::path utf8_path(std::string_view text) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

// A file the repair writes afresh, and where it waits before it takes its place.
struct Replacement {
  FileTarget place;
  std::filesystem::path waiting;
};

// Writes `content` as the file at `place` by way of a file at `waiting`.
Status replace_with(VersionStore& store, const std::filesystem::path& waiting,
                    const std::filesystem::path& place, std::string_view content) {
  if (Status written = store.write_new_file(waiting, content); !written) {
    return written;
  }
  return store.replace_file(waiting, place);
}

// Puts the verified file waiting for its place there. A file the application holds (a loaded
// program or library) cannot be replaced, but it can be renamed: it goes aside first, into the
// downloads folder, which is emptied once nothing holds it. When even that fails, the file stays
// as it was, and one line in the log says so.
Status put_in_place(VersionStore& store, const Replacement& file, const std::string& version) {
  Status placed = store.replace_file(file.waiting, file.place.target);
  if (placed) {
    return {};
  }
  // A name of its own: an earlier repair's file set aside may still be held there.
  const auto unique = std::chrono::system_clock::now().time_since_epoch().count();
  std::string suffix = std::to_string(unique);
  suffix += ".held";
  std::filesystem::path aside = file.waiting;
  aside += ".";
  aside += suffix;
  if (Status moved = store.replace_file(file.place.target, aside); moved) {
    placed = store.replace_file(file.waiting, file.place.target);
    if (placed) {
      return {};
    }
    (void)store.replace_file(aside, file.place.target);
  }
  store.remove_file(file.waiting);
  store.note("o arquivo " + file.place.file->path + " da versão " + version +
             " não foi reparado: " + placed.message());
  return placed;
}

}  // namespace

Status repair_release(UpdateClient& client, const ReleaseManifest& manifest,
                      const ProgressSink& sink, VersionStore& store,
                      const TransferSettings& settings) {
  const std::size_t transfers =
      std::clamp<std::size_t>(settings.transfers, 1, kMostTransfersInFlight);
  const std::filesystem::path folder = store.versions_folder() / utf8_path(manifest.version);
  const std::filesystem::path downloads = store.downloads_folder();
  const std::vector<FileTarget> entries = release_targets(manifest, folder);
  const auto listing = store.list_files(folder);
  // A file that still is as the launcher left it is not hashed again.
  const std::optional<FileRecord> record = load_file_record(store, folder, manifest);
  const auto whole =
      files_with_their_content(manifest, entries, listing.value_or(decltype(listing)::value_type()),
                               record ? &*record : nullptr, transfers, store);

  // An earlier repair that broke off kept what it had received of large objects.
  const std::unordered_map<std::string, std::uint64_t> kept = store.kept_bodies();
  const auto kept_of = [&](const ManifestFile& file) -> std::uint64_t {
    const auto found = kept.find(file.sha256);
    return found == kept.end() ? 0 : found->second;
  };
  std::vector<Replacement> damaged;
  DownloadProgress start;
  for (const FileTarget& entry : entries) {
    if (!whole.contains(entry.file)) {
      damaged.push_back({entry, downloads / ("repair-" + std::to_string(damaged.size()))});
      const std::uint64_t listed = entry.file->zsize == 0 ? 1 : entry.file->zsize;
      start.bytes_total += listed - std::min(listed, kept_of(*entry.file));
      ++start.file_count;
    }
  }
  if (Status made = store.make_folders(downloads); !made) {
    return fail("pasta: " + made.message());
  }
  TransferBoard board(start, sink);
  board.report();
  std::mutex left_mutex;
  std::unordered_set<const ManifestFile*> left_damaged;
  work_through(damaged, transfers, board, nullptr, [&](const Replacement& file) -> Status {
    if (Status fetched = fetch_object(client, store, board, settings, *file.place.file,
                                      file.waiting, kept_of(*file.place.file));
        !fetched) {
      return fetched;
    }
    if (Status made = store.make_folders(file.place.target.parent_path()); !made) {
      return fail("pasta: " + made.message());
    }
    if (Status placed = put_in_place(store, file, manifest.version); !placed) {
      std::lock_guard lock(left_mutex);
      left_damaged.insert(file.place.file);
    }
    return {};
  });
  if (std::optional<Failure> failure = board.failure()) {
    return *failure;
  }

  // The stored manifest and signature are what the next start checks the folder against.
  const std::pair<std::string_view, const std::string*> stored[] = {
      {kStoredManifestName, &manifest.document}, {kStoredSignatureName, &manifest.signature}};
  for (const auto& [name, content] : stored) {
    if (content->empty() || store.read_small(folder / utf8_path(name)) == *content) {
      continue;
    }
    if (Status written =
            replace_with(store, downloads / utf8_path(std::string("repair") + std::string(name)),
                         folder / utf8_path(name), *content);
        !written) {
      return fail("gravar a lista: " + written.message());
    }
  }
  // The files as they are now, but for those still damaged: the next start repairs those.
  if (Status recorded = write_file_record(store, folder, manifest, &left_damaged); !recorded) {
    return fail("gravar a lista: " + recorded.message());
  }
  store.drop_kept_bodies();  // the waiting files that are left belong to no release
  return {};
}

}  // namespace nelo
