// Bringing a damaged current version back to its manifest where it stands: the version folder
// cannot be replaced while the application runs from it, so each file that is missing or
// differs is downloaded beside the installation, verified, put on the disk, and then renamed
// over its place.
//
//   downloads
//     repair-<n>          a verified file on its way to its place in the version folder
//   versions
//     <label>             the files that hash to their digests are left as they are
#pragma once

#include "base/result.h"
#include "install/download_progress.h"
#include "release/manifest.h"
#include "install/object_fetch.h"
#include "install/version_store.h"
#include "net/update_client.h"

namespace nelo {

// Repairs the version folder of `manifest` (the current version) in place: every file of the
// manifest that is missing, of another size or of another content is fetched as a staging
// fetches it (digest-checked, progress to `sink`) and then replaces the file by one rename; the
// stored manifest and signature are written again when they differ. A kill at any moment
// leaves each file either as it was or right; the pointer does not change. Gives the first
// failure: the download's, or "gravar " + path + ": " and the system's text when a file cannot
// be put in place (one in use, for instance).
Status repair_release(UpdateClient& client, const ReleaseManifest& manifest,
                      const ProgressSink& sink, VersionStore& store,
                      const TransferSettings& settings = {});

}  // namespace nelo
