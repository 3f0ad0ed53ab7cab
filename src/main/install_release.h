// Installing one release and making it current, under the update lock.
#pragma once

#include "base/result.h"
#include "install/download_progress.h"
#include "install/manifest.h"
#include "install/version_store.h"
#include "net/update_client.h"

namespace nelo {

struct InstallOutcome {
  // False when the release changes only the two media programs.
  bool changes_app = true;
};

// Takes the update lock, then reads the current version again: when another process installed
// this release meanwhile, nothing is downloaded. Otherwise stages the release reusing the
// current version's files, makes it current and prunes all but the two newest versions.
Result<InstallOutcome> install_release(UpdateClient& client, const ReleaseManifest& manifest,
                                       const ProgressSink& sink, VersionStore& store);

}  // namespace nelo
