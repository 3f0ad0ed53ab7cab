#include "install/staging.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <unordered_set>

#include "base/path_pieces.h"
#include "install/parallel_work.h"
#include "install/release_targets.h"
#include "install/transfer_board.h"

namespace nelo {
namespace {

std::filesystem::path utf8_path(std::string_view text) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

bool has_parent_folder(std::string_view manifest_path) {
  return manifest_path.find_first_of(kManifestPathSeparators) != std::string_view::npos;
}

// The files a failed attempt left in the staging folder: files the manifest does not name go,
// and those that hash to their digest are kept. Gives the entries that are kept as they are.
std::unordered_set<const ManifestFile*> keep_verified_leftovers(
    const std::unordered_map<std::string, std::uint64_t>& leftover,
    const std::vector<FileTarget>& downloads, const std::vector<FileTarget>& entries,
    std::size_t threads, VersionStore& store, const std::filesystem::path& staging) {
  std::unordered_set<std::string> named;
  for (const FileTarget& entry : entries) {
    named.insert(listing_key(entry.file->path));
  }
  for (const auto& [path, size] : leftover) {
    if (!named.contains(path)) {
      store.remove_file(join_manifest_path(staging, path));
    }
  }
  return files_with_their_content(downloads, leftover, threads, store);
}

}  // namespace

Status stage_release(UpdateClient& client, const ReleaseManifest& manifest, const ReuseIndex& reuse,
                     const ProgressSink& sink, VersionStore& store,
                     const std::optional<std::string>& current, const TransferSettings& settings) {
  const std::size_t transfers =
      std::clamp<std::size_t>(settings.transfers, 1, kMostTransfersInFlight);
  const std::filesystem::path versions = store.versions_folder();
  const std::filesystem::path staging = versions / utf8_path(manifest.version + ".partial");
  const std::filesystem::path final_folder = versions / utf8_path(manifest.version);

  // Every file once: two downloads must never write one file.
  const std::vector<FileTarget> entries = release_targets(manifest, staging);
  std::vector<FileTarget> take_overs;
  std::vector<FileTarget> downloads;
  for (const FileTarget& entry : entries) {
    (find_reusable(reuse, entry.file->sha256) ? take_overs : downloads).push_back(entry);
  }

  const auto leftover = store.list_files(staging);
  if (!leftover) {
    store.discard_folder(staging);
    if (Status created = store.make_folders(staging); !created) {
      return fail("pasta: " + created.message());
    }
  } else {
    const auto verified =
        keep_verified_leftovers(*leftover, downloads, entries, transfers, store, staging);
    std::erase_if(downloads,
                  [&](const FileTarget& entry) { return verified.contains(entry.file); });
  }

  // The staging folder is new and only this staging writes into it: a folder made once stays,
  // so each is asked for once (20,000 files in 100 folders cost 100 calls, not 20,000).
  std::unordered_set<std::filesystem::path::string_type> folders_made;
  for (const FileTarget& entry : entries) {
    const std::filesystem::path folder = entry.target.parent_path();
    if (has_parent_folder(entry.file->path) && !folders_made.contains(folder.native())) {
      if (Status created = store.make_folders(folder); !created) {
        return fail("pasta: " + created.message());
      }
      folders_made.insert(folder.native());
    }
  }

  // The largest first: a large file started last would keep one transfer going alone at the end.
  std::stable_sort(
      downloads.begin(), downloads.end(),
      [](const FileTarget& a, const FileTarget& b) { return a.file->zsize > b.file->zsize; });
  const std::unordered_map<std::string, std::uint64_t> kept = store.kept_bodies();
  const auto kept_of = [&](const ManifestFile& file) -> std::uint64_t {
    const auto found = kept.find(file.sha256);
    return found == kept.end() ? 0 : found->second;
  };
  // A file whose older content the current version holds comes from a patch when it offers
  // one; the totals count what is fetched: the patch, or what the object still lacks.
  std::unordered_map<const ManifestFile*, PatchSource> patches;
  DownloadProgress start;
  for (const FileTarget& entry : downloads) {
    const std::uint64_t kept_bytes = kept_of(*entry.file);
    std::optional<PatchSource> patch;
    if (kept_bytes == 0) {
      patch = usable_patch(*entry.file, reuse);
    }
    if (patch) {
      start.bytes_total += patch->offer->zsize;
      patches.emplace(entry.file, *patch);
    } else {
      const std::uint64_t listed = entry.file->zsize == 0 ? 1 : entry.file->zsize;
      start.bytes_total += listed - std::min(listed, kept_bytes);
    }
    ++start.file_count;
  }
  TransferBoard board(start, sink);
  board.report();

  // One thread links the reused files while the others download; then it downloads too.
  const auto take_over_all = [&] {
    for (const FileTarget& entry : take_overs) {
      if (board.stopped()) {
        return;
      }
      const std::filesystem::path& source = *find_reusable(reuse, entry.file->sha256);
      if (Status taken = store.take_over_file(source, entry.target); !taken) {
        board.fail(fail("copiar " + entry.file->path + ": " + taken.message()));
        return;
      }
    }
  };
  work_through(downloads, transfers, board, take_over_all, [&](const FileTarget& entry) {
    const auto patch = patches.find(entry.file);
    return fetch_object(client, store, board, settings, *entry.file, entry.target,
                        kept_of(*entry.file), patch == patches.end() ? nullptr : &patch->second);
  });
  if (std::optional<Failure> failure = board.failure()) {
    return *failure;
  }

  if (Status written =
          store.write_new_file(staging / utf8_path(kStoredManifestName), manifest.document);
      !written) {
    return fail("gravar a lista: " + written.message());
  }
  // A signed release keeps its signature beside the manifest: the signing time of the current
  // version is what a later release is held against.
  if (!manifest.signature.empty()) {
    if (Status written =
            store.write_new_file(staging / utf8_path(kStoredSignatureName), manifest.signature);
        !written) {
      return fail("gravar a lista: " + written.message());
    }
  }
  // A leftover folder of this version goes, but never the current version's: a label that
  // differs from it only in letter case names the same folder on Windows. The rename then fails
  // and the installed version stays whole.
  if (!current || !same_folder_name(*current, manifest.version)) {
    store.discard_folder(final_folder);
  }
  if (Status renamed = store.move_folder(staging, final_folder); !renamed) {
    return fail("trocar a pasta: " + renamed.message());
  }
  store.drop_kept_bodies();  // whatever is left there belongs to no release any more
  return {};
}

}  // namespace nelo
