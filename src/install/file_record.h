// What the launcher left of each file of a version: its size and last-write time as they were
// when the version was staged or repaired. A file whose size and time still match is the file
// the launcher verified, without hashing it again; one that does not was cut short, rewritten
// or replaced since, and its content is not trusted.
//
//   versions
//     <label>
//       .manifest.files      "nelo-files 1", then one line a file of the stored manifest, in
//                            its order: size, TAB, last-write time, TAB, path
//
// A version without a record (installed before records, or a release that lists a file of the
// record's name at its top) is checked by sizes alone, and its files are hashed before reuse.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "release/manifest.h"

namespace nelo {

constexpr std::string_view kStoredRecordName = ".manifest.files";

// A regular file's size and last-write time (in the file system's own units; on Windows
// 100-nanosecond steps since 1601).
struct FileStamp {
  FileStamp() = default;
  FileStamp(std::uint64_t file_size, std::uint64_t written_at = 0)  // NOLINT: a size is a stamp
      : size(file_size), written(written_at) {}

  std::uint64_t size = 0;
  std::uint64_t written = 0;

  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// One stamp for each entry of a manifest's `files`, in its order.
using FileRecord = std::vector<FileStamp>;

// False when the release lists a top-level file of the record's name: the version keeps no
// record then (the release's file is what that name holds).
bool can_keep_record(const ReleaseManifest& manifest);

// The record's text.
std::string file_record_text(const ReleaseManifest& manifest, const FileRecord& record);

// The record in `text` when it is one of `manifest` (as many lines as files, each with the
// file's path and listed size); otherwise nothing, and the version counts as having none.
std::optional<FileRecord> parse_file_record(std::string_view text, const ReleaseManifest& manifest);

// The stamps of the manifest's files in a listing of their folder (paths with "/" between
// pieces, as the store lists them), names matched exactly first, then as Windows matches them.
// Nothing when a file is not listed.
std::optional<FileRecord> record_from_listing(
    const ReleaseManifest& manifest, const std::unordered_map<std::string, FileStamp>& listing);

// True when the file `index` of the manifest still has what the record says of it (and the
// manifest's size); with no record, when its size is the listed one.
bool stamp_matches(const ReleaseManifest& manifest, const FileRecord* record, std::size_t index,
                   const FileStamp& seen);

}  // namespace nelo
