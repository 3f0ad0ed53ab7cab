// The version store on the real disk: staging, reuse and pruning through Windows' file calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/win_support.h"
#include "install/staging.h"

namespace nelo {

class WindowsStagingDisk final : public StagingDisk {
 public:
  // Every file written or copied is flushed to the disk before it is closed. Without
  // `flush_files` it is not: only for measuring what the flushing costs.
  explicit WindowsStagingDisk(bool flush_files = true) : flush_files_(flush_files) {}

  void remove_tree(const std::filesystem::path& folder) override;
  Status create_folders(const std::filesystem::path& folder) override;
  Status take_over_file(const std::filesystem::path& source,
                        const std::filesystem::path& target) override;
  Status write_new_file(const std::filesystem::path& target, std::string_view content) override;
  Status rename_folder(const std::filesystem::path& from, const std::filesystem::path& to) override;

 private:
  Status flush(HANDLE file) const;

  bool flush_files_;
};

// The reuse index of a version of the store, from its stored manifest.
ReuseIndex build_reuse_index(const std::optional<std::string>& label,
                             const std::optional<ReleaseManifest>& manifest);

// Stages the release into the versions folder of the installation root.
Status stage_version(UpdateClient& client, const ReleaseManifest& manifest, const ReuseIndex& reuse,
                     const ProgressSink& sink, const std::optional<std::string>& current);

// Removes every entry of the versions folder but `keep` and `previous`; never fails.
void prune_versions(std::string_view keep, const std::optional<std::string>& previous);

}  // namespace nelo
