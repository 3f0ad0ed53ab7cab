#include "main/install_release.h"

#include "install/staging.h"

namespace nelo {

Result<InstallOutcome> install_release(UpdateClient& client, const ReleaseManifest& manifest,
                                       const ProgressSink& sink, VersionStore& store) {
  store.acquire_update_lock();

  const std::optional<std::string> previous = store.read_current_version();
  const std::optional<ReleaseManifest> previous_manifest = store.load_stored_manifest(previous);
  const InstallOutcome outcome{manifest_changes_app(previous_manifest, manifest.files)};
  if (previous == manifest.version) {
    return outcome;  // another launcher installed it while this one waited for the lock
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
