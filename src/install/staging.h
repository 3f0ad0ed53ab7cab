// Building the folder of a new release: every file taken over from the previous version or
// downloaded, decoded and verified, then the whole folder moved into place by one rename.
//
//   versions
//     <label>.partial     filled in manifest order; ".manifest.json" is written last
//     <label>             comes into being complete, by renaming the folder above
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "install/download_progress.h"
#include "install/manifest.h"
#include "install/reuse.h"
#include "net/update_client.h"

namespace nelo {

// What staging does to the disk. Every failure is the system's error text, which the staging
// wraps into its own message.
class StagingDisk {
 public:
  virtual ~StagingDisk() = default;
  // Removes a folder with everything inside it; failures are ignored.
  virtual void remove_tree(const std::filesystem::path& folder) = 0;
  // Creates a folder with its missing parents; one that exists already is fine.
  virtual Status create_folders(const std::filesystem::path& folder) = 0;
  // Makes `target` name the same file as `source` (a hard link), else a copy of it.
  virtual Status take_over_file(const std::filesystem::path& source,
                                const std::filesystem::path& target) = 0;
  // Writes `content` as a new file at `target`, replacing (never writing through) any file of
  // that name, which may be a hard link to a file of an installed version.
  virtual Status write_new_file(const std::filesystem::path& target, std::string_view content) = 0;
  virtual Status rename_folder(const std::filesystem::path& from,
                               const std::filesystem::path& to) = 0;
};

struct StagingPlace {
  std::filesystem::path versions_folder;
  // The version that is current while staging; its folder is never removed.
  std::optional<std::string> current;
  // The machine's physical memory in bytes (0 when unknown): what one file's body and content
  // may take is bounded by it (`body_size_limit`).
  std::uint64_t physical_memory = 0;
};

// Stages the release and moves it into place as versions\<label>; the current version is not
// changed. Gives the first failure's message.
Status stage_version(UpdateClient& client, const ReleaseManifest& manifest, const ReuseIndex& reuse,
                     const ProgressSink& sink, StagingDisk& disk, const StagingPlace& place);

// The totals before anything is fetched: pending files are those not found in the index.
DownloadProgress initial_progress(const ReleaseManifest& manifest, const ReuseIndex& reuse);

}  // namespace nelo
