#include "main/release_store.h"

#include "install/manifest_store.h"
#include "install/staging_disk_win.h"
#include "install/version_store.h"
#include "main/update_lock.h"

namespace nelo {
namespace {

class InstalledReleaseStore final : public ReleaseStore {
 public:
  void acquire_update_lock() override { nelo::acquire_update_lock(); }
  ManifestTrust manifest_trust() override { return installed_manifest_trust(); }
  std::optional<std::string> read_current_version() override {
    return nelo::read_current_version();
  }
  std::optional<ReleaseManifest> load_stored_manifest(
      const std::optional<std::string>& label) override {
    return nelo::load_stored_manifest(label);
  }
  std::optional<std::string> find_installed_version() override {
    return nelo::find_installed_version();
  }
  ReuseIndex build_reuse_index(const std::optional<std::string>& label,
                               const std::optional<ReleaseManifest>& manifest) override {
    return nelo::build_reuse_index(label, manifest);
  }
  Status stage_version(UpdateClient& client, const ReleaseManifest& manifest,
                       const ReuseIndex& reuse, const ProgressSink& sink,
                       const std::optional<std::string>& current) override {
    return nelo::stage_version(client, manifest, reuse, sink, current);
  }
  Status write_current_version(std::string_view label) override {
    return nelo::write_current_version(label);
  }
  void prune_versions(std::string_view keep, const std::optional<std::string>& previous) override {
    nelo::prune_versions(keep, previous);
  }
};

}  // namespace

ReleaseStore& installed_release_store() {
  static InstalledReleaseStore store;
  return store;
}

}  // namespace nelo
