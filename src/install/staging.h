// Building the folder of a new release: every file taken over from the previous version or
// downloaded, decoded and verified, then the whole folder moved into place by one rename.
//
//   versions
//     <label>.partial     filled in manifest order; ".manifest.json" is written last
//     <label>             comes into being complete, by renaming the folder above
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "install/download_progress.h"
#include "install/manifest.h"
#include "install/reuse.h"
#include "install/version_store.h"
#include "net/update_client.h"

namespace nelo {

// Stages the release into the store's versions folder and moves it into place as
// versions\<label>, taking the files of `reuse` over instead of downloading them; the pointer to
// the current version (`current`, whose folder is never removed) is not changed. Gives the
// first failure's message.
Status stage_release(UpdateClient& client, const ReleaseManifest& manifest, const ReuseIndex& reuse,
                     const ProgressSink& sink, VersionStore& store,
                     const std::optional<std::string>& current);

// The totals before anything is fetched: pending files are those not found in the index.
DownloadProgress initial_progress(const ReleaseManifest& manifest, const ReuseIndex& reuse);

}  // namespace nelo
