#include "install/stored_record.h"

#include "base/utf8_path.h"

namespace nelo {
namespace {

std::filesystem::path record_path(const std::filesystem::path& folder) {
  return folder / path_from_utf8(kStoredRecordName);
}

// A time no file has: the record of a file left damaged.
constexpr std::uint64_t kNeverWritten = 0;

}  // namespace

std::optional<FileRecord> load_file_record(VersionStore& store, const std::filesystem::path& folder,
                                           const ReleaseManifest& manifest) {
  if (!can_keep_record(manifest)) {
    return std::nullopt;
  }
  const std::optional<std::string> text = store.read_small(record_path(folder));
  return text ? parse_file_record(*text, manifest) : std::nullopt;
}

Status write_file_record(VersionStore& store, const std::filesystem::path& folder,
                         const ReleaseManifest& manifest,
                         const std::unordered_set<const ManifestFile*>* untrusted) {
  if (!can_keep_record(manifest)) {
    return {};
  }
  std::optional<FileRecord> record;
  if (const auto listing = store.list_files(folder)) {
    record = record_from_listing(manifest, *listing);
  }
  if (!record) {
    store.remove_file(record_path(folder));
    return {};
  }
  if (untrusted != nullptr) {
    for (std::size_t i = 0; i < manifest.files.size(); ++i) {
      if (untrusted->contains(&manifest.files[i])) {
        (*record)[i].written = kNeverWritten;
      }
    }
  }
  return store.write_new_file(record_path(folder), file_record_text(manifest, *record));
}

ReuseIndex find_reusable_files(VersionStore& store, const std::filesystem::path& folder,
                               const ReleaseManifest& manifest) {
  const std::optional<FileRecord> record = load_file_record(store, folder, manifest);
  return build_reuse_index(
      folder, manifest, record ? &*record : nullptr,
      [&](const std::filesystem::path& path) { return store.file_stamp(path); },
      [&](const std::filesystem::path& path) { return store.file_digest(path); });
}

}  // namespace nelo
