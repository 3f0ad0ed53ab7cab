// The version store on the real disk, below the installation root. Its code sits in one file a
// concern: current_pointer_win.cpp, stored_manifest_win.cpp, staging_disk_win.cpp,
// kept_bodies_win.cpp, mapped_files_win.cpp and update_lock_win.cpp.
#pragma once

#include "base/win_support.h"
#include "base/unique_handle.h"
#include "install/version_store.h"

namespace nelo {

class WindowsVersionStore final : public VersionStore {
 public:
  // The store below the installation root `root` (install_layout.h draws what it holds). Every
  // file written or copied is flushed to the disk before it is closed. Without `flush_files` it
  // is not: only for measuring what the flushing costs.
  explicit WindowsVersionStore(std::filesystem::path root, bool flush_files = true)
      : root_(std::move(root)), flush_files_(flush_files) {}

  void acquire_update_lock() override;
  // The update lock when this process holds it or nobody does; false, at once, when another
  // launcher holds it.
  bool try_update_lock();
  std::filesystem::path root() const { return root_; }
  std::optional<std::string> read_current_version() override;
  Status write_current_version(std::string_view label) override;
  std::optional<ReleaseManifest> load_stored_manifest(
      const std::optional<std::string>& label) override;
  std::optional<std::string> find_installed_version() override;
  ManifestTrust manifest_trust() override;

  std::filesystem::path versions_folder() override;
  std::filesystem::path downloads_folder() override;
  ReuseIndex reusable_files(const std::optional<std::string>& label,
                            const std::optional<ReleaseManifest>& manifest) override;
  void discard_folder(const std::filesystem::path& folder) override;
  Status make_folders(const std::filesystem::path& folder) override;
  Status take_over_file(const std::filesystem::path& source,
                        const std::filesystem::path& target) override;
  Status write_new_file(const std::filesystem::path& target, std::string_view content) override;
  Result<std::unique_ptr<FileWriter>> create_file(const std::filesystem::path& target) override;
  std::optional<std::unordered_map<std::string, FileStamp>> list_files(
      const std::filesystem::path& folder) override;
  std::optional<FileStamp> file_stamp(const std::filesystem::path& path) override;
  void remove_unwanted(
      const std::filesystem::path& folder,
      const std::function<bool(std::string_view path, bool is_folder)>& wanted) override;
  std::vector<std::string> folder_names(const std::filesystem::path& folder) override;
  std::optional<std::string> file_digest(const std::filesystem::path& path) override;
  void remove_file(const std::filesystem::path& path) override;
  Status replace_file(const std::filesystem::path& from, const std::filesystem::path& to) override;
  std::optional<std::string> read_small(const std::filesystem::path& path) override;
  Result<std::unique_ptr<FileView>> view_file(const std::filesystem::path& path) override;
  Result<std::unique_ptr<MappedNewFile>> create_mapped_file(const std::filesystem::path& target,
                                                            std::uint64_t size) override;
  void note(std::string_view line) override;
  Status move_folder(const std::filesystem::path& from, const std::filesystem::path& to) override;
  void prune_versions(std::string_view keep, const std::optional<std::string>& previous) override;

  std::unordered_map<std::string, std::uint64_t> kept_bodies() override;
  Result<std::unique_ptr<FileWriter>> keep_body(std::string_view sha256, bool append) override;
  Status read_kept_body(std::string_view sha256,
                        const std::function<Status(std::string_view)>& take) override;
  void drop_kept_bodies(const std::optional<std::string>& sha256) override;

 private:
  Status flush(HANDLE file) const;
  std::filesystem::path version_folder(std::string_view label) const;

  std::filesystem::path root_;
  bool flush_files_;
  // The update lock, once taken: a named mutex held until this store (the process's) ends.
  unique_handle update_lock_;
};

}  // namespace nelo
