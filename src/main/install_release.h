// Installing one release and making it current, under the update lock.
#pragma once

#include "base/result.h"
#include "install/download_progress.h"
#include "release/manifest.h"
#include "install/version_store.h"
#include "net/update_client.h"

namespace nelo {

struct InstallOutcome {
  // False when the release changes only the two media programs.
  bool changes_app = true;
};

// Takes the update lock, refuses a signed release older than the version current then ("lista
// antiga"), then reads the current version again: when it is this release and intact (another
// process installed it meanwhile), nothing is downloaded; when it is this release but damaged,
// it is repaired in place. Otherwise stages the release reusing the current version's files,
// makes it current and prunes all but the two newest versions and those an application runs
// from.
Result<InstallOutcome> install_release(UpdateClient& client, const ReleaseManifest& manifest,
                                       const ProgressSink& sink, VersionStore& store);

}  // namespace nelo
