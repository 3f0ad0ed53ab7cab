#include "nelo_publish/garbage.h"

#include <algorithm>
#include <map>
#include <set>
#include <system_error>

#include "release/manifest.h"
#include "nelo_publish/release_folder.h"
#include "nelo_publish/release_history.h"
#include "nelo_publish/served_pair.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;

// The paths below ROOT that `manifest` makes a launcher fetch.
void add_references(const ReleaseManifest& manifest, std::set<std::string>& needed) {
  for (const ManifestFile* object : served_objects(manifest)) {
    needed.insert("app/files/" + object->sha256);
    for (const PatchOffer& patch : object->patches) {
      needed.insert("app/patches/" + patch.from + "-" + object->sha256);
    }
  }
  for (const ReleasePack& pack : manifest.packs) {
    needed.insert("app/packs/" + pack.name);
  }
}

// Seconds since 1970 of a file's last write.
std::int64_t written_at(const fs::directory_entry& entry, std::error_code& error) {
  return seconds_since_1970(entry.last_write_time(error));
}

}  // namespace

Result<GarbageReport> collect_garbage(const fs::path& root, const GarbageOptions& options) {
  if (options.keep == 0) {
    return fail("--keep precisa de pelo menos 1");
  }
  const std::vector<std::string> labels = published_labels(root);
  if (labels.empty()) {
    return fail("não há histórico de versões em " + shown(root / "releases") +
                ": sem ele não se sabe o que está em uso (publique com esta ferramenta)");
  }
  GarbageReport report;
  std::set<std::string> needed;
  for (auto label = labels.rbegin();
       label != labels.rend() && report.kept_releases.size() < options.keep; ++label) {
    Result<ReleaseManifest> manifest = recorded_release(root, *label);
    if (!manifest) {
      return manifest.error();
    }
    add_references(*manifest, needed);
    report.kept_releases.push_back(*label);
  }
  // The grace period of a file an older release used counts from when that release stopped
  // being kept: when the release `keep` places newer than it was published. A file written long
  // ago but used until a moment ago is not garbage yet.
  std::map<std::string, std::int64_t> released_at;
  for (std::size_t older = 0; older + options.keep < labels.size(); ++older) {
    const std::optional<std::int64_t> pushed_out = published_at(root, labels[older + options.keep]);
    Result<ReleaseManifest> manifest = recorded_release(root, labels[older]);
    if (!pushed_out || !manifest) {
      continue;  // the file's own time then
    }
    std::set<std::string> used;
    add_references(*manifest, used);
    for (const std::string& path : used) {
      std::int64_t& at = released_at[path];
      at = std::max(at, *pushed_out);
    }
  }
  // What is served now stays, whatever the history says (a manifest put back by hand).
  std::error_code error;
  const fs::path served = served_manifest_path(root);
  if (fs::exists(served, error)) {
    Result<std::string> document = read_whole_file(served, 0);
    Result<ReleaseManifest> manifest =
        document ? parse_release_manifest(std::move(*document)) : document.error();
    if (!manifest) {
      return fail("o manifesto servido em " + shown(served) +
                  " não pôde ser lido: " + manifest.message());
    }
    add_references(*manifest, needed);
  }

  for (const char* folder : {"files", "patches", "packs"}) {
    const fs::path location = root / "app" / folder;
    if (!fs::exists(location, error)) {
      continue;
    }
    fs::directory_iterator entries(location, error);
    if (error) {
      return fail("não foi possível listar " + shown(location) + ": " + error.message());
    }
    for (const fs::directory_entry& entry : entries) {
      if (!entry.is_regular_file(error)) {
        continue;
      }
      const std::optional<std::string> name = path_to_utf8(entry.path().filename());
      if (!name) {
        continue;  // never a name this tool writes
      }
      const std::string path = std::string("app/") + folder + "/" + *name;
      if (needed.contains(path)) {
        continue;
      }
      const std::uint64_t size = entry.file_size(error);
      std::int64_t since = written_at(entry, error);
      if (error) {
        return fail("não foi possível ler " + shown(entry.path()) + ": " + error.message());
      }
      if (const auto released = released_at.find(path); released != released_at.end()) {
        since = std::max(since, released->second);
      }
      if (options.now - since < options.grace_seconds) {
        ++report.young;
        report.young_bytes += size;
        continue;
      }
      report.unused.push_back({path, size});
    }
  }
  std::sort(report.unused.begin(), report.unused.end(),
            [](const UnusedFile& a, const UnusedFile& b) { return a.path < b.path; });
  if (options.remove) {
    for (const UnusedFile& file : report.unused) {
      if (fs::remove(root / path_from_utf8(file.path), error); error) {
        report.failures.push_back(file.path + ": " + error.message());
        continue;
      }
      ++report.removed;
    }
  }
  return report;
}

}  // namespace nelo::publish
