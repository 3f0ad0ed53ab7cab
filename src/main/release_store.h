// Everything the update drivers do to the installation, behind one interface so that the
// decisions of installing a release and of the update session are tested without a disk.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "install/download_progress.h"
#include "install/manifest.h"
#include "install/manifest_store.h"
#include "install/reuse.h"
#include "net/update_client.h"

namespace nelo {

class ReleaseStore {
 public:
  virtual ~ReleaseStore() = default;

  // Waits without limit for the update lock shared by all launcher processes of the session.
  virtual void acquire_update_lock() = 0;
  virtual std::optional<std::string> read_current_version() = 0;
  // What a fetched manifest must show (release keys, the installed signing time); nothing to
  // show for a launcher built without keys.
  virtual ManifestTrust manifest_trust() { return {}; }
  virtual std::optional<ReleaseManifest> load_stored_manifest(
      const std::optional<std::string>& label) = 0;
  // The current version when every file of its stored manifest is there with its size.
  virtual std::optional<std::string> find_installed_version() = 0;
  virtual ReuseIndex build_reuse_index(const std::optional<std::string>& label,
                                       const std::optional<ReleaseManifest>& manifest) = 0;
  virtual Status stage_version(UpdateClient& client, const ReleaseManifest& manifest,
                               const ReuseIndex& reuse, const ProgressSink& sink,
                               const std::optional<std::string>& current) = 0;
  virtual Status write_current_version(std::string_view label) = 0;
  virtual void prune_versions(std::string_view keep,
                              const std::optional<std::string>& previous) = 0;
};

// The real installation below the installation root.
ReleaseStore& installed_release_store();

}  // namespace nelo
