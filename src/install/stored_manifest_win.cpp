#include <chrono>

#include "base/file_system_win.h"
#include "base/unique_handle.h"
#include "base/utf8_path.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"
#include "install/intactness.h"
#include "install/stored_record.h"
#include "install/version_store_win.h"

namespace nelo {
namespace {

// Lists one folder below a version for the intactness check, one entry at a time.
bool visit_folder(const std::filesystem::path& folder, const EntryVisitor& visit) {
  return for_each_in_folder(folder, [&](const WIN32_FIND_DATAW& found) {
    visit(as_utf16(found.cFileName), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
          FileStamp((static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
                    filetime_value(found.ftLastWriteTime)));
  });
}

}  // namespace

std::optional<ReleaseManifest> WindowsVersionStore::load_stored_manifest(
    const std::optional<std::string>& label) {
  if (!label) {
    return std::nullopt;
  }
  auto bytes = read_small_file(version_folder(*label) / path_from_utf8(kStoredManifestName),
                               kManifestMaxBytes);
  if (!bytes) {
    return std::nullopt;
  }
  auto manifest = parse_release_manifest(std::move(*bytes));
  if (!manifest) {
    return std::nullopt;
  }
  return std::move(manifest).value();
}

ManifestTrust WindowsVersionStore::manifest_trust() {
  ManifestTrust trust;
  trust.keys = built_in_release_keys();
  if (trust.keys.empty()) {
    return trust;  // without keys the disk is not even asked
  }
  trust.now = std::chrono::duration_cast<std::chrono::seconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
  if (const std::optional<std::string> current = read_current_version()) {
    // The stored signature was verified when its version was installed; one that cannot be
    // read counts as none (a version installed before keys), which accepts any verified
    // release.
    const auto stored = read_small_file(
        version_folder(*current) / path_from_utf8(kStoredSignatureName), kSignatureMaxBytes);
    if (stored) {
      trust.installed_signed_at = signing_time(*stored);
    }
  }
  return trust;
}

std::optional<std::string> WindowsVersionStore::find_installed_version() {
  std::optional<std::string> current = read_current_version();
  const std::optional<ReleaseManifest> manifest = load_stored_manifest(current);
  if (!manifest) {
    return std::nullopt;
  }
  const std::filesystem::path folder = version_folder(*current);
  const std::optional<FileRecord> record = load_file_record(*this, folder, *manifest);
  const bool intact = is_version_intact(
      *manifest, [&](std::string_view path) { return file_stamp(folder / path_from_utf8(path)); },
      [&](const std::vector<std::u16string>& pieces, const EntryVisitor& visit) {
        std::filesystem::path below = folder;
        for (const std::u16string& piece : pieces) {
          below /= to_wide(piece);
        }
        return visit_folder(below, visit);
      },
      record ? &*record : nullptr);
  return intact ? current : std::nullopt;
}

}  // namespace nelo
