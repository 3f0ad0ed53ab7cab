#include "install/file_record.h"

#include <charconv>

#include "install/release_targets.h"

namespace nelo {
namespace {

constexpr std::string_view kRecordHeading = "nelo-files 1\n";

// The next TAB- or line-ended field of `text` from `at`, moving `at` past its end.
std::optional<std::string_view> next_field(std::string_view text, std::size_t& at, char end) {
  const std::size_t found = text.find(end, at);
  if (found == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view field = text.substr(at, found - at);
  at = found + 1;
  return field;
}

// A number as the record writes one: decimal digits, no leading zero.
std::optional<std::uint64_t> whole_number(std::string_view text) {
  if (text.size() > 1 && text[0] == '0') {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

bool can_keep_record(const ReleaseManifest& manifest) {
  const std::u16string own = folded_path_key(kStoredRecordName);
  for (const ManifestFile& file : manifest.files) {
    if (folded_path_key(file.path) == own) {
      return false;
    }
  }
  return true;
}

std::string file_record_text(const ReleaseManifest& manifest, const FileRecord& record) {
  std::string text(kRecordHeading);
  for (std::size_t i = 0; i < manifest.files.size() && i < record.size(); ++i) {
    text += std::to_string(record[i].size);
    text += '\t';
    text += std::to_string(record[i].written);
    text += '\t';
    text += manifest.files[i].path;
    text += '\n';
  }
  return text;
}

std::optional<FileRecord> parse_file_record(std::string_view text,
                                            const ReleaseManifest& manifest) {
  if (!text.starts_with(kRecordHeading)) {
    return std::nullopt;
  }
  FileRecord record;
  record.reserve(manifest.files.size());
  std::size_t at = kRecordHeading.size();
  for (const ManifestFile& file : manifest.files) {
    const auto size = next_field(text, at, '\t');
    const auto written = next_field(text, at, '\t');
    const auto path = next_field(text, at, '\n');
    if (!size || !written || !path) {
      return std::nullopt;
    }
    const std::optional<std::uint64_t> size_value = whole_number(*size);
    const std::optional<std::uint64_t> written_value = whole_number(*written);
    if (!size_value || !written_value || *size_value != file.size || *path != file.path) {
      return std::nullopt;
    }
    record.emplace_back(*size_value, *written_value);
  }
  if (at != text.size()) {
    return std::nullopt;
  }
  return record;
}

std::optional<FileRecord> record_from_listing(
    const ReleaseManifest& manifest, const std::unordered_map<std::string, FileStamp>& listing) {
  FileRecord record;
  record.reserve(manifest.files.size());
  // Built only when a name is not listed as the manifest spells it.
  std::optional<std::unordered_map<std::u16string, FileStamp>> folded;
  for (const ManifestFile& file : manifest.files) {
    if (const auto found = listing.find(listing_key(file.path)); found != listing.end()) {
      record.push_back(found->second);
      continue;
    }
    if (!folded) {
      folded.emplace();
      for (const auto& [path, stamp] : listing) {
        folded->emplace(folded_path_key(path), stamp);
      }
    }
    const auto found = folded->find(folded_path_key(file.path));
    if (found == folded->end()) {
      return std::nullopt;
    }
    record.push_back(found->second);
  }
  return record;
}

bool stamp_matches(const ReleaseManifest& manifest, const FileRecord* record, std::size_t index,
                   const FileStamp& seen) {
  const ManifestFile& file = manifest.files[index];
  if (seen.size != file.size) {
    return false;
  }
  return record == nullptr || (index < record->size() && (*record)[index] == seen);
}

}  // namespace nelo
