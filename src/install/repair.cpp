#include "install/repair.h"

#include <algorithm>
#include <string>

#include "install/parallel_work.h"
#include "install/release_targets.h"
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
  const auto whole = files_with_their_content(
      entries, listing.value_or(decltype(listing)::value_type()), transfers, store);

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
  work_through(damaged, transfers, board, nullptr, [&](const Replacement& file) -> Status {
    const std::string& path = file.place.file->path;
    if (Status fetched = fetch_object(client, store, board, settings, *file.place.file,
                                      file.waiting, kept_of(*file.place.file));
        !fetched) {
      return fetched;
    }
    if (Status made = store.make_folders(file.place.target.parent_path()); !made) {
      return fail("pasta: " + made.message());
    }
    if (Status placed = store.replace_file(file.waiting, file.place.target); !placed) {
      store.remove_file(file.waiting);
      return fail("gravar " + path + ": " + placed.message());
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
  store.drop_kept_bodies();  // the waiting files that are left belong to no release
  return {};
}

}  // namespace nelo
