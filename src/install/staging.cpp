#include "install/staging.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <new>
#include <unordered_set>

#include "base/path_pieces.h"
#include "install/pack_fetch.h"
#include "install/pack_plan.h"
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

bool has_parent_folder(std::string_view manifest_path) {
  return manifest_path.find_first_of(kManifestPathSeparators) != std::string_view::npos;
}

// The files a failed attempt left in the staging folder: whatever the release does not list
// goes (an unlisted DLL beside the application is one it would load), and the files that hash
// to their digest are kept. Gives the entries that are kept as they are.
std::unordered_set<const ManifestFile*> keep_verified_leftovers(
    const ReleaseManifest& manifest, const std::vector<FileTarget>& downloads,
    const std::vector<FileTarget>& entries, std::size_t threads, VersionStore& store,
    const std::filesystem::path& staging) {
  const ReleaseEntries release(entries);
  store.remove_unwanted(staging, [&](std::string_view path, bool is_folder) {
    return release.wants(path, is_folder);
  });
  const auto leftover = store.list_files(staging);
  return files_with_their_content(manifest, downloads,
                                  leftover.value_or(decltype(leftover)::value_type()), nullptr,
                                  threads, store);
}

// True when `folder` is a complete version of `manifest`: its stored manifest is the release's,
// and every file is as the folder's record says the launcher left it (a staging that was
// renamed into place, then stopped before the pointer was switched).
bool is_complete_version(const ReleaseManifest& manifest, const std::vector<FileTarget>& entries,
                         VersionStore& store, const std::filesystem::path& folder) {
  if (store.read_small(folder / utf8_path(kStoredManifestName)) != manifest.document) {
    return false;
  }
  const std::optional<FileRecord> record = load_file_record(store, folder, manifest);
  const auto listing = store.list_files(folder);
  if (!record || !listing) {
    return false;
  }
  return std::all_of(entries.begin(), entries.end(), [&](const FileTarget& entry) {
    const auto found = listing->find(listing_key(entry.file->path));
    return found != listing->end() &&
           stamp_matches(manifest, &*record,
                         static_cast<std::size_t>(entry.file - manifest.files.data()),
                         found->second);
  });
}

// What the store holds for other releases goes before this one starts: staging folders of
// other labels, and kept bodies of objects this release does not have (or more bytes than its
// object). What the store holds beyond its versions is then bounded by one release.
// `folders` are the names in the versions folder.
void remove_other_releases(const ReleaseManifest& manifest, VersionStore& store,
                           const std::filesystem::path& versions,
                           const std::vector<std::string>& folders,
                           const std::string& staging_name) {
  for (const std::string& name : folders) {
    if (name.ends_with(".partial") && !same_folder_name(name, staging_name)) {
      store.discard_folder(versions / utf8_path(name));
    }
  }
  std::unordered_map<std::string_view, std::uint64_t> objects;
  for (const ManifestFile* object : served_objects(manifest)) {
    objects.emplace(object->sha256, object->zsize);
  }
  for (const auto& [sha256, size] : store.kept_bodies()) {
    const auto found = objects.find(sha256);
    if (found == objects.end() || size > found->second) {
      store.drop_kept_bodies(sha256);
    }
  }
}

// One piece of a staging's download work: a range of a pack, or one file alone.
struct DownloadWork {
  const PackRange* range = nullptr;
  const FileTarget* file = nullptr;
  std::uint64_t bytes = 0;  // what it brings, to start the largest first
};

// The files fetched whole (no patch, nothing kept) come from runs of pack members where the
// release has packs; every other download, and every file no pack holds, comes alone. The
// largest work goes first: a large file started last would keep one transfer going alone at
// the end. `plan` and `members` hold what the work points into.
std::vector<DownloadWork> plan_downloads(const ReleaseManifest& manifest,
                                         const std::vector<FileTarget>& downloads,
                                         const std::function<bool(const FileTarget&)>& whole,
                                         std::size_t transfers, PackPlan& plan,
                                         MemberTargets& members) {
  std::vector<DownloadWork> work;
  std::unordered_set<std::string> needed;
  for (const FileTarget& entry : downloads) {
    if (!manifest.packs.empty() && whole(entry)) {
      members[entry.file->sha256].push_back(entry);
      needed.insert(entry.file->sha256);
    } else {
      work.push_back({nullptr, &entry, entry.file->zsize});
    }
  }
  if (!needed.empty()) {
    std::unordered_map<std::string, std::uint64_t> zsize;
    for (const ManifestFile* object : served_objects(manifest)) {
      zsize.emplace(object->sha256, object->zsize);
    }
    plan = plan_pack_ranges(manifest.packs, zsize, needed, transfers);
    for (const PackRange& range : plan.ranges) {
      work.push_back({&range, nullptr, range.length});
    }
    for (const std::string& sha256 : plan.alone) {
      for (const FileTarget& entry : members.at(sha256)) {
        work.push_back({nullptr, &entry, entry.file->zsize});
      }
    }
  }
  std::stable_sort(work.begin(), work.end(),
                   [](const DownloadWork& a, const DownloadWork& b) { return a.bytes > b.bytes; });
  return work;
}

// A signed release keeps its signature beside the manifest: the signing time of the current
// version is what a later release is held against.
Status store_signature(VersionStore& store, const std::filesystem::path& folder,
                       const ReleaseManifest& manifest) {
  const std::filesystem::path path = folder / utf8_path(kStoredSignatureName);
  if (manifest.signature.empty() || store.read_small(path) == manifest.signature) {
    return {};
  }
  if (Status written = store.write_new_file(path, manifest.signature); !written) {
    return fail("gravar a lista: " + written.message());
  }
  return {};
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

  // One listing of the versions folder tells which of its folders are there.
  const std::string staging_name = manifest.version + ".partial";
  const std::vector<std::string> folders = store.folder_names(versions);
  const auto has_folder = [&](const std::string& name) {
    return std::any_of(folders.begin(), folders.end(),
                       [&](const std::string& folder) { return same_folder_name(folder, name); });
  };
  remove_other_releases(manifest, store, versions, folders, staging_name);
  bool has_staging = has_folder(staging_name);

  // A version folder of this label that is already whole needs nothing fetched; one that is not
  // is taken over file by file, as a leftover staging folder is. The current version's folder
  // is never touched here.
  const bool is_current = current && same_folder_name(*current, manifest.version);
  if (!is_current && has_folder(manifest.version)) {
    if (is_complete_version(manifest, release_targets(manifest, final_folder), store,
                            final_folder)) {
      if (Status signed_copy = store_signature(store, final_folder, manifest); !signed_copy) {
        return signed_copy;
      }
      store.drop_kept_bodies();
      return {};
    }
    if (!has_staging) {
      has_staging = store.move_folder(final_folder, staging).ok();
    }
  }

  if (!has_staging) {
    store.discard_folder(staging);
    if (Status created = store.make_folders(staging); !created) {
      return fail("pasta: " + created.message());
    }
  } else {
    const auto verified =
        keep_verified_leftovers(manifest, downloads, entries, transfers, store, staging);
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
  PackPlan plan;
  MemberTargets members;
  const std::vector<DownloadWork> work = plan_downloads(
      manifest, downloads,
      [&](const FileTarget& entry) {
        return !patches.contains(entry.file) && kept_of(*entry.file) == 0;
      },
      transfers, plan, members);
  PacksRefused refused;
  work_through(work, transfers, board, take_over_all, [&](const DownloadWork& item) {
    if (item.range != nullptr) {
      return fetch_pack_range(client, store, board, settings, *item.range, members, refused);
    }
    const FileTarget& entry = *item.file;
    const auto patch = patches.find(entry.file);
    return fetch_object(client, store, board, settings, *entry.file, entry.target,
                        kept_of(*entry.file), patch == patches.end() ? nullptr : &patch->second);
  });
  if (std::optional<Failure> failure = board.failure()) {
    return *failure;
  }

  // What each file is now, as the launcher left it: later starts and updates trust a file
  // that still matches without hashing it, and nothing that does not.
  if (Status recorded = write_file_record(store, staging, manifest); !recorded) {
    return fail("gravar a lista: " + recorded.message());
  }
  if (Status written =
          store.write_new_file(staging / utf8_path(kStoredManifestName), manifest.document);
      !written) {
    return fail("gravar a lista: " + written.message());
  }
  if (Status signed_copy = store_signature(store, staging, manifest); !signed_copy) {
    return signed_copy;
  }
  // A leftover folder of this version goes, but never the current version's: a label that
  // differs from it only in letter case names the same folder on Windows. The rename then fails
  // and the installed version stays whole.
  if (!is_current) {
    store.discard_folder(final_folder);
  }
  if (Status renamed = store.move_folder(staging, final_folder); !renamed) {
    return fail("trocar a pasta: " + renamed.message());
  }
  store.drop_kept_bodies();  // whatever is left there belongs to no release any more
  return {};
}

}  // namespace nelo
