#include "main/install_release.h"

#include "install/repair.h"
#include "install/staging.h"

namespace nelo {

Result<InstallOutcome> install_release(UpdateClient& client, const ReleaseManifest& manifest,
                                       const ProgressSink& sink, VersionStore& store) {
  store.acquire_update_lock();

  // The release was held against the current version before the lock; another launcher may
  // have installed a newer one while this one waited.
  if (const std::optional<std::int64_t> signed_at = signing_time(manifest.signature)) {
    const ManifestTrust trust = store.manifest_trust();
    if (!trust.keys.empty() && trust.installed_signed_at &&
        *signed_at < *trust.installed_signed_at) {
      return fail("lista antiga");
    }
  }

  const std::optional<std::string> previous = store.read_current_version();
  const std::optional<ReleaseManifest> previous_manifest = store.load_stored_manifest(previous);
  const InstallOutcome outcome{manifest_changes_app(previous_manifest, manifest.files)};
  if (previous == manifest.version) {
    // Another launcher installed it while this one waited for the lock; or it is the version
    // that is current but damaged (a file deleted or changed since), which is repaired where
    // it stands, the application perhaps running from it.
    if (store.find_installed_version() == previous) {
      return outcome;
    }
    if (Status repaired = repair_release(client, manifest, sink, store); !repaired) {
      return repaired.error();
    }
    return outcome;
  }

  const ReuseIndex reuse = store.reusable_files(previous, previous_manifest);
  if (Status staged = stage_release(client, manifest, reuse, sink, store, previous); !staged) {
    return staged.error();
  }
  if (Status switched = store.write_current_version(manifest.version); !switched) {
    return switched.error();
  }
  store.prune_versions(manifest.version, previous);
  return outcome;
}

}  // namespace nelo
