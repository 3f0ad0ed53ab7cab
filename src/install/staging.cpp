#include "install/staging.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <unordered_set>

#include "base/path_pieces.h"
#include "base/worker_threads.h"
#include "install/object_stream.h"
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

// A manifest path as the store's listings write it: pieces joined by "/".
std::string listing_key(std::string_view manifest_path) {
  std::string key(manifest_path);
  std::replace(key.begin(), key.end(), '\\', '/');
  return key;
}

// What a download that was told to stop gives; the board holds the failure that stopped it.
Failure stopped() {
  return fail("interrompido");
}

// One file of the release and where it goes.
struct Entry {
  const ManifestFile* file = nullptr;
  std::filesystem::path target;
};

// Fetches one object into its target: from the bytes an earlier attempt kept, when there are,
// else from nothing; the content is verified before the file is committed, and a file that
// fails goes again.
class ObjectFetch {
 public:
  ObjectFetch(UpdateClient& client, VersionStore& store, TransferBoard& board,
              const TransferSettings& settings, const Entry& entry)
      : client_(client),
        store_(store),
        board_(board),
        settings_(settings),
        file_(*entry.file),
        target_(entry.target) {}

  Status run(std::uint64_t kept) {
    Status fetched = attempt(kept);
    if (!fetched && refused_ && kept > 0 && !board_.stopped()) {
      // The kept bytes may be what the content was refused for (a torn write): once more, from
      // nothing.
      fetched = attempt(0);
    }
    return fetched;
  }

 private:
  Status attempt(std::uint64_t kept) {
    refused_ = false;
    auto out = store_.create_file(target_);
    if (!out) {
      return fail("gravar " + file_.path + ": " + out.message());
    }
    ObjectStream stream(file_, **out);
    std::uint64_t offset = 0;
    if (kept > 0) {
      // The decoder's state cannot be kept: the kept bytes go through it again, locally.
      Status replayed = store_.read_kept_body(file_.sha256, [&](std::string_view piece) -> Status {
        offset += piece.size();
        const Result<Receive> taken = stream.take(piece);
        return taken ? Status() : taken.error();
      });
      if (!replayed) {
        return refuse(replayed);
      }
    }
    std::unique_ptr<FileWriter> keeper;
    if (keeps_body() || kept > 0) {
      // Keeping is only a saving: without it, a broken-off download starts again.
      auto kept_body = store_.keep_body(file_.sha256, kept > 0);
      if (kept_body) {
        keeper = std::move(kept_body).value();
      }
    }
    while (!stream.ended()) {
      const ByteRange range = next_range(file_.zsize, offset, settings_.range_bytes);
      std::uint64_t received = 0;
      const auto ended = client_.fetch("app/files/" + file_.sha256, range,
                                       [&](std::string_view chunk) -> Result<Receive> {
                                         if (board_.stopped()) {
                                           return stopped();
                                         }
                                         if (keeper && !keeper->write(chunk)) {
                                           keeper.reset();
                                           store_.drop_kept_bodies(file_.sha256);
                                         }
                                         received += chunk.size();
                                         board_.add_bytes(chunk.size());
                                         Result<Receive> taken = stream.take(chunk);
                                         refused_ = !taken;
                                         return taken;
                                       });
      if (!ended) {
        // A network failure keeps what was kept for the next attempt; refused bytes do not.
        return refused_ ? refuse(ended.error()) : ended.error();
      }
      offset += received;
      // The object ends with this answer: it ran to the end, or brought less than asked for.
      if (range.length == 0 || ended->whole_object || received < range.length) {
        break;
      }
    }
    keeper.reset();
    if (Status finished = stream.finish(); !finished) {
      return refuse(finished);
    }
    if (keeps_body() || kept > 0) {
      store_.drop_kept_bodies(file_.sha256);
    }
    board_.finish_file();
    return {};
  }

  bool keeps_body() const { return file_.zsize >= settings_.keep_body_from; }

  // The content was refused: the kept bytes that led to it are never gone on from.
  Status refuse(Status failure) {
    refused_ = true;
    store_.drop_kept_bodies(file_.sha256);
    return failure;
  }

  UpdateClient& client_;
  VersionStore& store_;
  TransferBoard& board_;
  const TransferSettings& settings_;
  const ManifestFile& file_;
  const std::filesystem::path& target_;
  bool refused_ = false;
};

// Hands out the items of a list to several threads, one at a time, until the list or the
// staging ends.
template <class T>
class WorkList {
 public:
  explicit WorkList(const std::vector<T>& items) : items_(items) {}
  const T* next() {
    const std::size_t index = next_.fetch_add(1);
    return index < items_.size() ? &items_[index] : nullptr;
  }

 private:
  const std::vector<T>& items_;
  std::atomic<std::size_t> next_{0};
};

// Runs `work` for every item on up to `threads` threads; the first failure stops the rest and
// stays on the board. An exception (memory ran out) is a failure like any other.
template <class T, class Work>
void work_through(const std::vector<T>& items, std::size_t threads, TransferBoard& board,
                  const std::function<void()>& first, const Work& work) {
  WorkList<T> list(items);
  std::atomic<bool> first_taken{!first};
  run_on_threads(std::max<std::size_t>(1, std::min(threads, items.size() + (first ? 1 : 0))), [&] {
    try {
      if (!first_taken.exchange(true)) {
        first();
      }
      while (!board.stopped()) {
        const T* item = list.next();
        if (item == nullptr) {
          return;
        }
        if (Status done = work(*item); !done) {
          board.fail(done.error());
        }
      }
    } catch (const std::bad_alloc&) {
      board.fail(fail("memória insuficiente"));
    }
  });
}

// The files a failed attempt left in the staging folder: those the manifest lists for download
// with their listed size are hashed, and each whose digest matches is kept; files the manifest
// does not name go. Gives the entries that are kept as they are.
std::unordered_set<const ManifestFile*> keep_verified_leftovers(
    const std::unordered_map<std::string, std::uint64_t>& leftover,
    const std::vector<Entry>& downloads, const std::vector<Entry>& entries, std::size_t threads,
    VersionStore& store, const std::filesystem::path& staging) {
  std::unordered_set<std::string> named;
  for (const Entry& entry : entries) {
    named.insert(listing_key(entry.file->path));
  }
  for (const auto& [path, size] : leftover) {
    if (!named.contains(path)) {
      store.remove_file(join_manifest_path(staging, path));
    }
  }
  std::vector<Entry> candidates;
  for (const Entry& entry : downloads) {
    const auto found = leftover.find(listing_key(entry.file->path));
    if (found != leftover.end() && found->second == entry.file->size) {
      candidates.push_back(entry);
    }
  }
  std::mutex mutex;
  std::unordered_set<const ManifestFile*> verified;
  TransferBoard board({}, nullptr);
  work_through(candidates, threads, board, nullptr, [&](const Entry& entry) -> Status {
    // Only a digest that matches is trusted: a file torn by a power cut is fetched again.
    if (store.file_digest(entry.target) == entry.file->sha256) {
      std::lock_guard lock(mutex);
      verified.insert(entry.file);
    }
    return {};
  });
  return verified;
}

}  // namespace

ByteRange next_range(std::uint64_t zsize, std::uint64_t offset, std::uint64_t range_bytes) {
  if (zsize <= range_bytes && offset == 0) {
    return {};
  }
  if (offset >= zsize) {
    return {offset, 0};
  }
  return {offset, std::min(range_bytes, zsize - offset)};
}

Status stage_release(UpdateClient& client, const ReleaseManifest& manifest, const ReuseIndex& reuse,
                     const ProgressSink& sink, VersionStore& store,
                     const std::optional<std::string>& current, const TransferSettings& settings) {
  const std::size_t transfers =
      std::clamp<std::size_t>(settings.transfers, 1, kMostTransfersInFlight);
  const std::filesystem::path versions = store.versions_folder();
  const std::filesystem::path staging = versions / utf8_path(manifest.version + ".partial");
  const std::filesystem::path final_folder = versions / utf8_path(manifest.version);

  // Every file once, by the last entry for its path: an earlier entry of the same path would be
  // replaced by it, and two downloads must never write one file.
  std::vector<Entry> entries;
  {
    std::unordered_set<std::u32string> seen;
    for (auto file = manifest.files.rbegin(); file != manifest.files.rend(); ++file) {
      if (seen.insert(folded_path_key(file->path)).second) {
        entries.push_back({&*file, join_manifest_path(staging, file->path)});
      }
    }
    std::reverse(entries.begin(), entries.end());
  }
  std::vector<Entry> take_overs;
  std::vector<Entry> downloads;
  for (const Entry& entry : entries) {
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
    std::erase_if(downloads, [&](const Entry& entry) { return verified.contains(entry.file); });
  }

  // The staging folder is new and only this staging writes into it: a folder made once stays,
  // so each is asked for once (20,000 files in 100 folders cost 100 calls, not 20,000).
  std::unordered_set<std::filesystem::path::string_type> folders_made;
  for (const Entry& entry : entries) {
    const std::filesystem::path folder = entry.target.parent_path();
    if (has_parent_folder(entry.file->path) && !folders_made.contains(folder.native())) {
      if (Status created = store.make_folders(folder); !created) {
        return fail("pasta: " + created.message());
      }
      folders_made.insert(folder.native());
    }
  }

  // The largest first: a large file started last would keep one transfer going alone at the end.
  std::stable_sort(downloads.begin(), downloads.end(),
                   [](const Entry& a, const Entry& b) { return a.file->zsize > b.file->zsize; });
  const std::unordered_map<std::string, std::uint64_t> kept = store.kept_bodies();
  const auto kept_of = [&](const ManifestFile& file) -> std::uint64_t {
    const auto found = kept.find(file.sha256);
    return found == kept.end() ? 0 : found->second;
  };
  DownloadProgress start;
  for (const Entry& entry : downloads) {
    const std::uint64_t listed = entry.file->zsize == 0 ? 1 : entry.file->zsize;
    start.bytes_total += listed - std::min(listed, kept_of(*entry.file));
    ++start.file_count;
  }
  TransferBoard board(start, sink);
  board.report();

  // One thread links the reused files while the others download; then it downloads too.
  const auto take_over_all = [&] {
    for (const Entry& entry : take_overs) {
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
  work_through(downloads, transfers, board, take_over_all, [&](const Entry& entry) {
    return ObjectFetch(client, store, board, settings, entry).run(kept_of(*entry.file));
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
